// lvplayer FILE: plays one recording in a window of its own. The whole text after the program's
// name is the file's path. Exit status 0 after playing, 1 when the file could not be played
// (not found, not a recording, out of memory), 2 without a path.

#include <QApplication>
#include <string>

#include "base/clock.h"
#include "player/player_engine.h"
#include "player/recording_file.h"
#include "player/ui/file_save_name_dialog.h"
#include "player/ui/player_dialog.h"
#include "player/ui/player_icons.h"
#include "player/ui/qt_wave_output.h"
#include "widgets/ui/message_box_prompt.h"

namespace {

constexpr int kNotPlayed = 1;
constexpr int kUsage = 2;

}  // namespace

int main(int argc, char** argv) {
  using namespace parvolin;
  // Taken before Qt removes the arguments it understands: all of it is the path.
  const std::string path = player::commandLinePath(argc, argv);
  QApplication app(argc, argv);
  QApplication::setApplicationName("LvPlayer");
  QApplication::setWindowIcon(player::ui::icons::program());

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
  player::ui::PlayerDialog dialog({clock, prompt, output, saveDialog});
  prompt.setParent(&dialog);
  saveDialog.setParent(&dialog);
  if (!dialog.start(std::move(*file), *mode, path)) return kNotPlayed;
  dialog.exec();
  return 0;
}
