// pvtool status: a running recorder's lines, counters, free space and problems, from its control
// socket.

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <iostream>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <thread>

#include "base/clock.h"
#include "base/exit_status.h"
#include "base/program_text.h"
#include "control/client.h"
#include "control/protocol.h"
#include "control/socket_path.h"
#include "control/status.h"
#include "tools/command_line.h"
#include "tools/pvtool_commands.h"
#include "tools/pvtool_status.h"

namespace parvolin::tools {

constinit const std::string_view kStatusHelp =
    "usage: pvtool status [--folder DIR] [--watch] [--json]\n"
    "  Shows what a running recorder shows: its units, the 16 lines' two texts, the logged\n"
    "  items and space against their limits, the free space of the recording folder's disk and\n"
    "  its recent problems. The recorder is the one recording into DIR; without --folder, the\n"
    "  only recorder of this user or of the service.\n"
    "  --watch  shows it again every second, in place (with --json: one line per change)\n"
    "  --json   as JSON, the status object of the control protocol\n";

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

struct StatusOptions {
  std::optional<fs::path> folder;
  bool watch = false;
  bool asJson = false;
  bool help = false;
};

// The options, or nothing with `problem` set.
[[nodiscard]] std::optional<StatusOptions> parseOptions(const Args& args, std::string& problem) {
  StatusOptions options;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "-h" || a == "--help") {
      options.help = true;
      return options;
    }
    if (a == "--folder") {
      if (++i == args.size()) {
        problem = "--folder needs a folder";
        return std::nullopt;
      }
      options.folder = fs::path(args[i]);
    } else if (a == "--watch") {
      options.watch = true;
    } else if (a == "--json") {
      options.asJson = true;
    } else {
      problem = "unexpected '" + a + "'";
      return std::nullopt;
    }
  }
  return options;
}

std::string bytesText(std::uint64_t bytes) {
  char text[32];
  if (bytes >= (1ULL << 30)) {
    std::snprintf(text, sizeof text, "%.1f GB", double(bytes) / double(1ULL << 30));
  } else {
    std::snprintf(text, sizeof text, "%.1f MB", double(bytes) / double(1ULL << 20));
  }
  return text;
}

// The sockets of the recorders this user may reach: its own, and the service's.
std::vector<fs::path> candidateSockets() {
  std::vector<fs::path> folders;
  if (const auto own = control::runtimeFolder()) folders.push_back(*own);
  folders.emplace_back("/run/parvolin");
  std::vector<fs::path> sockets;
  for (const fs::path& folder : folders) {
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
      const std::string name = entry.path().filename().string();
      if (name.starts_with("parvolin-") && name.ends_with(".sock") && entry.is_socket(error)) {
        sockets.push_back(entry.path());
      }
    }
  }
  return sockets;
}

[[nodiscard]] std::optional<control::ControlClient> findRecorder(
    const std::optional<fs::path>& folder, std::ostream& err) {
  std::string why;
  if (folder) {
    auto client = control::connectToRecorder(*folder, why);
    if (!client) err << "pvtool status: " << base::printable(why) << '\n';
    return client;
  }
  std::vector<control::ControlClient> found;
  for (const fs::path& socket : candidateSockets()) {
    control::ControlClient client;
    if (client.connect(socket)) found.push_back(std::move(client));
  }
  if (found.size() == 1) return std::move(found.front());
  if (found.empty()) {
    err << "pvtool status: no running recorder found; name its recording folder with --folder\n";
  } else {
    err << "pvtool status: " << found.size()
        << " recorders are running; name the recording folder of one with --folder\n";
  }
  return std::nullopt;
}

[[nodiscard]] std::optional<json> askStatus(control::ControlClient& recorder, int id,
                                            std::ostream& err) {
  if (!recorder.send(json{{"v", control::kProtocolVersion}, {"id", id}, {"cmd", "status"}})) {
    err << "pvtool status: " << recorder.error() << '\n';
    return std::nullopt;
  }
  auto answer = recorder.answerTo(id, std::chrono::seconds(10));
  if (!answer || !answer->value("ok", false) || !answer->contains("status")) {
    err << "pvtool status: "
        << (answer ? base::printable(answer->dump()) : base::printable(recorder.error())) << '\n';
    return std::nullopt;
  }
  return answer->at("status");
}

}  // namespace

std::string statusText(const control::StatusSnapshot& s) {
  std::string text = "Recorder " + base::printable(s.version) + ", running since " +
                     base::localTimeText(s.startedAt, base::kDateAndTimeFormat) + "\n";
  text += "Folder: " + base::printable(s.folder) + "\n";
  text += "Units:";
  for (std::size_t u = 0; u < s.units.size(); ++u) {
    text += "  " + std::to_string(u + 1) + " " +
            (s.units[u].present  ? "present"
             : s.units[u].listed ? "lost"
                                 : "none");
  }
  text += "\n";
  const int shown = s.visibleLines > 0 ? s.visibleLines : int(s.lines.size());
  for (int p = 0; p < shown && p < int(s.lines.size()); ++p) {
    const control::LineStatus& line = s.lines[std::size_t(p)];
    // The window's two lines on one: the caption's line break becomes a blank.
    std::string detail = line.detail;
    std::replace(detail.begin(), detail.end(), '\n', ' ');
    std::string status = base::printable(line.status);
    if (status.size() < 30) status.resize(30, ' ');
    text += std::string(line.inCall ? "* " : "  ") + status + "  " + base::printable(detail) + "\n";
  }
  text +=
      base::printable(s.capacity.itemsText) + "  " + base::printable(s.capacity.spaceText) + "\n";
  text += "Free space: " +
          (!s.capacity.freeText.empty() ? base::printable(s.capacity.freeText)
           : s.freeBytes                ? bytesText(*s.freeBytes)
                                        : std::string("unknown")) +
          "\n";
  if (s.problems.empty()) {
    text += "No problems\n";
  } else {
    text += "Problems:\n";
    for (const control::ProblemStatus& p : s.problems) {
      text += "  " + base::localTimeText(p.wallSeconds, base::kTimeOfDayFormat) + "  " +
              base::printable(p.text);
      if (p.count > 1) text += " (" + std::to_string(p.count) + " times)";
      text += "\n";
    }
  }
  return text;
}

namespace {

// --watch --json: the recorder's status events, a line each, until it ends; the exit status.
int watchJson(control::ControlClient& recorder, std::ostream& out, std::ostream& err) {
  if (!recorder.send(json{{"v", control::kProtocolVersion}, {"id", 1}, {"cmd", "watch"}})) {
    err << "pvtool status: " << recorder.error() << '\n';
    return base::kExitFailed;
  }
  for (;;) {
    auto message = recorder.receive(std::chrono::hours(24));
    if (!message) {
      if (recorder.timedOut()) continue;
      err << "pvtool status: " << recorder.error() << '\n';
      return base::kExitFailed;
    }
    if (message->value("event", std::string()) == "status" && message->contains("status")) {
      out << control::encodeLine(message->at("status")) << std::flush;
    } else if (!message->value("ok", true)) {
      err << "pvtool status: " << base::printable(message->dump()) << '\n';
      return base::kExitFailed;
    }
  }
}

// The status once, or every second in place with --watch; the exit status.
int showStatus(control::ControlClient& recorder, const StatusOptions& options, std::ostream& out,
               std::ostream& err) {
  for (int id = 1;; ++id) {
    const auto status = askStatus(recorder, id, err);
    if (!status) return base::kExitFailed;
    if (options.asJson) {
      out << control::encodeLine(*status);
    } else {
      const auto snapshot = control::statusFromJson(*status);
      if (!snapshot) {
        err << "pvtool status: the recorder's status is not understood\n";
        return base::kExitFailed;
      }
      // In place: the cursor home, the screen below it cleared.
      if (options.watch) out << "\x1b[H\x1b[J";
      out << statusText(*snapshot);
    }
    out << std::flush;
    if (!options.watch) return base::kExitOk;
    std::this_thread::sleep_for(std::chrono::seconds(1));
  }
}

}  // namespace

int runStatus(const Args& args, std::ostream& out, std::ostream& err) {
  std::string problem;
  const std::optional<StatusOptions> options = parseOptions(args, problem);
  if (!options) return usageError(err, "status", kStatusHelp, problem);
  if (options->help) {
    out << kStatusHelp;
    return base::kExitOk;
  }
  auto recorder = findRecorder(options->folder, err);
  if (!recorder) return base::kExitFailed;
  if (options->watch && options->asJson) return watchJson(*recorder, out, err);
  return showStatus(*recorder, *options, out, err);
}

}  // namespace parvolin::tools
