#include "config/software_page.h"

#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "codec/lv_format.h"
#include "config/folder_rules.h"

namespace parvolin::config {
namespace {

using engine::Setting;

bool everyUnitInMode3(const ConfigureHost& host) {
  for (int unit = 0; unit < device::kMaxUnits; ++unit) {
    if (host.audioMode(unit) != codec::kModeLog8) return false;
  }
  return true;
}

}  // namespace

std::string folderNotLocatedText(std::string_view folder) {
  return "Fail to locate the directory at: " + std::string(folder);
}

std::string folderHeldText(std::string_view heldBy, std::string_view kept) {
  return std::string(heldBy) + ".\nThe recording folder stays " + std::string(kept) + ".";
}

std::string folderRefusedText(std::string_view folder, std::string_view reason,
                              std::string_view kept) {
  return "The recording folder \"" + std::string(folder) +
         "\" cannot be used: " + std::string(reason) +
         ".\nNothing was changed; the recording folder stays " + std::string(kept) + ".";
}

std::string htmlNameRefusedText(std::string_view refused, std::string_view kept) {
  return "The HTML file name \"" + std::string(refused) +
         "\" cannot be used: the list is a file in the recorder folder, so its name may be "
         "neither empty nor hold \"/\" or \"\\\".\nThe list keeps its name \"" +
         std::string(kept) + "\".";
}

SoftwareFields softwareFieldsOf(const engine::RecorderSettings& settings) {
  SoftwareFields f;
  f.davaLevel1 = settings.has(engine::kDavaLevel1);
  f.davaLevel2 = settings.has(engine::kDavaLevel2);
  f.htmlList = settings.has(engine::kHtmlListOn);
  f.wavFormat = settings.has(engine::kWavFormat);
  f.lvFormat = settings.has(engine::kLvFormat) || !f.wavFormat;
  f.keepShortCalls = settings.has(engine::kKeepShortCalls);
  f.autoRefresh = settings.bAutoRefresh != 0;
  f.folder = settings.parvolinPath;
  f.htmlName = settings.lvLogHtmlName;
  f.capacityItems = settings.itemLimit;
  f.capacitySpaceMb = settings.spaceLimit;
  return f;
}

std::uint32_t settingsFlagsOf(const SoftwareFields& f) {
  return (f.davaLevel1 ? engine::kDavaLevel1 : 0) | (f.davaLevel2 ? engine::kDavaLevel2 : 0) |
         (f.htmlList ? engine::kHtmlListOn : 0) | (f.keepShortCalls ? engine::kKeepShortCalls : 0) |
         (f.wavFormat ? engine::kWavFormat : 0) | (f.lvFormat ? engine::kLvFormat : 0);
}

bool isUsableHtmlName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of("/\\") == std::string_view::npos;
}

SoftwarePage::SoftwarePage(ConfigureHost& host, base::Prompt& prompt)
    : host_(host), prompt_(prompt), fields_(softwareFieldsOf(host.settings())) {}

void SoftwarePage::toggleDavaLevel1() {
  fields_.davaLevel1 = !fields_.davaLevel1;
  if (fields_.davaLevel1) fields_.davaLevel2 = false;
}

void SoftwarePage::toggleDavaLevel2() {
  fields_.davaLevel2 = !fields_.davaLevel2;
  if (fields_.davaLevel2) fields_.davaLevel1 = false;
}

void SoftwarePage::toggleWavFormat() {
  fields_.wavFormat = !fields_.wavFormat;
  fields_.lvFormat = !fields_.wavFormat;
}

void SoftwarePage::toggleLvFormat() {
  fields_.lvFormat = !fields_.lvFormat;
  fields_.wavFormat = !fields_.lvFormat;
}

void SoftwarePage::browse(const std::optional<std::string>& chosen) {
  fields_.folder = browsedFolder(chosen ? *chosen : host_.settings().parvolinPath);
}

SoftwareOkOutcome SoftwarePage::ok(const SoftwareFields& controls) {
  fields_ = controls;
  SoftwareOkOutcome outcome;
  // A folder that cannot be recorded in is refused before anything is stored: the user sees
  // why, and every setting stays as it was.
  std::optional<UsableFolder> newFolder;
  if (fields_.folder != host_.settings().parvolinPath) {
    newFolder = usableFolder(fields_.folder);
    if (!newFolder) {
      outcome.folderRefused = true;
      fields_.folder = host_.settings().parvolinPath;
      return outcome;
    }
  }
  if (fields_.wavFormat && !everyUnitInMode3(host_)) {
    prompt_.message(kWavConflictText);
    fields_.wavFormat = false;
    fields_.lvFormat = true;
    outcome.wavRefused = true;
  }

  engine::RecorderSettings changed = host_.settings();
  changed.parvolinSetting = settingsFlagsOf(fields_);
  host_.storeSetting(changed, Setting::kParvolinSetting);

  // Only a limit above 0 is taken: 0 means "leave it" (a negative limit cannot be entered).
  if (fields_.capacityItems > 0 && fields_.capacityItems != changed.itemLimit) {
    changed.itemLimit = fields_.capacityItems;
    host_.storeSetting(changed, Setting::kItemLimit);
  }
  if (fields_.capacitySpaceMb > 0 && fields_.capacitySpaceMb != changed.spaceLimit) {
    changed.spaceLimit = fields_.capacitySpaceMb;
    host_.storeSetting(changed, Setting::kSpaceLimit);
  }

  changed.bAutoRefresh = fields_.autoRefresh ? 1 : 0;
  host_.storeSetting(changed, Setting::kAutoRefresh);

  if (fields_.htmlName != changed.lvLogHtmlName) {
    if (isUsableHtmlName(fields_.htmlName)) {
      changed.lvLogHtmlName = fields_.htmlName;
      host_.storeSetting(changed, Setting::kLvLogHtmlName);
    } else {
      // An empty name or one with a separator would put the list nowhere or outside the
      // recording folder, where the log viewer and the capacity count never look.
      prompt_.message(htmlNameRefusedText(fields_.htmlName, changed.lvLogHtmlName));
      fields_.htmlName = changed.lvLogHtmlName;
      outcome.htmlNameRefused = true;
    }
  }

  if (newFolder) storeFolder(*newFolder, outcome);
  return outcome;
}

std::optional<SoftwarePage::UsableFolder> SoftwarePage::usableFolder(const std::string& typed) {
  const std::string kept = host_.settings().parvolinPath.empty() ? host_.currentFolder().string()
                                                                 : host_.settings().parvolinPath;
  if (typed.find_first_not_of(" \t") == std::string::npos) {
    prompt_.message(folderRefusedText("", "no folder was given", kept));
    return std::nullopt;
  }
  std::filesystem::path folder(typedFolder(typed));
  // A relative folder is the one it names now, under the current directory; stored as it was
  // typed, the next start would take it under the directory the program starts in instead.
  if (folder.is_relative()) folder = host_.currentFolder() / folder;
  // With its parents, as entering it would make them.
  std::error_code error;
  const bool created = std::filesystem::create_directories(folder, error);
  if (error || !std::filesystem::is_directory(folder, error)) {
    const std::string reason = error ? error.message() : std::string("it is not a folder");
    prompt_.message(folderRefusedText(folder.string(), "it cannot be made: " + reason, kept));
    return std::nullopt;
  }
  if (::access(folder.c_str(), W_OK | X_OK) != 0) {
    const std::string reason = std::error_code(errno, std::generic_category()).message();
    prompt_.message(folderRefusedText(folder.string(), "it cannot be written: " + reason, kept));
    return std::nullopt;
  }
  return UsableFolder{folder, created};
}

void SoftwarePage::storeFolder(const UsableFolder& usable, SoftwareOkOutcome& outcome) {
  const std::filesystem::path& folder = usable.folder;
  engine::RecorderSettings changed = host_.settings();
  const engine::RecorderSettings before = changed;
  changed.parvolinPath = folder.string();
  fields_.folder = changed.parvolinPath;
  host_.storeSetting(changed, Setting::kParvolinPath);

  if (!usable.created) {
    prompt_.message(kFolderNotCreatedText);
    outcome.folderNotCreated = true;
  }
  const std::string kept =
      before.parvolinPath.empty() ? host_.currentFolder().string() : before.parvolinPath;
  const app::FolderChange change = host_.enterFolder(folder);
  switch (change.result) {
    case app::FolderChange::Result::kEntered:
      break;
    case app::FolderChange::Result::kNotLocated:
      // Nothing points at a folder that could not be entered.
      prompt_.message(folderNotLocatedText(changed.parvolinPath));
      host_.storeSetting(before, Setting::kParvolinPath);
      fields_.folder = before.parvolinPath;
      outcome.folderNotLocated = true;
      break;
    case app::FolderChange::Result::kHeld:
      // The folder in use stays the stored one, so that the next start does not run into the
      // other program either.
      prompt_.message(folderHeldText(change.heldBy, kept));
      host_.storeSetting(before, Setting::kParvolinPath);
      fields_.folder = before.parvolinPath;
      outcome.folderHeld = true;
      break;
  }
}

}  // namespace parvolin::config
