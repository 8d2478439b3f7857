// lvplayer FILE: plays one recording in a window of its own. The whole text after the program's
// name is the file's path. Exit status 0 after playing, 1 when the file could not be played
// (not found, not a recording, out of memory), 2 without a path.

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/exit_status.h"
#include "base/program_text.h"

#include "base/clock.h"
#include "engine/output_files.h"
#include "player/player_engine.h"
#include "player/recording_file.h"
#include "player/ui/file_save_name_dialog.h"
#include "player/ui/player_dialog.h"
#include "player/ui/player_icons.h"
#include "player/ui/qt_wave_output.h"
#include "widgets/ui/message_box_prompt.h"

namespace {

constexpr int kNotPlayed = parvolin::base::kExitFailed;
constexpr int kUsage = parvolin::base::kExitUsage;

constexpr const char* kHelp =
    "usage: lvplayer FILE.LV0|FILE.LV1|FILE.LV2|FILE.LV3\n"
    "       lvplayer --help | --version\n"
    "Plays one call recording in a small window: a position slider, Pause/Play, Stop, the two\n"
    "levels of the digital volume adjustment and \"Wave file conversion\", which saves the sound\n"
    "as an 8-bit WAV file. The whole text after the program's name is the path, blanks included\n"
    "(a file whose name is --help is ./--help). Without a sound device it plays silently on its\n"
    "clock.\n"
    "Exit status 0 after playing, 1 when the file could not be played, 2 without a path. The\n"
    "manual is lvplayer(1).\n";

// Plays `path` in the dialog; the exit status. Everything of the player, the sound output
// included, is closed when this returns.
int play(const std::string& path) {
  using namespace parvolin;
  widgets::MessageBoxPrompt prompt(nullptr, "LvPlayer");
  if (path.empty()) {
    prompt.message(player::kUsageText, base::PromptIcon::None);
    return kUsage;
  }
  auto file = player::RecordingFile::open(path);
  if (!file) return kNotPlayed;
  const auto mode = player::modeFromName(path);
  if (!mode) return kNotPlayed;

  base::SystemClock clock;
  player::ui::QtWaveOutput output(prompt);
  player::ui::FileSaveNameDialog saveDialog;
  player::PlayerOptions options;
  // The copy never takes the place of a recording, the call log or the list, as with pvtool
  // convert -o; the dialog has asked before replacing any other file.
  options.refuseSaveTarget = [](const std::filesystem::path& target) {
    return engine::outputFileProblem(target, engine::ExistingFile::kReplace);
  };
  player::ui::PlayerDialog dialog({clock, prompt, output, saveDialog, options});
  prompt.setParent(&dialog);
  saveDialog.setParent(&dialog);
  if (!dialog.start(std::move(*file), *mode, path)) return kNotPlayed;
  dialog.exec();
  return base::kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace parvolin;
  // Answered before Qt starts, so that they need no display.
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::fputs(kHelp, stdout);
    return base::kExitOk;
  }
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("%s\n", base::versionLine("lvplayer").c_str());
    return base::kExitOk;
  }
  // Taken before Qt removes the arguments it understands: all of it is the path.
  const std::string path = player::commandLinePath(argc, argv);
  QApplication app(argc, argv);
  QApplication::setApplicationName("LvPlayer");
  QApplication::setWindowIcon(player::ui::icons::program());
  const int status = play(path);
  // Qt's sound support drops its connection to the sound server at exit without holding the
  // lock of the thread that reads from that connection: a message the server sends at that
  // moment aborts the process after the sound was played in full. Nothing is left open here
  // that needs Qt's end, so the program ends at once.
  std::fflush(stdout);
  std::fflush(stderr);
  std::_Exit(status);
}
