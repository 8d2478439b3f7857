#pragma once

#include <cstdint>
#include <string>

#include "device/stream_record.h"

namespace parvolin::tools {

// The name of a stream event code: "CallerIdA", "Ring", ..., or "code N" for the codes that
// carry nothing.
std::string eventName(std::uint8_t code);

// One stream record as a line of text for people: the port (1-16), the event, and what its
// payload says, e.g. "Port  2  CallerIdA   55512340" or "Port 16  Digit       0".
std::string describeEvent(int portIndex, const device::StreamRecord& record);

}  // namespace parvolin::tools
