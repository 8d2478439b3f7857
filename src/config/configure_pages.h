#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "base/prompt.h"
#include "config/configure_host.h"
#include "config/hardware_page.h"
#include "config/retention_page.h"
#include "config/software_page.h"

namespace parvolin::config {

inline constexpr std::string_view kConfigureTitle = "Configure Software, and/or hardware unit(s)";

// The number of pages the dialog shows: the software page, and one hardware page for each unit
// up to the highest one present (a unit below it that is absent keeps its page).
int configurePageCount(const device::UnitLink* link);

// The configuration dialog without its window: the software page and the four hardware pages.
// Making it makes all five pages at once, so every present unit's settings are read then; a
// front end then calls initialise() before it shows the pages. `host` and `prompt` outlive it.
class ConfigurePages {
 public:
  ConfigurePages(ConfigureHost& host, base::Prompt& prompt);

  // Counts the pages from the units present and initialises the hardware pages that will show,
  // in order (each queries its unit's version; a failure shows its message).
  void initialise();

  // 1 to 5; 1 before initialise().
  int pageCount() const { return pageCount_; }
  // The tab of each page that shows: "S/W Settings", then "H/W Settings(Unit1)" and on.
  std::vector<std::string> tabTitles() const;

  SoftwarePage& software() { return software_; }
  HardwarePage& hardware(int unit) { return *hardware_.at(std::size_t(unit)); }
  // The "Retention" page, shown after the hardware pages.
  RetentionPage& retention() { return retention_; }

 private:
  ConfigureHost& host_;
  SoftwarePage software_;
  RetentionPage retention_;
  std::array<std::unique_ptr<HardwarePage>, device::kMaxUnits> hardware_;
  int pageCount_ = 1;
};

}  // namespace parvolin::config
