// pvtool batch-wav LIST [--dava 1|2]: the file manager's batch conversion of a list's calls.

#include <algorithm>
#include <optional>
#include <ostream>
#include <string>

#include <unistd.h>

#include "base/exit_status.h"
#include "base/file_io.h"
#include "base/program_text.h"
#include "logview/batch_wave.h"
#include "logview/list_files.h"
#include "tools/command_line.h"
#include "tools/folder_access.h"
#include "tools/pvtool_list.h"

namespace parvolin::tools {

constinit const std::string_view kBatchWavHelp =
    "usage: pvtool batch-wav LIST [--dava 1|2]\n"
    "  Converts every recorded call of LIST (an HTML call list, or a search result) into an\n"
    "  8-bit PCM WAV file in a new folder WaveFolder00 to WaveFolder99 next to LIST, named\n"
    "  after the call (\"P5 06-03-06 14=05=09 In 5551234 .WAV\").\n"
    "  --dava 1|2  digital volume adjustment L1 (Less) or L2 (Deep)\n";
namespace {

namespace fs = std::filesystem;

int usage(std::ostream& err, const std::string& problem) {
  return usageError(err, "batch-wav", kBatchWavHelp, problem);
}

struct BatchWavOptions {
  fs::path list;
  int davaLevel = 0;
};

// The options, or nothing with `problem` set.
[[nodiscard]] std::optional<BatchWavOptions> parseOptions(const Args& args, std::string& problem) {
  BatchWavOptions options;
  std::optional<fs::path> list;
  for (std::size_t i = 0; i < args.size() && problem.empty(); ++i) {
    const std::string& a = args[i];
    if (a == "--dava") {
      if (++i == args.size()) {
        problem = "--dava needs a level (1 or 2)";
      } else if (args[i] != "1" && args[i] != "2") {
        problem = "--dava level must be 1 or 2, not '" + args[i] + "'";
      } else {
        options.davaLevel = args[i][0] - '0';
      }
    } else if (!a.empty() && a[0] == '-') {
      problem = "unknown option '" + a + "'";
    } else if (list) {
      problem = "one list at a time";
    } else {
      list = fs::path(a);
    }
  }
  if (problem.empty() && !list) problem = "no list named";
  if (!problem.empty()) return std::nullopt;
  options.list = *list;
  return options;
}

// What the conversion wrote and what it left out; the exit status.
int reportBatch(const logview::BatchResult& result, const fs::path& batchFolder, std::ostream& out,
                std::ostream& err) {
  // Names are made of the list's texts: shown escaped.
  for (const std::string& name : result.written) {
    out << base::printable((batchFolder / name).string()) << '\n';
  }
  if (result.status == logview::BatchResult::Status::kNoMemory) {
    err << "pvtool batch-wav: " << logview::kBatchNoMemory << '\n';
  }
  for (const std::string& name : result.missing) {
    err << "pvtool batch-wav: " << base::printable(name) << ": recording not found, left out\n";
  }
  for (const std::string& line : result.failed) {
    err << "pvtool batch-wav: " << base::printable(line) << '\n';
  }
  err << "pvtool batch-wav: " << result.written.size() << " WAV files in " << batchFolder.string()
      << '\n';
  const bool complete = result.status == logview::BatchResult::Status::kDone &&
                        result.missing.empty() && result.failed.empty();
  return complete ? base::kExitOk : base::kExitFailed;
}

}  // namespace

int runBatchWavWith(const Args& args, std::ostream& out, std::ostream& err, bool terminal) {
  if (std::find_if(args.begin(), args.end(),
                   [](const std::string& a) { return a == "-h" || a == "--help"; }) != args.end()) {
    out << kBatchWavHelp;
    return base::kExitOk;
  }
  std::string problem;
  const std::optional<BatchWavOptions> options = parseOptions(args, problem);
  if (!options) return usage(err, problem);
  const fs::path& list = options->list;
  const fs::path folder = list.has_parent_path() ? list.parent_path() : fs::path(".");
  // Beside a running recorder too: it reads the list and writes only a new WaveFolder.
  const FolderAccess access = accessFolder(folder, "batch-wav", err);
  if (!access.usable) return base::kExitFailed;
  std::string content;
  if (const std::error_code error = base::readWholeFile(list, content)) {
    err << "pvtool batch-wav: " << base::describeFailure(list, "read", error) << '\n';
    return base::kExitFailed;
  }
  if (const auto notList = logview::notListProblem(list, content)) {
    err << "pvtool batch-wav: " << *notList << '\n';
    return base::kExitUsage;
  }
  const auto batchFolder = logview::makeBatchFolder(folder);
  if (!batchFolder) {
    err << "pvtool batch-wav: " << logview::noBatchFolderMessage(folder) << '\n';
    return base::kExitFailed;
  }
  const logview::BatchResult result =
      logview::convertBatch(content, folder, *batchFolder, options->davaLevel,
                            [&](std::size_t done, std::size_t total, std::string_view name) {
                              if (terminal)
                                err << "\x1b[K[" << done << "/" << total << "] " << name << '\r';
                              return true;
                            });
  if (terminal) err << "\x1b[K";
  return reportBatch(result, *batchFolder, out, err);
}

int runBatchWav(const Args& args, std::ostream& out, std::ostream& err) {
  return runBatchWavWith(args, out, err, ::isatty(STDERR_FILENO) != 0);
}

}  // namespace parvolin::tools
