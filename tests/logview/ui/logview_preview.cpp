// Opens the log viewer on a list, for looking at it on a real desktop:
//   logview_preview FOLDER/ZEruTestNew.htm
// Edits of the file manager are applied to the list at once, as no recorder runs.
#include <QApplication>

#include <cstdio>
#include <filesystem>

#include "logview/list_edit_submitter.h"
#include "logview/ui/log_viewer_dialog.h"
#include "widgets/ui/message_box_prompt.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationDisplayName("Parvolin");
  if (argc != 2) {
    std::fprintf(stderr, "usage: logview_preview LIST\n");
    return 2;
  }
  const std::filesystem::path list = std::filesystem::absolute(argv[1]);
  parvolin::engine::RecorderSettings settings;
  parvolin::logview::ImmediateListEditor edits(list.parent_path(), list);
  parvolin::widgets::MessageBoxPrompt prompt(nullptr);
  parvolin::logview::ui::LogViewerDialog viewer(list, settings, edits, prompt);
  return viewer.exec() == QDialog::Accepted ? 0 : 1;
}
