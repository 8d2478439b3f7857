#include "tools/event_text.h"

#include <algorithm>
#include <cstdio>

#include "device/unit_link.h"
#include "tools/unit_description.h"

namespace parvolin::tools {

std::string describeEvent(int unit, const device::StreamRecord& record) {
  constexpr std::size_t kNameColumn = 13;
  std::string line = unitEventName(record.code);
  const std::string detail = recordDetail(record);
  if (!detail.empty()) {
    line += std::string(kNameColumn - std::min<std::size_t>(line.size(), kNameColumn - 1), ' ');
    line += detail;
  }
  char head[48];
  std::snprintf(head, sizeof head, "Unit%d Port %-2d  ", unit + 1,
                unit * device::kPortsPerUnit + record.port + 1);
  return head + line;
}

}  // namespace parvolin::tools
