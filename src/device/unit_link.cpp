#include "device/unit_link.h"

#include <algorithm>
#include <cstring>

#include "device/unit_protocol.h"

namespace parvolin::device {

UnitLink::UnitLink(D2xx& d2xx, base::Clock& clock) : d2xx_(d2xx), clock_(clock) {}

// Fills the serial slots from the listing, passing over devices whose serial number does not fit
// a slot, and sets `listed` to the number of slots filled (at most 4). Slots beyond `listed` keep
// what an earlier listing put there.
bool UnitLink::listUnits(std::uint32_t& listed) {
  listed = 0;
  std::uint32_t count = 0;
  if (d2xx_.listCount(count) != D2xx::kOk) return false;
  for (std::uint32_t index = 0; index < count && listed < kMaxUnits; ++index) {
    std::string text;
    if (d2xx_.listSerial(index, text) != D2xx::kOk) return false;
    // A serial number may come back with a terminator inside; only what precedes it counts.
    text.resize(std::strlen(text.c_str()));
    if (text.empty() || text.size() > kMaxSerialLength) continue;
    auto& slot = serial_[static_cast<int>(listed)];
    slot.fill(0);
    std::memcpy(slot.data(), text.data(), text.size());
    ++listed;
  }
  return true;
}

void UnitLink::closeStaleHandle(int unit) {
  if (!handleOpen_[unit]) return;
  d2xx_.close(handle_[unit]);  // a unit that vanished fails to close; its handle is gone anyway
  handleOpen_[unit] = false;
}

// Opens unit `unit` by its serial slot; on success handle_[unit] holds the new handle.
bool UnitLink::openUnit(int unit) {
  // A handle still open from before (a unit that failed) is closed first: the device would
  // refuse a second open, and the old handle would leak.
  closeStaleHandle(unit);
  present_[unit] = 0;
  const auto& slot = serial_[unit];
  const std::string text(slot.begin(), std::find(slot.begin(), slot.end(), '\0'));
  D2xx::Handle opened = 0;
  if (d2xx_.openBySerial(text, opened) != D2xx::kOk) return false;
  handle_[unit] = opened;
  handleOpen_[unit] = true;
  return true;
}

bool UnitLink::drain(D2xx::Handle h) {
  std::array<std::uint8_t, kDrainBlockSize> scratch;
  std::uint32_t waiting = 0;
  std::uint32_t got = 0;
  if (d2xx_.purge(h, D2xx::kPurgeRx | D2xx::kPurgeTx) != D2xx::kOk) return false;
  if (d2xx_.setTimeouts(h, kDrainReadTimeoutMs, kWriteTimeoutMs) != D2xx::kOk) return false;
  if (d2xx_.queueStatus(h, waiting) != D2xx::kOk) return false;
  // The first read is made even when nothing waits; it ends after the 10 ms read time-out.
  if (d2xx_.read(h, scratch.data(), kDrainBlockSize, got) != D2xx::kOk) return false;
  // A unit that still streams never reports an empty queue; after the bound the drain goes on
  // as if the queue were empty.
  for (int reads = 0; reads < kMaxDrainReads; ++reads) {
    if (d2xx_.queueStatus(h, waiting) != D2xx::kOk) return false;
    if (waiting == 0) break;
    if (d2xx_.read(h, scratch.data(), kDrainBlockSize, got) != D2xx::kOk) return false;
  }
  return d2xx_.setTimeouts(h, kRunReadTimeoutMs, kWriteTimeoutMs) == D2xx::kOk;
}

bool UnitLink::openAll() {
  // Handles still open from an earlier openAll that failed half-way (start-up does not close
  // units then) are closed first: a device that is open already refuses to be opened again,
  // also when the listing now puts it in another slot.
  for (int unit = 0; unit < kMaxUnits; ++unit) {
    closeStaleHandle(unit);
    present_[unit] = 0;
  }
  std::uint32_t listed = 0;
  if (!listUnits(listed)) return false;
  for (int unit = 0; unit < kMaxUnits; ++unit) {
    // Unit 0 is always attempted; with nothing listed its open fails.
    if (unit != 0 && listed <= static_cast<std::uint32_t>(unit)) break;
    if (!openUnit(unit)) return false;
    present_[unit] = 1;
    writeStreamControl(protocol::kStreamStop, unit);
    if (!drain(handle_[unit])) return false;
  }
  return true;
}

bool UnitLink::reopenUnit(int unit) {
  if (!validUnit(unit)) return false;
  if (!openUnit(unit)) return false;
  if (!drain(handle_[unit])) return false;
  present_[unit] = 1;
  return true;
}

bool UnitLink::closeAll() {
  for (int unit = 0; unit < kMaxUnits; ++unit) {
    // A unit closed by an earlier closeAll that then failed on a later unit is not closed twice.
    if (present_[unit] == 0 || !handleOpen_[unit]) continue;
    if (d2xx_.close(liveHandle(unit)) != D2xx::kOk) return false;
    handleOpen_[unit] = false;
  }
  present_.fill(0);
  return true;
}

std::uint32_t UnitLink::readStream(std::uint8_t* buffer, std::uint32_t n, int unit) {
  if (!validUnit(unit) || n == 0) return 0;
  const D2xx::Handle h = liveHandle(unit);
  const std::int64_t start = clock_.monotonicMs();
  std::uint32_t total = 0;
  while (true) {
    std::uint32_t got = 0;
    if (d2xx_.read(h, buffer + total, n - total, got) != D2xx::kOk) {
      present_[unit] = 0;
      return 0;
    }
    total += std::min(got, n - total);
    if (total >= n) return total;
    if (clock_.monotonicMs() - start >= kStreamReadWindowMs) return total;
  }
}

}  // namespace parvolin::device
