#include "control/status.h"

#include <nlohmann/json.hpp>

#include "base/clock.h"

namespace parvolin::control {

using nlohmann::json;

int StatusSnapshot::linesServed() const {
  int served = 0;
  for (const UnitStatus& unit : units) served += unit.present ? device::kPortsPerUnit : 0;
  return served;
}

int StatusSnapshot::linesInCall() const {
  int inCall = 0;
  for (int u = 0; u < device::kMaxUnits; ++u) {
    if (!units[std::size_t(u)].present) continue;
    for (int p = u * device::kPortsPerUnit; p < (u + 1) * device::kPortsPerUnit; ++p) {
      inCall += lines[std::size_t(p)].inCall ? 1 : 0;
    }
  }
  return inCall;
}

std::string StatusSnapshot::lastProblemText() const {
  if (problems.empty()) return {};
  return base::localTimeText(problems.front().wallSeconds, base::kTimeOfDayFormat) + ": " +
         problems.front().text;
}

bool StatusSnapshot::operator==(const StatusSnapshot& o) const {
  const auto sameCapacity = [](const engine::CapacityDisplay& a, const engine::CapacityDisplay& b) {
    return a.itemsText == b.itemsText && a.itemsRangeEnd == b.itemsRangeEnd &&
           a.itemsPosition == b.itemsPosition && a.spaceText == b.spaceText &&
           a.spaceRangeEnd == b.spaceRangeEnd && a.spacePosition == b.spacePosition &&
           a.freeText == b.freeText;
  };
  return version == o.version && startedAt == o.startedAt && ticks == o.ticks &&
         folder == o.folder && list == o.list && location == o.location && units == o.units &&
         lines == o.lines && visibleLines == o.visibleLines && sameCapacity(capacity, o.capacity) &&
         loggedItems == o.loggedItems && loggedMegabytes == o.loggedMegabytes &&
         itemLimit == o.itemLimit && spaceLimitMb == o.spaceLimitMb && freeBytes == o.freeBytes &&
         problems == o.problems && listEditPending == o.listEditPending;
}

json toJson(const StatusSnapshot& s) {
  json units = json::array();
  for (const UnitStatus& u : s.units) {
    units.push_back({{"listed", u.listed}, {"present", u.present}, {"audioMode", u.audioMode}});
  }
  json lines = json::array();
  for (const LineStatus& l : s.lines) {
    lines.push_back({{"status", l.status}, {"detail", l.detail}, {"inCall", l.inCall}});
  }
  json problems = json::array();
  for (const ProblemStatus& p : s.problems) {
    problems.push_back({{"time", p.wallSeconds}, {"text", p.text}, {"count", p.count}});
  }
  return {
      {"version", s.version},
      {"startedAt", s.startedAt},
      {"ticks", s.ticks},
      {"folder", s.folder},
      {"list", s.list},
      {"location", s.location},
      {"units", units},
      {"lines", lines},
      {"visibleLines", s.visibleLines},
      {"capacity",
       {{"itemsText", s.capacity.itemsText},
        {"itemsPosition", s.capacity.itemsPosition},
        {"itemsRangeEnd", s.capacity.itemsRangeEnd},
        {"spaceText", s.capacity.spaceText},
        {"spacePosition", s.capacity.spacePosition},
        {"spaceRangeEnd", s.capacity.spaceRangeEnd},
        {"freeText", s.capacity.freeText},
        {"loggedItems", s.loggedItems},
        {"loggedMegabytes", s.loggedMegabytes},
        {"itemLimit", s.itemLimit},
        {"spaceLimitMb", s.spaceLimitMb}}},
      {"freeBytes", s.freeBytes ? json(*s.freeBytes) : json(nullptr)},
      {"problems", problems},
      {"listEditPending", s.listEditPending},
  };
}

namespace {

// Reads `key` of `object` into `out` when present; false when present with the wrong type.
template <typename T>
bool take(const json& object, const char* key, T& out) {
  const auto at = object.find(key);
  if (at == object.end()) return true;
  if constexpr (std::is_same_v<T, bool>) {
    if (!at->is_boolean()) return false;
  } else if constexpr (std::is_integral_v<T>) {
    if (!at->is_number_integer()) return false;
  } else {
    if (!at->is_string()) return false;
  }
  out = at->get<T>();
  return true;
}

}  // namespace

std::optional<StatusSnapshot> statusFromJson(const json& j) {
  if (!j.is_object()) return std::nullopt;
  StatusSnapshot s;
  bool ok = take(j, "version", s.version) && take(j, "startedAt", s.startedAt) &&
            take(j, "ticks", s.ticks) && take(j, "folder", s.folder) && take(j, "list", s.list) &&
            take(j, "location", s.location) && take(j, "visibleLines", s.visibleLines) &&
            take(j, "listEditPending", s.listEditPending);
  if (const auto units = j.find("units"); ok && units != j.end()) {
    if (!units->is_array() || units->size() > s.units.size()) return std::nullopt;
    for (std::size_t i = 0; i < units->size(); ++i) {
      const json& u = (*units)[i];
      ok = ok && u.is_object() && take(u, "listed", s.units[i].listed) &&
           take(u, "present", s.units[i].present) && take(u, "audioMode", s.units[i].audioMode);
    }
  }
  if (const auto lines = j.find("lines"); ok && lines != j.end()) {
    if (!lines->is_array() || lines->size() > s.lines.size()) return std::nullopt;
    for (std::size_t i = 0; i < lines->size(); ++i) {
      const json& l = (*lines)[i];
      ok = ok && l.is_object() && take(l, "status", s.lines[i].status) &&
           take(l, "detail", s.lines[i].detail) && take(l, "inCall", s.lines[i].inCall);
    }
  }
  if (const auto c = j.find("capacity"); ok && c != j.end()) {
    ok = c->is_object() && take(*c, "itemsText", s.capacity.itemsText) &&
         take(*c, "itemsPosition", s.capacity.itemsPosition) &&
         take(*c, "itemsRangeEnd", s.capacity.itemsRangeEnd) &&
         take(*c, "spaceText", s.capacity.spaceText) &&
         take(*c, "spacePosition", s.capacity.spacePosition) &&
         take(*c, "spaceRangeEnd", s.capacity.spaceRangeEnd) &&
         take(*c, "freeText", s.capacity.freeText) && take(*c, "loggedItems", s.loggedItems) &&
         take(*c, "loggedMegabytes", s.loggedMegabytes) && take(*c, "itemLimit", s.itemLimit) &&
         take(*c, "spaceLimitMb", s.spaceLimitMb);
  }
  if (const auto f = j.find("freeBytes"); ok && f != j.end() && !f->is_null()) {
    if (!f->is_number_unsigned()) return std::nullopt;
    s.freeBytes = f->get<std::uint64_t>();
  }
  if (const auto problems = j.find("problems"); ok && problems != j.end()) {
    if (!problems->is_array()) return std::nullopt;
    for (const json& p : *problems) {
      ProblemStatus problem;
      ok = ok && p.is_object() && take(p, "time", problem.wallSeconds) &&
           take(p, "text", problem.text) && take(p, "count", problem.count);
      s.problems.push_back(std::move(problem));
    }
  }
  if (!ok) return std::nullopt;
  return s;
}

}  // namespace parvolin::control
