#include "tools/recorder_list_edit.h"

#include <system_error>

#include "base/program_text.h"

namespace parvolin::tools {

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

bool sameFile(const fs::path& a, const fs::path& b) {
  std::error_code error;
  return fs::equivalent(a, b, error);
}

int handOver(control::ControlClient& recorder, const control::ListEditRequest& request,
             const fs::path& list, const std::string& done, const std::string& items,
             std::ostream& out, std::ostream& err, std::chrono::milliseconds wait) {
  const auto failed = [&](const std::string& why) {
    err << "pvtool list: " << list.string()
        << ": the recorder did not take the edit: " << base::printable(why) << '\n';
    return 1;
  };
  // The recorder changes its own list only.
  if (!recorder.send(json{{"v", control::kProtocolVersion}, {"id", 1}, {"cmd", "status"}})) {
    return failed(recorder.error());
  }
  const auto status = recorder.answerTo(1, std::chrono::seconds(10));
  if (!status) return failed(recorder.error());
  if (!status->value("ok", false)) return failed(status->dump());
  const std::string own = status->at("status").value("list", std::string());
  if (!sameFile(list, own)) {
    err << "pvtool list: " << list.string() << ": the recorder that holds the folder writes "
        << base::printable(own)
        << "; only that list can be changed while it records, stop it to change another\n";
    return 1;
  }

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
  if (!recorder.send(message)) return failed(recorder.error());
  const auto answer = recorder.answerTo(2, wait);
  if (!answer) {
    if (recorder.timedOut()) {
      err << "pvtool list: " << list.string()
          << ": the recorder has not applied the edit yet; it keeps trying on every tick\n";
      return 1;
    }
    return failed(recorder.error());
  }
  if (!answer->value("ok", false)) {
    const json error = answer->value("error", json::object());
    const std::string code = error.value("code", std::string());
    const std::string text = error.value("message", std::string());
    if (code == "no-item") {
      err << "pvtool list: " << list.string() << ": no item " << items << '\n';
    } else if (code == "no-rows") {
      err << "pvtool list: " << list.string() << ": " << base::printable(text) << '\n';
    } else if (code == "text-refused") {
      err << "pvtool list: " << base::printable(text) << '\n';
    } else {
      return failed(code + ": " + text);
    }
    return 1;
  }
  if (answer->value("unchanged", false)) {
    out << "item " << request.item << ": text unchanged\n";
    return 0;
  }
  engine::ListEditResult result;
  result.applied = answer->value("applied", false);
  if (const auto error = answer->find("error"); error != answer->end() && error->is_object()) {
    const int code = error->value("code", 0);
    result.error = error->value("category", std::string()) == "generic"
                       ? std::error_code(code, std::generic_category())
                       : std::error_code(code, std::system_category());
  }
  if (const auto undeleted = answer->find("undeleted"); undeleted != answer->end()) {
    for (const json& file : *undeleted) {
      if (file.is_string()) result.undeleted.emplace_back(file.get<std::string>());
    }
  }
  return reportEditResult(result, list, done, out, err);
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
    return 1;
  }
}

}  // namespace parvolin::tools
