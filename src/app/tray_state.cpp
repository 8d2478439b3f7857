#include "app/tray_state.h"

namespace parvolin::app {

void TrayState::updateIcon(Step& step) {
  if (trayMinimised_ && !hasIcon_) {
    step.createIcon = true;
    hasIcon_ = true;
  } else if (!trayMinimised_ && hasIcon_) {
    step.removeIcon = true;
    hasIcon_ = false;
  }
}

TrayState::Step TrayState::minimised() {
  Step step;
  if (!trayAvailable_ || trayMinimised_) return step;
  trayMinimised_ = true;
  updateIcon(step);
  step.hideWindow = true;
  return step;
}

TrayState::Step TrayState::restored() {
  Step step;
  if (!trayMinimised_) return step;
  trayMinimised_ = false;
  updateIcon(step);
  step.showWindow = true;
  return step;
}

TrayState::Step TrayState::destroyed() {
  Step step;
  trayMinimised_ = false;
  updateIcon(step);
  return step;
}

std::string_view diskTrayText(engine::DiskSpace space) {
  switch (space) {
    case engine::DiskSpace::kLow:
      return kDiskLowTrayText;
    case engine::DiskSpace::kReserve:
      return kDiskFullTrayText;
    case engine::DiskSpace::kEnough:
      break;
  }
  return {};
}

}  // namespace parvolin::app
