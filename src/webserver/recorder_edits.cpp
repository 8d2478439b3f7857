#include "webserver/recorder_edits.h"

#include <atomic>

#include <nlohmann/json.hpp>

#include "control/client.h"

namespace parvolin::webserver {

using nlohmann::json;

namespace {

EditOutcome outcomeOf(const json& answer) {
  if (answer.value("ok", false)) {
    if (answer.value("applied", false) || answer.value("unchanged", false)) {
      return {EditOutcome::Kind::kApplied, ""};
    }
    return {EditOutcome::Kind::kFailed, "The recorder could not apply the change."};
  }
  const json& error = answer.contains("error") ? answer["error"] : json();
  const std::string code = error.is_object() ? error.value("code", "") : "";
  const std::string message = error.is_object() ? error.value("message", "") : "";
  if (code == "item-moved" || code == "no-item" || code == "no-rows") {
    return {EditOutcome::Kind::kMoved,
            "The call moved or changed in the meantime; reload the list and try again."};
  }
  if (code == "text-refused") return {EditOutcome::Kind::kRefused, message};
  if (code == "busy") return {EditOutcome::Kind::kFailed, "The recorder is busy; try again."};
  return {EditOutcome::Kind::kFailed, "The recorder refused the change (" + code + ")."};
}

}  // namespace

EditOutcome ControlSocketEdits::send(const std::string& op, int item, std::string_view fingerprint,
                                     std::string_view text) {
  static std::atomic<int> nextId{1};
  std::string why;
  std::optional<control::ControlClient> client = control::connectToRecorder(folder_, why);
  if (!client) return {EditOutcome::Kind::kNotRunning, std::string(kRecorderNotRunningText)};
  const json id = "lvsvr-" + std::to_string(nextId++);
  json request{
      {"cmd", "list-edit"}, {"id", id}, {"op", op}, {"item", item}, {"expect", fingerprint}};
  if (op == "edit") request["text"] = text;
  if (!client->send(request)) {
    return {EditOutcome::Kind::kNotRunning, std::string(kRecorderNotRunningText)};
  }
  const auto answer = client->answerTo(id, timeout_);
  if (!answer) {
    return {EditOutcome::Kind::kFailed, client->timedOut()
                                            ? "The recorder did not apply the change in time."
                                            : std::string(kRecorderNotRunningText)};
  }
  return outcomeOf(*answer);
}

EditOutcome ControlSocketEdits::editText(int item, std::string_view fingerprint,
                                         std::string_view text) {
  return send("edit", item, fingerprint, text);
}

EditOutcome ControlSocketEdits::remove(int item, std::string_view fingerprint) {
  return send("delete", item, fingerprint, {});
}

}  // namespace parvolin::webserver
