#pragma once

#include <string>
#include <string_view>

namespace parvolin::engine {

// The two capacity figures as the main window shows them.
struct CapacityDisplay {
  std::string itemsText;  // "Logged Items: %d / %d "
  int itemsRangeEnd = 0;  // the item limit taken to 16 bits
  int itemsPosition = 0;
  std::string spaceText;  // "Logged Space: %d / %d (MB)"
  int spaceRangeEnd = 0;  // the space limit taken to 16 bits
  int spacePosition = 0;
  // The free space of the recording folder's disk ("12.3 GB free (45 %)"); empty until known.
  std::string freeText;
};

// What the engine shows: the window, the headless printer, or a test recorder.
class EngineView {
 public:
  virtual ~EngineView() = default;
  // A port's display strings (statusText, detailText) as they stand now.
  virtual void showPort(int portIndex, std::string_view statusText,
                        std::string_view detailText) = 0;
  virtual void showCapacity(const CapacityDisplay& capacity) = 0;
  // Pushes the display strings to the screen; called once per tick and after each update.
  virtual void refresh() = 0;
};

class NullEngineView final : public EngineView {
 public:
  void showPort(int, std::string_view, std::string_view) override {}
  void showCapacity(const CapacityDisplay&) override {}
  void refresh() override {}
};

}  // namespace parvolin::engine
