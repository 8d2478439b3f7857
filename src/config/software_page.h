#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "base/prompt.h"
#include "config/configure_host.h"
#include "engine/recorder_settings.h"

namespace parvolin::config {

inline constexpr std::string_view kSoftwarePageTitle = "S/W Settings";
inline constexpr std::string_view kBrowseTitle =
    "Select a new folder for logger. A sub-folder named \"ZEruFolder\" will be produced "
    "automatically";
inline constexpr std::string_view kWavConflictText =
    "You selected .WAV recording mode which conflicts with the settings of Parvolin hardware.\n"
    "Please make sure all hardware audio mode(s) are changed to Mode 3 before you can set this "
    "recording file format,\n"
    "Now the recording format is kept as LV!";
inline constexpr std::string_view kFolderNotCreatedText =
    "Failed to create ZEruFolder sub-folder, Or the sub-folder exists already. Please confirm "
    "your setting and redo if necssary!";
// "Fail to locate the directory at: " followed by the folder.
std::string folderNotLocatedText(std::string_view folder);
// Another program holds the typed folder (`heldBy` names it); the recording stays in `kept`.
std::string folderHeldText(std::string_view heldBy, std::string_view kept);
// A folder typed on the page that cannot be recorded in (`reason`); the recording stays in
// `kept` and nothing is stored.
std::string folderRefusedText(std::string_view folder, std::string_view reason,
                              std::string_view kept);
// An HTML list name that would put the list outside the recording folder, or nowhere.
std::string htmlNameRefusedText(std::string_view refused, std::string_view kept);

// The values of the software page's controls.
struct SoftwareFields {
  bool davaLevel1 = false;      // "L1 (Less)"
  bool davaLevel2 = false;      // "L2 (Deep)"
  bool htmlList = false;        // "HTML"
  bool lvFormat = false;        // "LV"
  bool wavFormat = false;       // "WAV(8bitPCM)"
  bool keepShortCalls = false;  // "Save calls less than 8s"
  bool autoRefresh = false;     // "Auto Refresh"
  std::string folder;
  std::string htmlName;
  // The capacity entries: whole numbers; 0 leaves the stored limit as it is.
  std::int32_t capacityItems = 0;
  std::int32_t capacitySpaceMb = 0;

  bool operator==(const SoftwareFields&) const = default;
};

// What "OK" could not take as given; every case was shown to the user.
struct SoftwareOkOutcome {
  bool wavRefused = false;        // a unit's audio mode is not 3: LV was stored instead
  bool htmlNameRefused = false;   // the stored list name was kept
  bool folderNotCreated = false;  // the sub-folder could not be made (or existed already)
  bool folderNotLocated = false;  // the new folder could not be entered: the old one stays in use
  bool folderHeld = false;        // another program holds the new folder: the old one stays
  bool folderRefused = false;     // empty, or cannot be made or written: nothing at all was stored

  bool allTaken() const {
    return !wavRefused && !htmlNameRefused && !folderNotLocated && !folderHeld && !folderRefused;
  }
};

// The software settings page: the recorder's own settings as the page shows them, the rules of
// its check boxes, "Browse" and "OK". The values are those of the host's settings when the page
// is made. `host` and `prompt` outlive the page.
class SoftwarePage {
 public:
  SoftwarePage(ConfigureHost& host, base::Prompt& prompt);

  const SoftwareFields& fields() const { return fields_; }

  // The Dava levels: at most one is on; both may be off.
  void toggleDavaLevel1();
  void toggleDavaLevel2();
  // The file formats: exactly one is on.
  void toggleWavFormat();
  void toggleLvFormat();
  void toggleHtmlList() { fields_.htmlList = !fields_.htmlList; }
  void toggleKeepShortCalls() { fields_.keepShortCalls = !fields_.keepShortCalls; }

  // "Browse": the chosen folder, or the recording folder in use when nothing was chosen, with
  // "ZEruFolder" appended as browsedFolder does, becomes the page's folder.
  void browse(const std::optional<std::string>& chosen);

  // "OK": takes `controls` as the page's values and stores them, in this order: the flags
  // word (WAV refused while a unit's audio mode is not 3), the capacity limits that are not 0
  // and changed, the auto refresh flag, a changed list name, and a changed folder, which is
  // created and made the recording folder. Each setting is used at once and written to the
  // store. A changed folder that is empty or cannot be made or written in is refused first:
  // then nothing at all is stored. Messages go to the prompt.
  SoftwareOkOutcome ok(const SoftwareFields& controls);

 private:
  struct UsableFolder {
    std::filesystem::path folder;  // the typed folder with "ZEruFolder", made absolute
    bool created = false;          // it was made just now
  };
  // The typed folder, made when missing, when it can be recorded in; otherwise nothing, with
  // the reason shown.
  std::optional<UsableFolder> usableFolder(const std::string& typed);
  void storeFolder(const UsableFolder& folder, SoftwareOkOutcome& outcome);

  ConfigureHost& host_;
  base::Prompt& prompt_;
  SoftwareFields fields_;
};

// The values the page shows for `settings`: LV is on whenever WAV is off.
SoftwareFields softwareFieldsOf(const engine::RecorderSettings& settings);
// The settings flags word of the six check boxes.
std::uint32_t settingsFlagsOf(const SoftwareFields& fields);
// A list name that names a file in the recording folder: not empty, not "." or "..", without
// a path separator of any platform.
bool isUsableHtmlName(std::string_view name);

}  // namespace parvolin::config
