#pragma once

// The "Retention" page of the configuration dialog: how long calls are kept, whether the oldest
// go at the capacity limits, and how much of the disk is kept free. Off by default: the capacity
// figures are shown and nothing is deleted.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "config/configure_host.h"

namespace parvolin::config {

inline constexpr std::string_view kRetentionPageTitle = "Retention";
// The most days an entry takes: a hundred years.
inline constexpr std::int32_t kMaxRetentionDays = 36'500;

struct RetentionFields {
  std::int32_t days = 0;        // keep calls this many days; 0 for ever
  bool atLimits = false;        // delete the oldest when a capacity limit is passed
  std::int32_t keepFreeMb = 0;  // keep this many megabytes free; 0 for no margin

  bool operator==(const RetentionFields&) const = default;
};

RetentionFields retentionFieldsOf(const engine::RecorderSettings& settings);

// Why `fields` cannot be stored ("Keep calls for: 0 to 36500 days"); nullopt when they can.
std::optional<std::string> retentionFieldsProblem(const RetentionFields& fields);

// The page: its fields as the host's settings stand when it is made; OK stores each changed
// value at once. `host` outlives it.
class RetentionPage {
 public:
  explicit RetentionPage(ConfigureHost& host);

  const RetentionFields& fields() const { return fields_; }
  // Stores the values that changed, after checking them all; the problem when one is refused
  // (then nothing is stored).
  std::optional<std::string> ok(const RetentionFields& controls);

 private:
  ConfigureHost& host_;
  RetentionFields fields_;
};

}  // namespace parvolin::config
