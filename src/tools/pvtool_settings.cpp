// pvtool settings: the configuration dialog's software page without a window, for a recorder
// that runs as a service.

#include <charconv>
#include <iomanip>
#include <iostream>
#include <string>
#include <vector>

#include "app/config_file.h"
#include "app/settings_io.h"
#include "base/folder_lock.h"
#include "base/program_text.h"
#include "config/retention_page.h"
#include "config/software_page.h"
#include "config/store_host.h"
#include "engine/recorder_settings.h"
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
  const base::FolderLock lock = base::FolderLock::acquire(folder, "pvtool");
  return lock.status() == base::FolderLock::Status::kBusy ? lock.describe() : std::string();
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
bool applyChange(SoftwarePage& page, SoftwareFields& entries, config::RetentionFields& retention,
                 const std::string& arg, std::string& error) {
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

}  // namespace

int runSettingsWith(const Args& arguments, const SettingsCommandServices& services) {
  std::ostream& out = services.out;
  std::ostream& err = services.err;
  std::optional<fs::path> configFile;
  Args changes;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& a = arguments[i];
    if (a == "--help" || a == "-h") {
      out << kUsage;
      return 0;
    } else if (a == "--config" && i + 1 < arguments.size()) {
      configFile = arguments[++i];
    } else if (a.rfind("--config=", 0) == 0 && a.size() > 9) {
      configFile = a.substr(9);
    } else if (a.rfind("--", 0) == 0) {
      err << "pvtool settings: unknown option '" << a << "'\n" << kUsage;
      return 2;
    } else {
      changes.push_back(a);
    }
  }

  if (configFile) {
    const app::ConfigUse use = changes.empty() ? app::ConfigUse::kRead : app::ConfigUse::kWrite;
    if (const auto problem = app::configFileProblem(*configFile, use)) {
      err << "pvtool settings: --config: " << base::printable(*problem) << '\n';
      return 2;
    }
  }
  std::unique_ptr<app::SettingsStore> store = services.openStore(configFile);
  app::SettingsLoad load;
  load.workingDirectory = services.workingFolder.current();
  load.writes = app::DefaultWrites::None;
  load.folder = app::DefaultFolder::LeaveAlone;
  engine::RecorderSettings settings = app::loadRecorderSettings(*store, load);
  // Without a stored folder the recorder makes one where it starts, not where pvtool runs.
  if (store->getStringOr(engine::settingSpec(engine::Setting::kParvolinPath).name, "").empty()) {
    settings.parvolinPath.clear();
  }

  config::StoreHost host(*store, settings, services.workingFolder);
  TerminalPrompt prompt(out);
  SoftwarePage page(host, prompt);
  config::RetentionPage retentionPage(host);
  if (changes.empty()) {
    out << "Settings:\n";
    printSettings(out, page.fields(), retentionPage.fields());
    return 0;
  }

  SoftwareFields entries = page.fields();
  config::RetentionFields retention = retentionPage.fields();
  for (const std::string& change : changes) {
    std::string error;
    if (!applyChange(page, entries, retention, change, error)) {
      err << "pvtool settings: " << error << "\n" << kUsage;
      return 2;
    }
  }
  if (const auto problem = config::retentionFieldsProblem(retention)) {
    err << "pvtool settings: " << *problem << '\n';
    return 2;
  }
  if (const std::string holder =
          settings.parvolinPath.empty() ? std::string() : folderHolder(settings.parvolinPath);
      !holder.empty()) {
    err << "pvtool settings: " << holder
        << ".\nA recorder reads its settings when it starts: change them in its Configure "
           "dialog, or stop it first.\n";
    return 1;
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
  return outcome.allTaken() && retentionTaken ? 0 : 1;
}

// pvtool settings [--config FILE] [NAME=VALUE...]: the settings of the store the program opens,
// on the terminal.
int runSettings(const Args& args, const ToolContext& context) {
  if (!context.openSettings) {
    std::cerr << "pvtool settings: this pvtool was built without the recorder's settings store\n";
    return 1;
  }
  app::ProcessWorkingFolder workingFolder;
  return runSettingsWith(args, {context.openSettings, workingFolder, std::cout, std::cerr});
}

}  // namespace parvolin::tools
