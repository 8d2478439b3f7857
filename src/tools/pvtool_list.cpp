// pvtool list: the log viewer's sorts and the file manager's search, edit and deletes on an
// HTML call list, writing the same files the windows write.

#include "tools/pvtool_list.h"

#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <iostream>
#include <optional>
#include <string>

#include "base/exit_status.h"
#include "base/file_io.h"
#include "base/program_text.h"
#include "logview/file_manager_session.h"
#include "logview/list_edits.h"
#include "logview/log_viewer_logic.h"
#include "tools/command_line.h"
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
[[nodiscard]] std::optional<int> parseItem(const std::string& what, const std::string& text,
                                           std::string& error) {
  const auto item = parseWholeOption(what, text, 1, kMaxItem, error);
  if (!item) return std::nullopt;
  return int(*item);
}

struct Date {
  int year, month, day;
};

// YY-MM-DD with a month of 1 to 12 and a day of 1 to 31; nothing with `error` set otherwise.
[[nodiscard]] std::optional<Date> parseDate(const std::string& option, const std::string& text,
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

int usage(std::ostream& err, const std::string& problem) {
  return usageError(err, "list", kListHelp, problem);
}

}  // namespace

// The outcome of an edit handed to the list.
int reportEditResult(const std::optional<engine::ListEditResult>& result, const fs::path& list,
                     const std::string& done, std::ostream& out, std::ostream& err) {
  if (!result) {
    err << "pvtool list: " << list.string() << ": nothing to change\n";
    return base::kExitFailed;
  }
  if (!result->applied) {
    err << "pvtool list: " << base::describeFailure(list, "apply the edit", result->error) << '\n';
    return base::kExitFailed;
  }
  out << done << '\n';
  if (!logview::fileExists(list)) out << list.string() << ": no rows left; list deleted\n";
  for (const fs::path& file : result->undeleted) {
    err << "pvtool list: " << base::printable(file.string()) << ": cannot delete\n";
  }
  return result->undeleted.empty() ? base::kExitOk : base::kExitFailed;
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
    return base::kExitFailed;
  }
  out << files.find.string() << '\n';
  return base::kExitOk;
}

int runSearch(const logview::ListFiles& files, const Args& rest, std::time_t now, std::ostream& out,
              std::ostream& err, base::Prompt& prompt, logview::ListEditSubmitter& editor) {
  logview::SearchFields fields = logview::SearchFields::today(now);
  for (std::size_t i = 0; i < rest.size(); ++i) {
    const std::string& option = rest[i];
    if (i + 1 == rest.size()) return usage(err, option + " needs a value");
    const std::string& value = rest[++i];
    if (option == "--text") {
      fields.text = value;
    } else if (option == "--from" || option == "--to") {
      std::string error;
      auto date = parseDate(option, value, error);
      if (!date) return usage(err, error);
      // The list writes two-digit years: a year given in full is compared by its last two.
      constexpr int kCentury = 100;
      date->year %= kCentury;
      if (option == "--from") {
        fields.fromYear = date->year, fields.fromMonth = date->month, fields.fromDay = date->day;
      } else {
        fields.toYear = date->year, fields.toMonth = date->month, fields.toDay = date->day;
      }
    } else {
      return usage(err, "unknown option '" + option + "'");
    }
  }
  logview::FileManagerSession session(files, editor, prompt);
  session.search(fields);
  std::string result;
  if (base::readWholeFile(files.find, result)) {
    err << "pvtool list: cannot write " << files.find.string() << '\n';
    return base::kExitFailed;
  }
  out << files.find.string() << ": "
      << callsText(logview::parseRows(logview::listBody(result)).size()) << '\n';
  return base::kExitOk;
}

constexpr std::string_view kCommands[] = {"sort-port", "sort-duration", "search",
                                          "edit",      "delete",        "delete-all"};

struct ListOptions {
  std::string command;
  fs::path list;
  Args rest;  // the command's own arguments after LIST
  bool yes = false;
};

// The command, its list and its arguments; nothing with `problem` set.
[[nodiscard]] std::optional<ListOptions> parseOptions(const Args& arguments, std::string& problem) {
  ListOptions options;
  Args args;
  for (const std::string& a : arguments) {
    if (a == "--yes") {
      options.yes = true;
    } else {
      args.push_back(a);
    }
  }
  if (args.size() < 2) {
    problem = "a command and a list are needed";
    return std::nullopt;
  }
  options.command = args[0];
  options.list = args[1];
  options.rest.assign(args.begin() + 2, args.end());
  if (std::find(std::begin(kCommands), std::end(kCommands), options.command) ==
      std::end(kCommands)) {
    problem = "unknown command '" + options.command + "'";
    return std::nullopt;
  }
  return options;
}

// A list being worked on: its folder taken, its rows read.
struct OpenList {
  fs::path list, folder;
  logview::ListFiles files;
  FolderAccess access;
  std::string content;                 // the list as read
  std::vector<logview::ListRow> rows;  // views into `content`
};

// "5" or "5 to 3": the items a delete names.
std::string itemsText(int item, std::optional<int> end) {
  return end && *end != item ? std::to_string(item) + " to " + std::to_string(*end)
                             : std::to_string(item);
}

// What a delete did: "deleted all " + `all` when it covered every item, else the items.
std::string deletedText(int item, std::optional<int> end, int latest, const std::string& all) {
  if (end && logview::rangeCoversAll(item, *end, latest)) return "deleted all " + all;
  return (end && *end != item ? "deleted items " : "deleted item ") + itemsText(item, end);
}

int runDeleteAll(OpenList& open, logview::ImmediateListEditor& editor, base::Prompt& prompt,
                 std::ostream& out, std::ostream& err) {
  if (open.rows.empty()) {
    err << "pvtool list: " << open.list.string() << ": " << logview::kNoItemsMessage << '\n';
    return base::kExitFailed;
  }
  if (open.access.recorder) {
    return editThroughRecorder(
        *open.access.recorder, {control::ListEditRequest::Op::kDeleteAll, 0, {}, {}, {}}, open.list,
        "deleted all " + std::to_string(open.rows.size()) + " calls", {}, out, err);
  }
  logview::FileManagerSession(open.files, editor, prompt).deleteAll();
  if (!editor.lastListEditResult()) {
    err << "pvtool list: nothing deleted\n";
    return base::kExitFailed;
  }
  return reportEdit(editor, open.list, "deleted all " + callsText(open.rows.size()), out, err);
}

int runEdit(OpenList& open, int item, const std::string& text, logview::ImmediateListEditor& editor,
            base::Prompt& prompt, std::ostream& out, std::ostream& err) {
  const logview::ListRow* row = logview::findItem(open.rows, item);
  if (!row) {
    err << "pvtool list: " << open.list.string() << ": no item " << item << '\n';
    return base::kExitFailed;
  }
  // A copy: the row's text lies in the list as read, which the edit below replaces.
  const std::string before(row->trimmedText());
  if (const auto problem = logview::editTextProblem(text, before)) {
    err << "pvtool list: " << *problem << '\n';
    return base::kExitFailed;
  }
  const std::string done = "item " + std::to_string(item) + ": text changed";
  if (open.access.recorder) {
    control::ListEditRequest request{control::ListEditRequest::Op::kEdit, item, {}, text, {}};
    return editThroughRecorder(*open.access.recorder, request, open.list, done,
                               std::to_string(item), out, err);
  }
  logview::FileManagerSession(open.files, editor, prompt).editItem(item, [&](const auto&) {
    return std::optional<std::string>(text);
  });
  if (!editor.lastListEditResult() && text == before) {
    out << "item " << item << ": text unchanged\n";
    return base::kExitOk;
  }
  return reportEdit(editor, open.list, done, out, err);
}

int runDelete(OpenList& open, int item, std::optional<int> end,
              logview::ImmediateListEditor& editor, base::Prompt& prompt, std::ostream& out,
              std::ostream& err) {
  if (open.access.recorder) {
    const int latest = open.rows.empty() ? 0 : open.rows.front().item;
    control::ListEditRequest request{control::ListEditRequest::Op::kDelete, item, end, {}, {}};
    return editThroughRecorder(
        *open.access.recorder, request, open.list,
        deletedText(item, end, latest, std::to_string(open.rows.size()) + " calls"),
        itemsText(item, end), out, err);
  }
  logview::FileManagerSession session(open.files, editor, prompt);
  const int latest = session.latestItem();
  const Outcome outcome = end ? session.deleteRange(item, *end) : session.deleteItem(item);
  if (outcome == Outcome::kStaysOpen) {
    err << "pvtool list: nothing deleted\n";
    return base::kExitFailed;
  }
  if (!editor.lastListEditResult()) {
    err << "pvtool list: " << open.list.string() << ": no item " << itemsText(item, end) << '\n';
    return base::kExitFailed;
  }
  return reportEdit(editor, open.list, deletedText(item, end, latest, callsText(open.rows.size())),
                    out, err);
}

// The commands that change the list: delete-all, edit ITEM TEXT, delete ITEM [--to END].
int runChange(const ListOptions& options, OpenList& open, base::Prompt& prompt, std::ostream& out,
              std::ostream& err) {
  logview::ImmediateListEditor editor(open.folder, open.list);
  const Args& rest = options.rest;
  if (options.command == "delete-all") {
    if (!rest.empty()) return usage(err, "unexpected '" + rest[0] + "'");
    return runDeleteAll(open, editor, prompt, out, err);
  }
  if (rest.empty()) return usage(err, options.command + " needs an item number");
  std::string error;
  const auto item = parseItem("ITEM", rest[0], error);
  if (!item) return usage(err, error);
  if (options.command == "edit") {
    if (rest.size() != 2) return usage(err, "edit needs an item number and a text");
    return runEdit(open, *item, rest[1], editor, prompt, out, err);
  }
  std::optional<int> end;
  if (rest.size() == 3 && rest[1] == "--to") {
    end = parseItem("--to", rest[2], error);
    if (!end) return usage(err, error);
  } else if (rest.size() != 1) {
    return usage(err, "delete takes ITEM [--to END]");
  }
  return runDelete(open, *item, end, editor, prompt, out, err);
}

// Takes the list's folder and reads the list: a recording folder's own list; the exit status
// when it cannot be used.
[[nodiscard]] std::optional<int> openList(OpenList& open, std::ostream& err) {
  // Every command writes beside the list: one pvtool run at a time in a recording folder.
  // Beside a running recorder, the sorts and the search write only their own result files, and
  // the edits are handed to the recorder.
  open.access = accessFolder(open.folder, "list", err);
  if (!open.access.usable) return base::kExitFailed;
  std::string& content = open.content;
  if (const std::error_code error = base::readWholeFile(open.list, content)) {
    err << "pvtool list: " << base::describeFailure(open.list, "read", error) << '\n';
    return base::kExitFailed;
  }
  if (const auto problem = logview::ownListProblem(open.list, content)) {
    err << "pvtool list: " << *problem << '\n';
    return base::kExitUsage;
  }
  open.rows = logview::parseRows(logview::listBody(content));
  return std::nullopt;
}

}  // namespace

int runListWith(const Args& args, std::ostream& out, std::ostream& err, std::time_t now,
                std::istream* terminal) {
  if (std::find_if(args.begin(), args.end(),
                   [](const std::string& a) { return a == "-h" || a == "--help"; }) != args.end()) {
    out << kListHelp;
    return base::kExitOk;
  }
  std::string problem;
  const std::optional<ListOptions> options = parseOptions(args, problem);
  if (!options) return usage(err, problem);
  const std::string& command = options->command;
  OpenList open{options->list,
                options->list.has_parent_path() ? options->list.parent_path() : fs::path("."),
                logview::ListFiles::forList(options->list),
                {},
                {}};
  if (const std::optional<int> status = openList(open, err)) return *status;
  const bool deletes = command == "delete" || command == "delete-all";
  if (deletes && !terminal && !options->yes) {
    err << "pvtool list: " << command
        << " deletes calls: answer its questions on a terminal, or give --yes\n";
    return base::kExitUsage;
  }
  CommandLinePrompt prompt(err, options->yes ? nullptr : terminal);
  if (command == "sort-port" || command == "sort-duration") {
    if (!options->rest.empty()) return usage(err, "unexpected '" + options->rest[0] + "'");
    return runSort(
        open.files,
        command == "sort-port" ? logview::ListOrder::kByPort : logview::ListOrder::kByDuration, out,
        err);
  }
  if (command == "search") {
    logview::ImmediateListEditor editor(open.folder, open.list);
    return runSearch(open.files, options->rest, now, out, err, prompt, editor);
  }
  return runChange(*options, open, prompt, out, err);
}

int runList(const Args& args, std::ostream& out, std::ostream& err) {
  return runListWith(args, out, err, std::time(nullptr),
                     ::isatty(STDIN_FILENO) != 0 ? &std::cin : nullptr);
}

}  // namespace parvolin::tools
