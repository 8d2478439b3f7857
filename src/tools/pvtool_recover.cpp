// pvtool recover: a recording folder put right after a recorder died without its exit.

#include "tools/pvtool_recover.h"

#include <chrono>
#include <cstdio>
#include <iostream>
#include <optional>
#include <string_view>
#include <vector>

#include "base/exit_status.h"
#include "base/folder_lock.h"
#include "base/program_text.h"
#include "logview/folder_recovery.h"
#include "tools/command_line.h"
#include "tools/pvtool_list.h"

namespace parvolin::tools {

constinit const std::string_view kRecoverHelp =
    "usage: pvtool recover FOLDER [--dry-run] [--rebuild-list] [--list NAME] [--wav]\n"
    "  Puts a recording folder right after the recorder was killed or the power failed (the\n"
    "  recorder does the same when it starts): calls of the call log whose rows never reached\n"
    "  the list get them back; recordings with neither a record nor a row get both, rebuilt from\n"
    "  the file's name and length, with the text \"recovered\"; a torn last record of the call\n"
    "  log is cut. Rows whose recording is gone are named and left as they are.\n"
    "  --dry-run       tells what would be done and changes nothing\n"
    "  --rebuild-list  makes the list again from the call log and the recordings; the list that\n"
    "                  was there is kept beside it as NAME-before-rebuild.htm (never replaced),\n"
    "                  and the texts edited in it carry over\n"
    "  --list NAME     the list's file name in FOLDER (default ZEruTestNew.htm)\n"
    "  --wav           rows name a recording that is not found as a WAV file, as a recorder\n"
    "                  set to record WAV does\n";

namespace {

// The command line into `options`; a problem with it, or nothing.
std::optional<std::string> parseRecoverArgs(const Args& args, RecoverOptions& options) {
  bool haveFolder = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--dry-run") {
      options.dryRun = true;
    } else if (a == "--rebuild-list") {
      options.rebuildList = true;
    } else if (a == "--wav") {
      options.wavFormat = true;
    } else if (a == "--list") {
      if (i + 1 == args.size()) return "--list needs a file name";
      options.listName = args[++i];
      if (!engine::isUsableListName(options.listName)) {
        return "--list takes a list's file name in the folder, without a folder of its own";
      }
    } else if (a.starts_with("-") && a != "-") {
      return "unknown option '" + base::printable(a) + "'";
    } else if (haveFolder) {
      return "one FOLDER only";
    } else {
      options.folder = a;
      haveFolder = true;
    }
  }
  if (!haveFolder) return "FOLDER is missing";
  return std::nullopt;
}

}  // namespace

int runRecover(const Args& args, std::ostream& out, std::ostream& err) {
  RecoverOptions options;
  if (const auto problem = parseRecoverArgs(args, options))
    return usageError(err, "recover", kRecoverHelp, *problem);
  std::error_code error;
  if (!std::filesystem::is_directory(options.folder, error)) {
    err << "pvtool recover: " << base::printable(options.folder.string()) << ": not a folder\n";
    return base::kExitFailed;
  }
  // No recorder may write while the folder is put right: its calls going on would look like
  // calls of a run that died.
  const base::FolderClaim claim = base::claimFolder(options.folder, "pvtool recover");
  if (!claim.message.empty()) err << "pvtool recover: " << claim.message << '\n';
  if (claim.refused()) return base::kExitFailed;

  logview::RecoveryOptions recovery;
  recovery.listName = options.listName;
  recovery.wavFormat = options.wavFormat;
  recovery.dryRun = options.dryRun;
  recovery.rebuildList = options.rebuildList;
  const auto began = std::chrono::steady_clock::now();
  const logview::RecoveryReport report = logview::recoverFolder(options.folder, recovery);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();

  // The lines end with the problems, which go to the error stream.
  const std::vector<std::string> lines = logview::recoveryLines(report);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    (i + report.problems.size() < lines.size() ? out : err) << base::printable(lines[i]) << '\n';
  }
  char timing[64];
  std::snprintf(timing, sizeof timing, " (%.2f s)", seconds);
  if (!report.anythingFound()) {
    out << "nothing to recover" << timing << '\n';
  } else {
    out << (options.dryRun ? "dry run, nothing changed: " : "") << logview::recoverySummary(report)
        << timing << '\n';
  }
  if (!report.problems.empty()) return base::kExitFailed;
  if (report.listDamaged && !report.listRebuilt) return base::kExitIncomplete;
  return base::kExitOk;
}

}  // namespace parvolin::tools
