#include "app/window_fields.h"

namespace parvolin::app {

void WindowFields::showPort(int portIndex, std::string_view statusText,
                            std::string_view detailText) {
  if (portIndex < 0 || portIndex >= device::kMaxPorts) return;
  status_[std::size_t(portIndex)] = statusText;
  detail_[std::size_t(portIndex)] = detailText;
  screen_.showPort(portIndex, statusText, detailText);
}

void WindowFields::showCapacity(const engine::CapacityDisplay& capacity) {
  capacity_ = capacity;
  screen_.showCapacity(capacity);
}

}  // namespace parvolin::app
