#include "config/configure_pages.h"

namespace parvolin::config {

int configurePageCount(const device::UnitLink* link) {
  int count = 1;
  for (int unit = 0; unit < device::kMaxUnits; ++unit) {
    if (link && link->isPresent(unit)) count = unit + 2;
  }
  return count;
}

ConfigurePages::ConfigurePages(ConfigureHost& host, base::Prompt& prompt)
    : host_(host), software_(host, prompt), retention_(host) {
  for (int unit = 0; unit < device::kMaxUnits; ++unit) {
    hardware_[std::size_t(unit)] = std::make_unique<HardwarePage>(unit, host, prompt);
  }
}

void ConfigurePages::initialise() {
  host_.withLink([&](const device::UnitLink* link) { pageCount_ = configurePageCount(link); });
  for (int unit = 0; unit + 1 < pageCount_; ++unit) hardware(unit).initialise();
}

std::vector<std::string> ConfigurePages::tabTitles() const {
  std::vector<std::string> titles{std::string(kSoftwarePageTitle)};
  for (int unit = 0; unit + 1 < pageCount_; ++unit) titles.push_back(hardwarePageTitle(unit));
  return titles;
}

}  // namespace parvolin::config
