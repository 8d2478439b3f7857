// pvtool list: the log viewer's sorts and the file manager's search, edit and deletes on an
// HTML call list, writing the same files the windows write.

#include "tools/pvtool_list.h"

#include <unistd.h>

#include <ctime>
#include <iostream>
#include <optional>
#include <string>

#include "base/file_io.h"
#include "base/program_text.h"
#include "logview/file_manager_session.h"
#include "logview/list_edits.h"
#include "logview/log_viewer_logic.h"
#include "tools/folder_access.h"
#include "tools/number_options.h"
#include "tools/recorder_list_edit.h"

namespace parvolin::tools {

constinit const std::string_view kListHelp =
    "usage: pvtool list sort-port|sort-duration LIST\n"
    "       pvtool list search LIST [--text T] [--from YY-MM-DD] [--to YY-MM-DD]\n"
    "       pvtool list edit LIST ITEM TEXT\n"
    "       pvtool list delete LIST ITEM [--to END] [--yes]\n"
    "       pvtool list delete-all LIST [--yes]\n"
    "  sort-port, sort-duration and search write the result next to LIST, where the log viewer\n"
    "  shows it (the list's name with \".htm\" made \"Find.htm\"). Dates not given are today's,\n"
    "  as in the file manager. edit gives a call a text of up to 40 characters; delete removes\n"
    "  item ITEM, or the items from ITEM down to END. The changes are applied to LIST at once,\n"
    "  as the recorder does: a list left without rows is deleted, and delete-all (or a range\n"
    "  from the newest item down to 1) then also deletes every file in the list's folder.\n"
    "  LIST is a recording folder's own list (a call log beside it), never a search or edit\n"
    "  copy (\"...Find.htm\", \"...Edit.htm\") nor a list elsewhere: those are refused (exit 2).\n"
    "  delete and delete-all ask the file manager's questions on a terminal; without one they\n"
    "  need --yes.\n";
namespace {

namespace fs = std::filesystem;
using logview::Outcome;

// Messages go to `err`. Questions are asked on the terminal `in` (Yes only for an answer
// starting with 'y'); without one they are answered Yes (--yes was given).
class CommandLinePrompt final : public base::Prompt {
 public:
  CommandLinePrompt(std::ostream& err, std::istream* in) : err_(err), in_(in) {}
  void message(std::string_view text, base::PromptIcon) override {
    err_ << "pvtool list: " << base::printableLines(text) << '\n';
  }
  bool askYesNo(std::string_view text, bool, base::PromptIcon) override {
    return ask(text, "[y/N]");
  }
  bool askOkCancel(std::string_view text, bool, base::PromptIcon) override {
    return ask(text, "[y/N]");
  }

 private:
  bool ask(std::string_view text, std::string_view choices) {
    if (!in_) return true;
    err_ << base::printableLines(text) << ' ' << choices << ' ' << std::flush;
    std::string answer;
    if (!std::getline(*in_, answer)) return false;
    return !answer.empty() && (answer[0] == 'y' || answer[0] == 'Y');
  }

  std::ostream& err_;
  std::istream* in_;
};

std::string callsText(std::size_t count) {
  return std::to_string(count) + (count == 1 ? " call" : " calls");
}

// Item numbers fill the five places of the list's item column.
constexpr std::int64_t kMaxItem = 99'999;
constexpr std::int64_t kMaxYear = 9'999;

// An item number given for `what` ("ITEM", "--to"): 1 to 99999, or nothing with `error` set.
std::optional<int> parseItem(const std::string& what, const std::string& text, std::string& error) {
  const auto item = parseWholeOption(what, text, 1, kMaxItem, error);
  if (!item) return std::nullopt;
  return int(*item);
}

struct Date {
  int year, month, day;
};

// YY-MM-DD with a month of 1 to 12 and a day of 1 to 31; nothing with `error` set otherwise.
std::optional<Date> parseDate(const std::string& option, const std::string& text,
                              std::string& error) {
  const std::size_t a = text.find('-');
  const std::size_t b = a == std::string::npos ? a : text.find('-', a + 1);
  if (b == std::string::npos) {
    error = option + " takes a date as YY-MM-DD, not '" + text + "'";
    return std::nullopt;
  }
  const auto y = parseWholeOption(option + " year", text.substr(0, a), 0, kMaxYear, error);
  if (!y) return std::nullopt;
  const auto m = parseWholeOption(option + " month", text.substr(a + 1, b - a - 1), 1, 12, error);
  if (!m) return std::nullopt;
  const auto d = parseWholeOption(option + " day", text.substr(b + 1), 1, 31, error);
  if (!d) return std::nullopt;
  return Date{int(*y), int(*m), int(*d)};
}

int usageError(std::ostream& err, const std::string& problem) {
  err << "pvtool list: " << problem << '\n' << kListHelp;
  return 2;
}

}  // namespace

// The outcome of an edit handed to the list.
int reportEditResult(const std::optional<engine::ListEditResult>& result, const fs::path& list,
                     const std::string& done, std::ostream& out, std::ostream& err) {
  if (!result) {
    err << "pvtool list: " << list.string() << ": nothing to change\n";
    return 1;
  }
  if (!result->applied) {
    err << "pvtool list: " << base::describeFailure(list, "apply the edit", result->error) << '\n';
    return 1;
  }
  out << done << '\n';
  if (!logview::fileExists(list)) out << list.string() << ": no rows left; list deleted\n";
  for (const fs::path& file : result->undeleted) {
    err << "pvtool list: " << base::printable(file.string()) << ": cannot delete\n";
  }
  return result->undeleted.empty() ? 0 : 1;
}

namespace {

int reportEdit(const logview::ImmediateListEditor& editor, const fs::path& list,
               const std::string& done, std::ostream& out, std::ostream& err) {
  return reportEditResult(editor.lastListEditResult(), list, done, out, err);
}

int runSort(const logview::ListFiles& files, logview::ListOrder order, std::ostream& out,
            std::ostream& err) {
  if (!logview::sortToFindFile(files, order)) {
    err << "pvtool list: " << files.list.string() << ": cannot read the list or write "
        << files.find.string() << '\n';
    return 1;
  }
  out << files.find.string() << '\n';
  return 0;
}

int runSearch(const logview::ListFiles& files, const Args& rest, std::time_t now, std::ostream& out,
              std::ostream& err, base::Prompt& prompt, logview::ListEditSubmitter& editor) {
  logview::SearchFields fields = logview::SearchFields::today(now);
  for (std::size_t i = 0; i < rest.size(); ++i) {
    const std::string& option = rest[i];
    if (i + 1 == rest.size()) return usageError(err, option + " needs a value");
    const std::string& value = rest[++i];
    if (option == "--text") {
      fields.text = value;
    } else if (option == "--from" || option == "--to") {
      std::string error;
      auto date = parseDate(option, value, error);
      if (!date) return usageError(err, error);
      // The list writes two-digit years: a year given in full is compared by its last two.
      constexpr int kCentury = 100;
      date->year %= kCentury;
      if (option == "--from") {
        fields.fromYear = date->year, fields.fromMonth = date->month, fields.fromDay = date->day;
      } else {
        fields.toYear = date->year, fields.toMonth = date->month, fields.toDay = date->day;
      }
    } else {
      return usageError(err, "unknown option '" + option + "'");
    }
  }
  logview::FileManagerSession session(files, editor, prompt);
  session.search(fields);
  std::string result;
  if (base::readWholeFile(files.find, result)) {
    err << "pvtool list: cannot write " << files.find.string() << '\n';
    return 1;
  }
  out << files.find.string() << ": "
      << callsText(logview::parseRows(logview::listBody(result)).size()) << '\n';
  return 0;
}

}  // namespace

std::optional<base::FolderLock> holdFolder(const std::filesystem::path& folder,
                                           std::string_view command, std::ostream& err) {
  base::FolderLock lock = base::FolderLock::acquire(folder, "pvtool " + std::string(command));
  if (lock.status() == base::FolderLock::Status::kBusy) {
    err << "pvtool " << command << ": " << lock.describe() << '\n';
    return std::nullopt;
  }
  if (!lock.held()) err << "pvtool " << command << ": " << lock.describe() << '\n';
  return lock;
}

int runListWith(const Args& arguments, std::ostream& out, std::ostream& err, std::time_t now,
                std::istream* terminal) {
  Args args;
  bool yes = false;
  for (const std::string& a : arguments) {
    if (a == "-h" || a == "--help") {
      out << kListHelp;
      return 0;
    }
    if (a == "--yes") {
      yes = true;
    } else {
      args.push_back(a);
    }
  }
  if (args.size() < 2) return usageError(err, "a command and a list are needed");
  const std::string& command = args[0];
  const fs::path list = args[1];
  const Args rest(args.begin() + 2, args.end());
  const logview::ListFiles files = logview::ListFiles::forList(list);
  if (command != "sort-port" && command != "sort-duration" && command != "search" &&
      command != "edit" && command != "delete" && command != "delete-all") {
    return usageError(err, "unknown command '" + command + "'");
  }
  // Every command writes beside the list: one pvtool run at a time in a recording folder. Beside
  // a running recorder, the sorts and the search write only their own result files, and the
  // edits are handed to the recorder.
  const fs::path folder = list.has_parent_path() ? list.parent_path() : fs::path(".");
  FolderAccess access = accessFolder(folder, "list", err);
  if (!access.usable) return 1;
  std::string content;
  if (const std::error_code error = base::readWholeFile(list, content)) {
    err << "pvtool list: " << base::describeFailure(list, "read", error) << '\n';
    return 1;
  }
  if (const auto problem = logview::ownListProblem(list, content)) {
    err << "pvtool list: " << *problem << '\n';
    return 2;
  }
  const bool deletes = command == "delete" || command == "delete-all";
  if (deletes && !terminal && !yes) {
    err << "pvtool list: " << command
        << " deletes calls: answer its questions on a terminal, or give --yes\n";
    return 2;
  }
  const std::vector<logview::ListRow> rows = logview::parseRows(logview::listBody(content));

  CommandLinePrompt prompt(err, yes ? nullptr : terminal);
  logview::ImmediateListEditor editor(folder, list);

  if (command == "sort-port" || command == "sort-duration") {
    if (!rest.empty()) return usageError(err, "unexpected '" + rest[0] + "'");
    return runSort(
        files,
        command == "sort-port" ? logview::ListOrder::kByPort : logview::ListOrder::kByDuration, out,
        err);
  }
  if (command == "search") return runSearch(files, rest, now, out, err, prompt, editor);

  if (command == "delete-all") {
    if (!rest.empty()) return usageError(err, "unexpected '" + rest[0] + "'");
    if (rows.empty()) {
      err << "pvtool list: " << list.string() << ": " << logview::kNoItemsMessage << '\n';
      return 1;
    }
    if (access.recorder) {
      return editThroughRecorder(
          *access.recorder, {control::ListEditRequest::Op::kDeleteAll, 0, {}, {}}, list,
          "deleted all " + std::to_string(rows.size()) + " calls", {}, out, err);
    }
    logview::FileManagerSession(files, editor, prompt).deleteAll();
    if (!editor.lastListEditResult()) {
      err << "pvtool list: nothing deleted\n";
      return 1;
    }
    return reportEdit(editor, list, "deleted all " + callsText(rows.size()), out, err);
  }

  if (rest.empty()) return usageError(err, command + " needs an item number");
  std::string error;
  const auto item = parseItem("ITEM", rest[0], error);
  if (!item) return usageError(err, error);

  if (command == "edit") {
    if (rest.size() != 2) return usageError(err, "edit needs an item number and a text");
    const std::string& text = rest[1];
    const logview::ListRow* row = logview::findItem(rows, *item);
    if (!row) {
      err << "pvtool list: " << list.string() << ": no item " << *item << '\n';
      return 1;
    }
    if (const auto problem = logview::editTextProblem(text, row->trimmedText())) {
      err << "pvtool list: " << *problem << '\n';
      return 1;
    }
    if (access.recorder) {
      control::ListEditRequest request{control::ListEditRequest::Op::kEdit, *item, {}, text};
      return editThroughRecorder(*access.recorder, request, list,
                                 "item " + std::to_string(*item) + ": text changed",
                                 std::to_string(*item), out, err);
    }
    logview::FileManagerSession(files, editor, prompt).editItem(*item, [&](const auto&) {
      return std::optional<std::string>(text);
    });
    if (!editor.lastListEditResult() && text == row->trimmedText()) {
      out << "item " << *item << ": text unchanged\n";
      return 0;
    }
    return reportEdit(editor, list, "item " + std::to_string(*item) + ": text changed", out, err);
  }

  // delete ITEM [--to END]
  std::optional<int> end;
  if (rest.size() == 3 && rest[1] == "--to") {
    end = parseItem("--to", rest[2], error);
    if (!end) return usageError(err, error);
  } else if (rest.size() != 1) {
    return usageError(err, "delete takes ITEM [--to END]");
  }
  if (access.recorder) {
    const int latest = rows.empty() ? 0 : rows.front().item;
    std::string done;
    if (end && logview::rangeCoversAll(*item, *end, latest)) {
      done = "deleted all " + std::to_string(rows.size()) + " calls";
    } else if (end && *end != *item) {
      done = "deleted items " + std::to_string(*item) + " to " + std::to_string(*end);
    } else {
      done = "deleted item " + std::to_string(*item);
    }
    control::ListEditRequest request{control::ListEditRequest::Op::kDelete, *item, end, {}};
    return editThroughRecorder(*access.recorder, request, list, done,
                               end && *end != *item
                                   ? std::to_string(*item) + " to " + std::to_string(*end)
                                   : std::to_string(*item),
                               out, err);
  }
  logview::FileManagerSession session(files, editor, prompt);
  const int latest = session.latestItem();
  const Outcome outcome = end ? session.deleteRange(*item, *end) : session.deleteItem(*item);
  if (outcome == Outcome::kStaysOpen) {
    err << "pvtool list: nothing deleted\n";
    return 1;
  }
  std::string done;
  if (end && logview::rangeCoversAll(*item, *end, latest)) {
    done = "deleted all " + callsText(rows.size());
  } else if (end && *end != *item) {
    done = "deleted items " + std::to_string(*item) + " to " + std::to_string(*end);
  } else {
    done = "deleted item " + std::to_string(*item);
  }
  if (!editor.lastListEditResult()) {
    err << "pvtool list: " << list.string() << ": no item "
        << (end && *end != *item ? std::to_string(*item) + " to " + std::to_string(*end)
                                 : std::to_string(*item))
        << '\n';
    return 1;
  }
  return reportEdit(editor, list, done, out, err);
}

int runList(const Args& args) {
  return runListWith(args, std::cout, std::cerr, std::time(nullptr),
                     ::isatty(STDIN_FILENO) != 0 ? &std::cin : nullptr);
}

}  // namespace parvolin::tools
