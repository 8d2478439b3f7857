#pragma once

// The file manager's number fields and their rules: the search's date boxes, and the item and
// range-end spinners.

#include <ctime>
#include <string>

#include "logview/list_order.h"

namespace parvolin::logview {

struct SearchFields {
  std::string text;
  int fromYear = 0;  // years without the century, as the list writes them
  int fromMonth = 1;
  int fromDay = 1;
  int toYear = 0;
  int toMonth = 1;
  int toDay = 1;

  // Both dates at the local date of `now`, the text empty.
  static SearchFields today(std::time_t now);
  SearchQuery query() const;
};

// The item number and the range end ("Delete Range To:").
struct ItemFields {
  int item = 0;
  int rangeEnd = 0;
};

// The item spinner moved by `steps` (up positive): 0, or below 1 on the way down (a page step),
// becomes 1; a number above the latest item (compared without sign, so a typed negative one
// too) becomes the latest; the range end is lowered to the item when it is larger.
ItemFields stepItem(ItemFields fields, int steps, int latestItem);

// The range spinner moved by `steps` (up positive raises the number): 0, or below 1 on the way
// down, becomes 1; a number above the item becomes the item.
ItemFields stepRangeEnd(ItemFields fields, int steps);

}  // namespace parvolin::logview
