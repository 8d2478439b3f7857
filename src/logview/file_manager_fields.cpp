#include "logview/file_manager_fields.h"

#include <cstdint>

namespace parvolin::logview {

namespace {

constexpr int kYearBase = 2000;

int wrappingSum(int a, int b) {
  return static_cast<int>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}

}  // namespace

SearchFields SearchFields::today(std::time_t now) {
  std::tm local{};
  localtime_r(&now, &local);
  SearchFields fields;
  fields.fromYear = fields.toYear = local.tm_year + 1900 - kYearBase;
  fields.fromMonth = fields.toMonth = local.tm_mon + 1;
  fields.fromDay = fields.toDay = local.tm_mday;
  return fields;
}

SearchQuery SearchFields::query() const {
  return SearchQuery{text, searchDateKey(fromYear, fromMonth, fromDay),
                     searchDateKey(toYear, toMonth, toDay)};
}

ItemFields stepItem(ItemFields fields, int steps, int latestItem) {
  int item = wrappingSum(fields.item, steps);
  if (item == 0 || (steps < 0 && item < 1)) item = 1;
  if (static_cast<std::uint32_t>(item) > static_cast<std::uint32_t>(latestItem)) item = latestItem;
  fields.item = item;
  if (fields.rangeEnd > item) fields.rangeEnd = item;
  return fields;
}

ItemFields stepRangeEnd(ItemFields fields, int steps) {
  int end = wrappingSum(fields.rangeEnd, steps);
  if (end == 0 || (steps < 0 && end < 1)) end = 1;
  if (end > fields.item) end = fields.item;
  fields.rangeEnd = end;
  return fields;
}

}  // namespace parvolin::logview
