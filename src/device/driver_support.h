#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "device/d2xx.h"
#include "device/ftdi_d2xx.h"

// What the programs tell a user whose units cannot be reached.
namespace parvolin::device {

// The name the udev rule is shipped under (data/) and installed as.
inline constexpr std::string_view kUdevRuleFileName = "70-parvolin-units.rules";

// A short text for a D2xx status: "device not found", "I/O error", ...
std::string statusText(D2xx::Status status);

// Parses "VID:PID" (four hexadecimal digits each, as lsusb shows them); nullopt when malformed.
std::optional<FtdiD2xx::UsbId> parseUsbId(std::string_view text);

// udev rule lines that give the logged-in user (and the group parvolin, the recorder service's)
// access to devices with the given ids, one line per id.
std::string udevRules(const std::vector<FtdiD2xx::UsbId>& ids);

}  // namespace parvolin::device
