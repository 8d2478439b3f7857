// Units that arrive while the recorder runs: a unit plugged in after the opening gets the first
// slot that was never listed, and keeps it (by its serial number) for the rest of the run.
#include <cstring>

#include "device/unit_link.h"
#include "device/unit_protocol.h"

namespace parvolin::device {

int UnitLink::freeSlot() const {
  for (int unit = 0; unit < kMaxUnits; ++unit) {
    if (!isListed(unit)) return unit;
  }
  return -1;
}

bool UnitLink::holdsSerial(const std::string& serial) const {
  for (int unit = 0; unit < kMaxUnits; ++unit) {
    if (this->serial(unit) == serial) return true;
  }
  return false;
}

std::vector<int> UnitLink::openArrivedUnits() {
  std::vector<int> opened;
  // Every slot taken: nothing could arrive, and the listing (which reads every device's serial
  // number) is spared.
  if (freeSlot() < 0) return opened;
  std::uint32_t count = 0;
  if (d2xx_.listCount(count) != D2xx::kOk) return opened;
  std::vector<std::string> serials;
  for (std::uint32_t index = 0; index < count; ++index) {
    std::string text;
    if (d2xx_.listSerial(index, text) != D2xx::kOk) return opened;
    text.resize(std::strlen(text.c_str()));
    if (text.empty() || text.size() > kMaxSerialLength) continue;
    serials.push_back(std::move(text));
  }
  for (const std::string& text : serials) {
    const int unit = freeSlot();
    if (unit < 0) break;
    if (holdsSerial(text)) continue;
    auto& slot = serial_[unit];
    slot.fill(0);
    std::memcpy(slot.data(), text.data(), text.size());
    if (openUnit(unit)) {
      present_[unit] = 1;
      writeStreamControl(protocol::kStreamStop, unit);
      if (drain(handle_[unit])) {
        opened.push_back(unit);
        continue;
      }
      closeStaleHandle(unit);
      present_[unit] = 0;
    }
    slot.fill(0);
  }
  return opened;
}

void UnitLink::forgetUnit(int unit) {
  if (!validUnit(unit)) return;
  closeStaleHandle(unit);
  present_[unit] = 0;
  serial_[unit].fill(0);
}

}  // namespace parvolin::device
