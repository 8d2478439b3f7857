#pragma once

#include <string>

#include "device/stream_record.h"

namespace parvolin::tools {

// One stream record of a unit (0-3) as pvtool prints it: the unit, the port (1-16), the event's
// name and what its payload says, e.g. "Unit1 Port 2   Caller ID A  55512340".
std::string describeEvent(int unit, const device::StreamRecord& record);

}  // namespace parvolin::tools
