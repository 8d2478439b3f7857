#include "control/protocol.h"

#include <algorithm>

#include "logview/file_manager_session.h"
#include "logview/list_edits.h"
#include "logview/list_rows.h"

namespace parvolin::control {

using nlohmann::json;

namespace {

constexpr std::int64_t kMaxItem = 99'999;
// A call's text is at most 40 characters of up to four bytes each.
constexpr std::size_t kMaxEditText = 160;

RequestError fail(const json& id, std::string code, std::string message) {
  return RequestError{id, std::move(code), std::move(message)};
}

// An item number field of `request`: 1 to 99999.
std::optional<int> itemField(const json& request, const char* key) {
  const auto at = request.find(key);
  if (at == request.end() || !at->is_number_integer()) return std::nullopt;
  const auto value = at->get<std::int64_t>();
  if (value < 1 || value > kMaxItem) return std::nullopt;
  return int(value);
}

bool isFingerprint(std::string_view text) {
  return text.size() == 16 && std::all_of(text.begin(), text.end(), [](char c) {
           return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
         });
}

}  // namespace

std::variant<Request, RequestError> parseRequest(std::string_view line) {
  json message = json::parse(line, nullptr, /*allow_exceptions=*/false);
  if (message.is_discarded()) return fail(nullptr, "bad-json", "not a JSON object");
  if (!message.is_object()) return fail(nullptr, "bad-request", "not a JSON object");
  json id = nullptr;
  if (const auto at = message.find("id"); at != message.end()) {
    // Only a number or a short string is echoed back.
    if (at->is_number_integer() ||
        (at->is_string() && at->get_ref<const std::string&>().size() <= 64)) {
      id = *at;
    } else {
      return fail(nullptr, "bad-request", "id must be an integer or a string of up to 64 bytes");
    }
  }
  if (const auto at = message.find("v"); at != message.end()) {
    if (!at->is_number_integer() || at->get<std::int64_t>() != kProtocolVersion) {
      return fail(id, "unsupported-version", "this recorder speaks version 1");
    }
  }
  const auto cmd = message.find("cmd");
  if (cmd == message.end() || !cmd->is_string()) {
    return fail(id, "bad-request", "cmd must be a string");
  }
  const std::string& name = cmd->get_ref<const std::string&>();
  Request request;
  request.id = id;
  if (name == "status") {
    request.command = Request::Command::kStatus;
    return request;
  }
  if (name == "watch") {
    request.command = Request::Command::kWatch;
    return request;
  }
  if (name == "retention") {
    request.command = Request::Command::kRetention;
    if (const auto at = message.find("dry-run"); at != message.end()) {
      if (!at->is_boolean()) return fail(id, "bad-request", "dry-run must be true or false");
      request.dryRun = at->get<bool>();
    }
    return request;
  }
  if (name != "list-edit") return fail(id, "unknown-command", "unknown command");
  request.command = Request::Command::kListEdit;
  const auto op = message.find("op");
  if (op == message.end() || !op->is_string()) {
    return fail(id, "bad-request", "op must be \"edit\", \"delete\" or \"delete-all\"");
  }
  ListEditRequest& edit = request.edit;
  const std::string& opName = op->get_ref<const std::string&>();
  if (opName == "delete-all") {
    edit.op = ListEditRequest::Op::kDeleteAll;
    return request;
  }
  const auto item = itemField(message, "item");
  if (!item) return fail(id, "bad-request", "item must be a whole number from 1 to 99999");
  edit.item = *item;
  if (const auto at = message.find("expect"); at != message.end()) {
    if (!at->is_string() || !isFingerprint(at->get_ref<const std::string&>())) {
      return fail(id, "bad-request", "expect must be a row's fingerprint: 16 hex digits");
    }
    edit.expect = at->get<std::string>();
  }
  if (opName == "edit") {
    edit.op = ListEditRequest::Op::kEdit;
    const auto text = message.find("text");
    if (text == message.end() || !text->is_string()) {
      return fail(id, "bad-request", "text must be a string");
    }
    if (text->get_ref<const std::string&>().size() > kMaxEditText) {
      return fail(id, "text-refused", std::string(logview::kEditTextTooLong));
    }
    edit.text = text->get<std::string>();
    return request;
  }
  if (opName == "delete") {
    edit.op = ListEditRequest::Op::kDelete;
    if (message.contains("to")) {
      edit.to = itemField(message, "to");
      if (!edit.to) return fail(id, "bad-request", "to must be a whole number from 1 to 99999");
    }
    return request;
  }
  return fail(id, "bad-request", "op must be \"edit\", \"delete\" or \"delete-all\"");
}

ListEditPlan planListEdit(const ListEditRequest& request, std::string_view list) {
  ListEditPlan plan;
  const std::string_view body = logview::listBody(list);
  const std::vector<logview::ListRow> rows = logview::parseRows(body);
  if (rows.empty()) {
    plan.error = fail(nullptr, "no-rows", std::string(logview::kNoItemsMessage));
    return plan;
  }
  const int latest = rows.front().item;
  if (request.expect && request.op != ListEditRequest::Op::kDeleteAll) {
    const logview::ListRow* row = logview::findItem(rows, request.item);
    if (row && logview::rowFingerprint(*row) != *request.expect) {
      plan.error = fail(nullptr, "item-moved",
                        "item " + std::to_string(request.item) +
                            " is no longer the call the client meant; read the list again");
      return plan;
    }
  }
  switch (request.op) {
    case ListEditRequest::Op::kDeleteAll:
      plan.edit = logview::deleteAllEdit(body);
      break;
    case ListEditRequest::Op::kEdit: {
      const logview::ListRow* row = logview::findItem(rows, request.item);
      if (!row) break;
      if (request.text == row->trimmedText()) {
        plan.unchanged = true;
        return plan;
      }
      if (const auto problem = logview::editTextProblem(request.text, row->trimmedText())) {
        plan.error = fail(nullptr, "text-refused", std::string(*problem));
        return plan;
      }
      plan.edit = logview::textEdit(*row, request.text);
      if (!plan.edit) plan.unchanged = true;
      return plan;
    }
    case ListEditRequest::Op::kDelete:
      if (request.to && logview::rangeCoversAll(request.item, *request.to, latest)) {
        plan.edit = logview::deleteAllEdit(body);
      } else if (request.to) {
        plan.edit = logview::deleteRangeEdit(rows, request.item, *request.to);
      } else {
        plan.edit = logview::deleteItemEdit(rows, request.item);
      }
      break;
  }
  if (!plan.edit) plan.error = fail(nullptr, "no-item", "no such item");
  return plan;
}

std::string encodeLine(const json& message) {
  return message.dump(-1, ' ', false, json::error_handler_t::replace) + '\n';
}

json errorAnswer(const RequestError& error) {
  return {{"v", kProtocolVersion},
          {"id", error.id},
          {"ok", false},
          {"error", {{"code", error.code}, {"message", error.message}}}};
}

json okAnswer(const json& id) {
  return {{"v", kProtocolVersion}, {"id", id}, {"ok", true}};
}

json listEditAnswer(const json& id, const engine::ListEditResult& result) {
  json answer = okAnswer(id);
  answer["applied"] = result.applied;
  if (result.error) {
    answer["error"] = {{"code", result.error.value()},
                       {"category", result.error.category().name()},
                       {"message", result.error.message()}};
  }
  json undeleted = json::array();
  for (const auto& file : result.undeleted) undeleted.push_back(file.string());
  answer["undeleted"] = undeleted;
  return answer;
}

json retentionAnswer(const json& id, const engine::RetentionReport& report) {
  json answer = okAnswer(id);
  answer["dry-run"] = report.dryRun;
  answer["calls"] = report.calls;
  answer["items"] = report.items;
  answer["bytes"] = report.bytes;
  answer["recordings"] = report.recordings;
  answer["oldest-kept"] = report.oldestKept ? json(*report.oldestKept) : json(nullptr);
  answer["summary"] = report.summary();
  if (!report.error.empty()) answer["problem"] = report.error;
  return answer;
}

std::optional<engine::RetentionReport> retentionReportFrom(const json& answer) {
  if (!answer.is_object() || !answer.contains("summary")) return std::nullopt;
  try {
    engine::RetentionReport report;
    report.dryRun = answer.value("dry-run", false);
    report.calls = answer.value("calls", std::size_t{0});
    report.items = answer.value("items", std::vector<int>{});
    report.bytes = answer.value("bytes", std::uint64_t{0});
    report.recordings = answer.value("recordings", std::vector<std::string>{});
    if (const auto at = answer.find("oldest-kept"); at != answer.end() && at->is_number()) {
      report.oldestKept = at->get<std::uint32_t>();
    }
    report.error = answer.value("problem", std::string());
    return report;
  } catch (const json::exception&) {
    return std::nullopt;
  }
}

}  // namespace parvolin::control
