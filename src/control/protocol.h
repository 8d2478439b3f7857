#pragma once

// The control socket's messages: one JSON object per line, each way. docs/control-protocol.md
// describes them for the authors of clients.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include <nlohmann/json.hpp>

#include "engine/html_list.h"
#include "engine/retention.h"

namespace parvolin::control {

inline constexpr int kProtocolVersion = 1;
// The longest line a client may send; a longer one is answered with "line-too-long" and
// skipped up to its end.
inline constexpr std::size_t kMaxRequestLine = 16 * 1024;

// A change of the list, as the file manager makes it: from an item number and a text, never
// from bytes of the list, which the recorder reads itself.
struct ListEditRequest {
  enum class Op { kEdit, kDelete, kDeleteAll };
  Op op = Op::kEdit;
  int item = 0;
  std::optional<int> to;  // kDelete: the range's end
  std::string text;       // kEdit
  // kEdit, kDelete: logview::rowFingerprint of the row the client means by `item`. When the
  // item's row has another one (the recorder added rows since the client read the list, or the
  // row changed), the edit is refused with "item-moved" and nothing changes.
  std::optional<std::string> expect;
};

struct Request {
  enum class Command { kStatus, kWatch, kListEdit, kRetention };
  nlohmann::json id;  // echoed in the answer; null when the client gave none
  Command command = Command::kStatus;
  ListEditRequest edit;
  bool dryRun = false;  // kRetention: say what would go, delete nothing
};

struct RequestError {
  nlohmann::json id;
  std::string code;  // "bad-json", "bad-request", "unknown-command", "unsupported-version", ...
  std::string message;
};

// The request a line holds (its line break taken off), or why it is none.
std::variant<Request, RequestError> parseRequest(std::string_view line);

// The engine's edit for `request` on the list whose bytes are `list`, made as the file manager
// makes it. `unchanged` when the edit changes nothing (a text equal to the call's own); an error
// ("no-rows", "no-item", "item-moved", "text-refused") when there is nothing to hand over.
struct ListEditPlan {
  std::optional<engine::PendingListEdit> edit;
  bool unchanged = false;
  std::optional<RequestError> error;
};
ListEditPlan planListEdit(const ListEditRequest& request, std::string_view list);

// One line (ending in '\n') of the answer or event `message`; text that is not UTF-8 is replaced,
// never thrown over.
std::string encodeLine(const nlohmann::json& message);
nlohmann::json errorAnswer(const RequestError& error);
nlohmann::json okAnswer(const nlohmann::json& id);
nlohmann::json listEditAnswer(const nlohmann::json& id, const engine::ListEditResult& result);
// A retention pass's report: "dry-run", "calls", "items", "bytes", "recordings", "oldest-kept"
// (seconds since 1970, or null), "summary" and, when it could not run or not wholly, "problem".
nlohmann::json retentionAnswer(const nlohmann::json& id, const engine::RetentionReport& report);
// The report an answer of retentionAnswer holds; nullopt when it holds none.
std::optional<engine::RetentionReport> retentionReportFrom(const nlohmann::json& answer);

}  // namespace parvolin::control
