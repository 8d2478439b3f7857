#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "settings/settings_store.h"

// The commands of pvtool. Each takes the arguments after its name, writes only to the two
// streams it is given (its output to `out`, its messages to `err`) and returns the process's exit
// status (base/exit_status.h).
namespace parvolin::tools {

using Args = std::vector<std::string>;

// What the program gives its commands.
struct ToolContext {
  // Opens the recorder's settings store: the file `config` names, or the user's own. Empty in a
  // build without one; a command that needs it then says so.
  std::function<std::unique_ptr<settings::SettingsStore>(
      const std::optional<std::filesystem::path>&)>
      openSettings;
};

struct ToolCommand {
  std::string_view name;
  std::string_view summary;  // one line for `pvtool --help`
  std::string_view help;     // the whole `pvtool NAME --help`, starting with its usage lines
  int (*run)(const Args& args, const ToolContext& context, std::ostream& out, std::ostream& err);
};

// Every command, in the order `pvtool --help` lists them.
std::span<const ToolCommand> toolCommands();

// pvtool's whole command line (the arguments after the program's name): `--help` and `--version`
// of pvtool and of every command (standard output, status 0), then the command. Problems with the
// command line go to `err` with status 2.
[[nodiscard]] int runPvtool(const Args& args, const ToolContext& context, std::ostream& out,
                            std::ostream& err);

extern const std::string_view kPvtoolHelp;

[[nodiscard]] int runUnits(const Args& args, std::ostream& out, std::ostream& err);
[[nodiscard]] int runReplay(const Args& args, std::ostream& out, std::ostream& err);
[[nodiscard]] int runCapture(const Args& args, std::ostream& out, std::ostream& err);
[[nodiscard]] int runLog(const Args& args, const ToolContext& context, std::ostream& out,
                         std::ostream& err);
[[nodiscard]] int runSim(const Args& args, std::ostream& out, std::ostream& err);
[[nodiscard]] int runConvert(const Args& args, std::ostream& out, std::ostream& err);
[[nodiscard]] int runList(const Args& args, std::ostream& out, std::ostream& err);
[[nodiscard]] int runBatchWav(const Args& args, std::ostream& out, std::ostream& err);
[[nodiscard]] int runSettings(const Args& args, const ToolContext& context, std::ostream& out,
                              std::ostream& err);
[[nodiscard]] int runUnitSettings(const Args& args, std::ostream& out, std::ostream& err);
[[nodiscard]] int runStatus(const Args& args, std::ostream& out, std::ostream& err);
[[nodiscard]] int runRecover(const Args& args, std::ostream& out, std::ostream& err);
[[nodiscard]] int runRetention(const Args& args, const ToolContext& context, std::ostream& out,
                               std::ostream& err);
[[nodiscard]] int runWebUser(const Args& args, std::ostream& out, std::ostream& err);
[[nodiscard]] int runAudit(const Args& args, std::ostream& out, std::ostream& err);

// The help texts of the commands, each kept beside its command.
extern const std::string_view kUnitsHelp;
extern const std::string_view kReplayHelp;
extern const std::string_view kCaptureHelp;
extern const std::string_view kLogHelp;
extern const std::string_view kSimHelp;
extern const std::string_view kConvertHelp;
extern const std::string_view kListHelp;
extern const std::string_view kBatchWavHelp;
extern const std::string_view kSettingsHelp;
extern const std::string_view kUnitSettingsHelp;
extern const std::string_view kStatusHelp;
extern const std::string_view kRecoverHelp;
extern const std::string_view kRetentionHelp;
extern const std::string_view kWebUserHelp;
extern const std::string_view kAuditHelp;

}  // namespace parvolin::tools
