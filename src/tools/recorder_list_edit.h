#pragma once

// pvtool list's edits beside a running recorder: handed over its control socket, answered once
// its tick applied them, reported with the texts and exit statuses of an edit made at once.

#include <chrono>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>

#include "control/client.h"
#include "control/protocol.h"
#include "engine/html_list.h"

namespace parvolin::tools {

// How long an edit may wait for the recorder's tick before pvtool gives up waiting (the edit
// stays with the recorder).
inline constexpr std::chrono::seconds kRecorderEditWait{30};

// Hands `request` for `list` to the recorder; `done` is the line printed once it is applied, and
// `items` names the item(s) for "no item" ("5", "5 to 3"). Exit status as pvtool list's.
[[nodiscard]] int editThroughRecorder(control::ControlClient& recorder,
                                      const control::ListEditRequest& request,
                                      const std::filesystem::path& list, const std::string& done,
                                      const std::string& items, std::ostream& out,
                                      std::ostream& err,
                                      std::chrono::milliseconds wait = kRecorderEditWait);

// The report of an applied (or failed) edit, shared with edits made at once.
[[nodiscard]] int reportEditResult(const std::optional<engine::ListEditResult>& result,
                                   const std::filesystem::path& list, const std::string& done,
                                   std::ostream& out, std::ostream& err);

}  // namespace parvolin::tools
