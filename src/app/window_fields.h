#pragma once

#include <array>
#include <string>
#include <string_view>

#include "device/unit_link.h"
#include "engine/engine_view.h"

namespace parvolin::app {

// The main window's text fields: the two lines of each of the 16 ports, the capacity figures and
// the location line. The engine writes into them; each change is passed on to `screen` (the
// window's controls, the headless printer), so the fields always hold what is shown.
class WindowFields final : public engine::EngineView {
 public:
  explicit WindowFields(engine::EngineView& screen) : screen_(screen) {}

  void showPort(int portIndex, std::string_view statusText, std::string_view detailText) override;
  void showCapacity(const engine::CapacityDisplay& capacity) override;
  void refresh() override { screen_.refresh(); }

  const std::string& statusText(int portIndex) const { return status_.at(std::size_t(portIndex)); }
  const std::string& detailText(int portIndex) const { return detail_.at(std::size_t(portIndex)); }
  const engine::CapacityDisplay& capacity() const { return capacity_; }

  std::string locationLine;

 private:
  engine::EngineView& screen_;
  std::array<std::string, device::kMaxPorts> status_;
  std::array<std::string, device::kMaxPorts> detail_;
  engine::CapacityDisplay capacity_;
};

}  // namespace parvolin::app
