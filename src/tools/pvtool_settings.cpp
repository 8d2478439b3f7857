// pvtool settings: the configuration dialog's software page without a window, for a recorder
// that runs as a service.

#include <algorithm>
#include <charconv>
#include <iomanip>
#include <ostream>
#include <string>
#include <vector>

#include "app/config_file.h"
#include "app/settings_io.h"
#include "base/exit_status.h"
#include "base/folder_lock.h"
#include "base/program_text.h"
#include "config/retention_page.h"
#include "config/software_page.h"
#include "config/store_host.h"
#include "engine/recorder_settings.h"
#include "tools/command_line.h"
#include "tools/pvtool_settings.h"
#include "tools/terminal_prompt.h"

namespace parvolin::tools {

constinit const std::string_view kSettingsHelp =
    "usage: pvtool settings [--config FILE] [NAME=VALUE...]\n"
    "Shows the recorder's software settings; with NAME=VALUE changes them as the Configure\n"
    "dialog's \"OK\" does, printing its messages. Names:\n"
    "  format=lv|wav            audio file format (WAV needs every unit in audio mode 3; the\n"
    "                           units are not asked here: the recorder checks at its start)\n"
    "  dava=0|1|2               digital volume adjustment for WAV: none, L1 (Less), L2 (Deep)\n"
    "  html=on|off              keep the HTML call list\n"
    "  html-name=NAME           its file name in the recording folder\n"
    "  short-calls=on|off       save calls less than 8 s\n"
    "  folder=PATH              recording folder (\"ZEruFolder\" is appended; created)\n"
    "  capacity-items=N         capacity limit in calls (0 leaves it)\n"
    "  capacity-space=N         capacity limit in megabytes (0 leaves it)\n"
    "  auto-refresh=on|off      the log viewer refreshes by itself\n"
    "  retention-days=N         keep calls for N days, 0 for ever (the oldest are deleted)\n"
    "  retention-at-limits=on|off  delete the oldest calls when the item or space limit is\n"
    "                           passed, down to 95 % of it\n"
    "  keep-free-mb=N           keep at least N megabytes free on the recording folder's disk\n"
    "                           by deleting the oldest calls (0: no margin)\n"
    "  Retention is off by default; a call whose text was edited is never deleted.\n"
    "--config FILE reads and writes that INI file instead of the user's settings: to show the\n"
    "settings it must exist; to change them its folder must exist. A folder, or a file that\n"
    "cannot be read (or written, for a change), is refused (exit 2), as by parvolin --config.\n";

namespace {

namespace fs = std::filesystem;
using config::SoftwareFields;
using config::SoftwarePage;

const std::string_view kUsage = kSettingsHelp;

// Who holds `folder` ("... is in use by process 1234 (parvolin); ..."), or empty when no
// program does. A recorder reads its settings only when it starts, so a change made under a
// running one would wait unseen and then surprise.
std::string folderHolder(const fs::path& folder) {
  const base::FolderClaim claim = base::claimFolder(folder, "pvtool");
  return claim.refused() ? claim.message : std::string();
}

std::optional<bool> parseSwitch(const std::string& value) {
  if (value == "on" || value == "1" || value == "yes") return true;
  if (value == "off" || value == "0" || value == "no") return false;
  return std::nullopt;
}

std::optional<std::int32_t> parseCount(const std::string& value) {
  std::int32_t n = 0;
  const char* end = value.data() + value.size();
  const auto [ptr, ec] = std::from_chars(value.data(), end, n);
  if (value.empty() || ec != std::errc() || ptr != end || n < 0) return std::nullopt;
  return n;
}

const char* onOff(bool on) {
  return on ? "on" : "off";
}

void printSettings(std::ostream& out, const SoftwareFields& f, const config::RetentionFields& r) {
  const auto row = [&out](const char* name) -> std::ostream& {
    // A name as long as the column still has a blank after it.
    return out << "  " << std::left << std::setw(16) << (std::string(name) + " ");
  };
  row("format") << (f.wavFormat ? "wav" : "lv") << '\n';
  row("dava") << (f.davaLevel1   ? "1 (L1, Less)"
                  : f.davaLevel2 ? "2 (L2, Deep)"
                                 : "0 (none)")
              << '\n';
  row("html") << onOff(f.htmlList) << '\n';
  row("html-name") << f.htmlName << '\n';
  row("short-calls") << onOff(f.keepShortCalls) << "   (save calls less than 8s)\n";
  row("folder") << (f.folder.empty() ? "(not set: the recorder makes ZEruFolder where it starts)"
                                     : f.folder)
                << '\n';
  row("capacity-items") << f.capacityItems << '\n';
  row("capacity-space") << f.capacitySpaceMb << " (MB)\n";
  row("auto-refresh") << onOff(f.autoRefresh) << '\n';
  row("retention-days") << r.days << (r.days == 0 ? " (for ever)" : " (days)") << '\n';
  row("retention-at-limits") << onOff(r.atLimits) << '\n';
  row("keep-free-mb") << r.keepFreeMb << (r.keepFreeMb == 0 ? " (no margin)" : " (MB)") << '\n';
}

// Applies one NAME=VALUE to the page: the check boxes through their rules, the entries as typed.
// False, with `error` set, for an unknown name or a bad value.
[[nodiscard]] bool applyChange(SoftwarePage& page, SoftwareFields& entries,
                               config::RetentionFields& retention, const std::string& arg,
                               std::string& error) {
  const std::size_t eq = arg.find('=');
  if (eq == std::string::npos) return error = "'" + arg + "' is not NAME=VALUE", false;
  const std::string name = arg.substr(0, eq);
  const std::string value = arg.substr(eq + 1);
  const SoftwareFields& now = page.fields();
  const auto bad = [&](const char* expected) {
    error = name + " needs " + expected + ", not '" + value + "'";
    return false;
  };
  if (name == "format") {
    if (value != "lv" && value != "wav") return bad("lv or wav");
    if (now.wavFormat != (value == "wav")) page.toggleWavFormat();
  } else if (name == "dava") {
    if (value != "0" && value != "1" && value != "2") return bad("0, 1 or 2");
    if (value == "1" && !now.davaLevel1) page.toggleDavaLevel1();
    if (value == "2" && !now.davaLevel2) page.toggleDavaLevel2();
    if (value == "0" && now.davaLevel1) page.toggleDavaLevel1();
    if (value == "0" && now.davaLevel2) page.toggleDavaLevel2();
  } else if (name == "html" || name == "short-calls" || name == "auto-refresh") {
    const std::optional<bool> on = parseSwitch(value);
    if (!on) return bad("on or off");
    if (name == "html" && now.htmlList != *on) page.toggleHtmlList();
    if (name == "short-calls" && now.keepShortCalls != *on) page.toggleKeepShortCalls();
    if (name == "auto-refresh") entries.autoRefresh = *on;
  } else if (name == "html-name") {
    entries.htmlName = value;
  } else if (name == "folder") {
    entries.folder = value;
  } else if (name == "capacity-items" || name == "capacity-space") {
    const std::optional<std::int32_t> n = parseCount(value);
    if (!n) return bad("a whole number");
    (name == "capacity-items" ? entries.capacityItems : entries.capacitySpaceMb) = *n;
  } else if (name == "retention-days" || name == "keep-free-mb") {
    const std::optional<std::int32_t> n = parseCount(value);
    if (!n) return bad("a whole number");
    (name == "retention-days" ? retention.days : retention.keepFreeMb) = *n;
  } else if (name == "retention-at-limits") {
    const std::optional<bool> on = parseSwitch(value);
    if (!on) return bad("on or off");
    retention.atLimits = *on;
  } else {
    error = "unknown setting '" + name + "'";
    return false;
  }
  return true;
}

struct SettingsOptions {
  std::optional<fs::path> configFile;
  Args changes;  // NAME=VALUE
};

// The options, or nothing with `problem` set.
[[nodiscard]] std::optional<SettingsOptions> parseOptions(const Args& args, std::string& problem) {
  SettingsOptions options;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--config" && i + 1 < args.size()) {
      options.configFile = args[++i];
    } else if (a.rfind("--config=", 0) == 0 && a.size() > 9) {
      options.configFile = a.substr(9);
    } else if (a.rfind("--", 0) == 0) {
      problem = "unknown option '" + a + "'";
      return std::nullopt;
    } else {
      options.changes.push_back(a);
    }
  }
  return options;
}

// The settings as the recorder would read them from `store`, nothing written.
engine::RecorderSettings storedSettings(settings::SettingsStore& store,
                                        app::WorkingFolder& workingFolder) {
  app::SettingsLoad load;
  load.workingDirectory = workingFolder.current();
  load.writes = app::DefaultWrites::None;
  load.folder = app::DefaultFolder::LeaveAlone;
  engine::RecorderSettings settings = app::loadRecorderSettings(store, load);
  // Without a stored folder the recorder makes one where it starts, not where pvtool runs.
  if (store.getStringOr(engine::settingSpec(engine::Setting::kParvolinPath).name, "").empty()) {
    settings.parvolinPath.clear();
  }
  return settings;
}

// The changes given to the page as its "OK" takes them; the exit status.
int changeSettings(SoftwarePage& page, config::RetentionPage& retentionPage,
                   const config::StoreHost& host, const Args& changes, const fs::path& folder,
                   std::ostream& out, std::ostream& err) {
  SoftwareFields entries = page.fields();
  config::RetentionFields retention = retentionPage.fields();
  for (const std::string& change : changes) {
    std::string error;
    if (!applyChange(page, entries, retention, change, error)) {
      return usageError(err, "settings", kUsage, error);
    }
  }
  if (const auto problem = config::retentionFieldsProblem(retention)) {
    err << "pvtool settings: " << *problem << '\n';
    return base::kExitUsage;
  }
  if (const std::string holder = folder.empty() ? std::string() : folderHolder(folder);
      !holder.empty()) {
    err << "pvtool settings: " << holder
        << ".\nA recorder reads its settings when it starts: change them in its Configure "
           "dialog, or stop it first.\n";
    return base::kExitFailed;
  }
  SoftwareFields controls = page.fields();  // the check boxes, after their rules
  controls.autoRefresh = entries.autoRefresh;
  controls.htmlName = entries.htmlName;
  controls.folder = entries.folder;
  controls.capacityItems = entries.capacityItems;
  controls.capacitySpaceMb = entries.capacitySpaceMb;
  const config::SoftwareOkOutcome outcome = page.ok(controls);
  const bool retentionTaken = !outcome.folderRefused && !retentionPage.ok(retention);
  out << "Settings now:\n";
  printSettings(out, config::softwareFieldsOf(host.settings()),
                config::retentionFieldsOf(host.settings()));
  return outcome.allTaken() && retentionTaken ? base::kExitOk : base::kExitFailed;
}

}  // namespace

int runSettingsWith(const Args& args, const SettingsCommandServices& services) {
  std::ostream& out = services.out;
  std::ostream& err = services.err;
  if (std::find_if(args.begin(), args.end(),
                   [](const std::string& a) { return a == "--help" || a == "-h"; }) != args.end()) {
    out << kUsage;
    return base::kExitOk;
  }
  std::string problem;
  const std::optional<SettingsOptions> options = parseOptions(args, problem);
  if (!options) return usageError(err, "settings", kUsage, problem);
  if (options->configFile) {
    const app::ConfigUse use =
        options->changes.empty() ? app::ConfigUse::kRead : app::ConfigUse::kWrite;
    if (const auto configProblem = app::configFileProblem(*options->configFile, use)) {
      err << "pvtool settings: --config: " << base::printable(*configProblem) << '\n';
      return base::kExitUsage;
    }
  }
  std::unique_ptr<settings::SettingsStore> store = services.openStore(options->configFile);
  const engine::RecorderSettings settings = storedSettings(*store, services.workingFolder);
  config::StoreHost host(*store, settings, services.workingFolder);
  TerminalPrompt prompt(out);
  SoftwarePage page(host, prompt);
  config::RetentionPage retentionPage(host);
  if (options->changes.empty()) {
    out << "Settings:\n";
    printSettings(out, page.fields(), retentionPage.fields());
    return base::kExitOk;
  }
  return changeSettings(page, retentionPage, host, options->changes, settings.parvolinPath, out,
                        err);
}

// pvtool settings [--config FILE] [NAME=VALUE...]: the settings of the store the program opens,
// on the terminal.
int runSettings(const Args& args, const ToolContext& context, std::ostream& out,
                std::ostream& err) {
  if (!context.openSettings) {
    err << "pvtool settings: this pvtool was built without the recorder's settings store\n";
    return base::kExitFailed;
  }
  app::ProcessWorkingFolder workingFolder;
  return runSettingsWith(args, {context.openSettings, workingFolder, out, err});
}

}  // namespace parvolin::tools
