#include "device/driver_support.h"

#include <array>
#include <charconv>
#include <cstdio>

namespace parvolin::device {

std::string statusText(D2xx::Status status) {
  switch (status) {
    case D2xx::kOk:
      return "ok";
    case D2xx::kInvalidHandle:
      return "invalid handle";
    case D2xx::kDeviceNotFound:
      return "device not found";
    case D2xx::kDeviceNotOpened:
      return "device not opened";
    case D2xx::kIoError:
      return "I/O error";
    case D2xx::kInsufficientResources:
      return "insufficient resources";
    case D2xx::kInvalidParameter:
      return "invalid parameter";
    default:
      return "error " + std::to_string(status);
  }
}

namespace {
std::optional<std::uint16_t> parseHex4(std::string_view text) {
  if (text.size() != 4) return std::nullopt;
  std::uint16_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
  if (error != std::errc{} || end != text.data() + text.size()) return std::nullopt;
  return value;
}
}  // namespace

std::optional<FtdiD2xx::UsbId> parseUsbId(std::string_view text) {
  const auto colon = text.find(':');
  if (colon == std::string_view::npos) return std::nullopt;
  const auto vendor = parseHex4(text.substr(0, colon));
  const auto product = parseHex4(text.substr(colon + 1));
  if (!vendor || !product) return std::nullopt;
  return FtdiD2xx::UsbId{*vendor, *product};
}

std::string udevRules(const std::vector<FtdiD2xx::UsbId>& ids) {
  std::string rules;
  for (const auto& [vendor, product] : ids) {
    std::array<char, 200> line{};
    std::snprintf(line.data(), line.size(),
                  "SUBSYSTEM==\"usb\", ENV{DEVTYPE}==\"usb_device\", ATTR{idVendor}==\"%04x\", "
                  "ATTR{idProduct}==\"%04x\", TAG+=\"uaccess\", GROUP=\"parvolin\", "
                  "MODE=\"0660\"\n",
                  vendor, product);
    rules += line.data();
  }
  return rules;
}

}  // namespace parvolin::device
