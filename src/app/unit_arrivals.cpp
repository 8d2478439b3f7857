#include "app/unit_arrivals.h"

#include <algorithm>

#include "app/recorder_session.h"
#include "sim/sim_notifications.h"

namespace parvolin::app {

bool ArrivalSchedule::listNow() {
  if (notifications_ == nullptr) return false;
  const std::int64_t now = clock_.monotonicMs();
  if (notifications_->deviceAdded()) {
    listingsLeft_ = kArrivalListings;
    nextListingMs_ = now;
  }
  return listingsLeft_ > 0 && now >= nextListingMs_;
}

void ArrivalSchedule::listed(bool foundUnit) {
  listingsLeft_ = foundUnit ? 0 : std::max(listingsLeft_ - 1, 0);
  nextListingMs_ = clock_.monotonicMs() + kArrivalRetryMs;
}

std::unique_ptr<device::DeviceNotifications> makeDeviceNotifications(const Driver& driver,
                                                                     std::string& error) {
  if (driver.sim != nullptr) return std::make_unique<sim::SimNotifications>(*driver.sim);
  return device::makeUdevNotifications(error);
}

std::vector<int> RecorderSession::openArrivedUnits(const std::function<void(int unit)>& opened) {
  std::vector<int> setUp;
  for (const int unit : link_.openArrivedUnits()) {
    if (opened) opened(unit);
    setIdleLines(unit);
    if (setUpUnit(unit)) {
      setUp.push_back(unit);
      continue;
    }
    // Its message was shown; the unit is tried again when it is next plugged in.
    link_.forgetUnit(unit);
    idle_[std::size_t(unit)] = false;
    setUp_[std::size_t(unit)] = false;
    for (int p = 0; p < device::kPortsPerUnit; ++p) {
      engine_.setPortLine(unit * device::kPortsPerUnit + p, engine::PortLine::kNone);
    }
  }
  if (setUp.empty()) return setUp;

  for (const int unit : setUp) visibleRows_ = std::max(visibleRows_, unit + 1);
  for (int portIndex = 0; portIndex < device::kMaxPorts; ++portIndex) {
    fields_.showPort(portIndex, fields_.statusText(portIndex), fields_.detailText(portIndex));
  }
  fields_.refresh();
  const int period = device::pollPeriodMs(true, link_.isListed(2), link_.isListed(3));
  if (period != pollPeriodMs_ && timer_.start(period)) pollPeriodMs_ = period;
  return setUp;
}

}  // namespace parvolin::app
