#include "tools/recorder_list_edit.h"

#include <optional>
#include <system_error>

#include "base/exit_status.h"
#include "base/program_text.h"

namespace parvolin::tools {

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

bool sameFile(const fs::path& a, const fs::path& b) {
  std::error_code error;
  return fs::equivalent(a, b, error);
}

// Hands edits over to the recorder for one list, telling what went wrong on `err`.
class HandOver {
 public:
  HandOver(control::ControlClient& recorder, const fs::path& list, std::ostream& err)
      : recorder_(recorder), list_(list), err_(err) {}

  // The recorder writes `list_`: it changes its own list only. The exit status when not.
  std::optional<int> checkOwnList() {
    if (!recorder_.send(json{{"v", control::kProtocolVersion}, {"id", 1}, {"cmd", "status"}})) {
      return failed(recorder_.error());
    }
    const auto status = recorder_.answerTo(1, std::chrono::seconds(10));
    if (!status) return failed(recorder_.error());
    if (!status->value("ok", false)) return failed(status->dump());
    const std::string own = status->at("status").value("list", std::string());
    if (sameFile(list_, own)) return std::nullopt;
    err_ << "pvtool list: " << list_.string() << ": the recorder that holds the folder writes "
         << base::printable(own)
         << "; only that list can be changed while it records, stop it to change another\n";
    return base::kExitFailed;
  }

  // The recorder's answer to `request`, once applied; the exit status when there is none.
  std::optional<int> send(const control::ListEditRequest& request, std::chrono::milliseconds wait,
                          json& answer) {
    if (!recorder_.send(editMessage(request))) return failed(recorder_.error());
    auto received = recorder_.answerTo(2, wait);
    if (!received) {
      if (!recorder_.timedOut()) return failed(recorder_.error());
      err_ << "pvtool list: " << list_.string()
           << ": the recorder has not applied the edit yet; it keeps trying on every tick\n";
      return base::kExitFailed;
    }
    answer = std::move(*received);
    return std::nullopt;
  }

  // An answer that refused the edit, told on `err_`; `items` names the item(s) for "no item".
  int refused(const json& answer, const std::string& items) {
    const json error = answer.value("error", json::object());
    const std::string code = error.value("code", std::string());
    const std::string text = error.value("message", std::string());
    if (code == "no-item") {
      err_ << "pvtool list: " << list_.string() << ": no item " << items << '\n';
    } else if (code == "no-rows") {
      err_ << "pvtool list: " << list_.string() << ": " << base::printable(text) << '\n';
    } else if (code == "text-refused") {
      err_ << "pvtool list: " << base::printable(text) << '\n';
    } else {
      return failed(code + ": " + text);
    }
    return base::kExitFailed;
  }

 private:
  int failed(const std::string& why) {
    err_ << "pvtool list: " << list_.string()
         << ": the recorder did not take the edit: " << base::printable(why) << '\n';
    return base::kExitFailed;
  }

  static json editMessage(const control::ListEditRequest& request) {
    json message{{"v", control::kProtocolVersion}, {"id", 2}, {"cmd", "list-edit"}};
    switch (request.op) {
      case control::ListEditRequest::Op::kEdit:
        message["op"] = "edit";
        message["item"] = request.item;
        message["text"] = request.text;
        break;
      case control::ListEditRequest::Op::kDelete:
        message["op"] = "delete";
        message["item"] = request.item;
        if (request.to) message["to"] = *request.to;
        break;
      case control::ListEditRequest::Op::kDeleteAll:
        message["op"] = "delete-all";
        break;
    }
    return message;
  }

  control::ControlClient& recorder_;
  const fs::path& list_;
  std::ostream& err_;
};

// What an applied edit did, as the recorder answered it.
engine::ListEditResult editResult(const json& answer) {
  engine::ListEditResult result;
  result.applied = answer.value("applied", false);
  if (const auto error = answer.find("error"); error != answer.end() && error->is_object()) {
    const int code = error->value("code", 0);
    result.error = error->value("category", std::string()) == "generic"
                       ? std::error_code(code, std::generic_category())
                       : std::error_code(code, std::system_category());
  }
  if (const auto undeleted = answer.find("undeleted"); undeleted != answer.end()) {
    for (const json& file : *undeleted) {
      if (file.is_string()) result.undeleted.emplace_back(file.get<std::string>());
    }
  }
  return result;
}

int handOver(control::ControlClient& recorder, const control::ListEditRequest& request,
             const fs::path& list, const std::string& done, const std::string& items,
             std::ostream& out, std::ostream& err, std::chrono::milliseconds wait) {
  HandOver handOver(recorder, list, err);
  if (const std::optional<int> status = handOver.checkOwnList()) return *status;
  json answer;
  if (const std::optional<int> status = handOver.send(request, wait, answer)) return *status;
  if (!answer.value("ok", false)) return handOver.refused(answer, items);
  if (answer.value("unchanged", false)) {
    out << "item " << request.item << ": text unchanged\n";
    return base::kExitOk;
  }
  return reportEditResult(editResult(answer), list, done, out, err);
}

}  // namespace

int editThroughRecorder(control::ControlClient& recorder, const control::ListEditRequest& request,
                        const fs::path& list, const std::string& done, const std::string& items,
                        std::ostream& out, std::ostream& err, std::chrono::milliseconds wait) {
  try {
    return handOver(recorder, request, list, done, items, out, err, wait);
  } catch (const json::exception& e) {
    err << "pvtool list: " << list.string()
        << ": the recorder's answer is not understood: " << base::printable(e.what()) << '\n';
    return base::kExitFailed;
  }
}

}  // namespace parvolin::tools
