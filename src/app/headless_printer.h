#pragma once

#include <array>
#include <cstdio>
#include <string>
#include <string_view>

#include "base/clock.h"
#include "device/unit_link.h"
#include "engine/engine_view.h"

namespace parvolin::app {

// The headless recorder's view: one line on `out` whenever a port's state changes (its time, its
// port and its two lines) and whenever the capacity texts change. A port's "Recording" and
// "---------" lines, which alternate with every audio block, are one state.
//
// Nothing is printed until start(): the opening's "NONE" and "IDLE" lines are settled by then,
// and start() prints every shown port once.
class HeadlessPrinter final : public engine::EngineView {
 public:
  HeadlessPrinter(std::FILE* out, base::Clock& clock) : out_(out), clock_(clock) {}

  void showPort(int portIndex, std::string_view statusText, std::string_view detailText) override;
  void showCapacity(const engine::CapacityDisplay& capacity) override;
  void refresh() override;

  // Prints `heading` (the location line), then the first `shownPorts` ports and the capacity,
  // and from then on every change.
  void start(std::string_view heading, int shownPorts);

  // Prints a line with the time and `text`.
  void note(std::string_view text);

  // The line printed for a port state; exposed for tests.
  static std::string portLine(std::string_view time, int portIndex, std::string_view statusText,
                              std::string_view detailText);

 private:
  struct PortShown {
    std::string status, detail;
  };
  std::string now();
  void printPort(int portIndex);
  void printCapacity();

  std::FILE* out_;
  base::Clock& clock_;
  bool started_ = false;
  std::array<PortShown, device::kMaxPorts> current_;
  std::array<PortShown, device::kMaxPorts> printed_;
  std::string capacityCurrent_, capacityPrinted_;
  std::string freeText_;
};

}  // namespace parvolin::app
