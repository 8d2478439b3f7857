#include "config/retention_page.h"

namespace parvolin::config {

RetentionFields retentionFieldsOf(const engine::RecorderSettings& settings) {
  return {settings.retentionDays, settings.retentionAtLimits != 0, settings.keepFreeMb};
}

std::optional<std::string> retentionFieldsProblem(const RetentionFields& fields) {
  if (fields.days < 0 || fields.days > kMaxRetentionDays) {
    return "Keep calls for: 0 (for ever) to " + std::to_string(kMaxRetentionDays) + " days";
  }
  if (fields.keepFreeMb < 0) return std::string("Keep free: 0 (no margin) or more megabytes");
  return std::nullopt;
}

RetentionPage::RetentionPage(ConfigureHost& host)
    : host_(host), fields_(retentionFieldsOf(host.settings())) {}

std::optional<std::string> RetentionPage::ok(const RetentionFields& controls) {
  if (auto problem = retentionFieldsProblem(controls)) return problem;
  fields_ = controls;
  engine::RecorderSettings changed = host_.settings();
  if (changed.retentionDays != controls.days) {
    changed.retentionDays = controls.days;
    host_.storeSetting(changed, engine::Setting::kRetentionDays);
  }
  if ((changed.retentionAtLimits != 0) != controls.atLimits) {
    changed.retentionAtLimits = controls.atLimits ? 1 : 0;
    host_.storeSetting(changed, engine::Setting::kRetentionAtLimits);
  }
  if (changed.keepFreeMb != controls.keepFreeMb) {
    changed.keepFreeMb = controls.keepFreeMb;
    host_.storeSetting(changed, engine::Setting::kKeepFreeMb);
  }
  return std::nullopt;
}

}  // namespace parvolin::config
