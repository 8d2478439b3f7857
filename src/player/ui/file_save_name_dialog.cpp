#include "player/ui/file_save_name_dialog.h"

#include <QDir>
#include <QFileDialog>

#include "widgets/ui/qt_text.h"

namespace parvolin::player::ui {

std::optional<std::filesystem::path> FileSaveNameDialog::askSaveName(
    std::string_view proposedStem) {
  QFileDialog dialog(parent_);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setDefaultSuffix(widgets::toQString(codec::kWavCopyExtension));
  dialog.setNameFilter(widgets::toQString(codec::kWavCopyFilter));
  dialog.setDirectory(QDir::currentPath());
  dialog.selectFile(widgets::toQString(proposedStem));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return std::filesystem::path(dialog.selectedFiles().front().toStdString());
}

}  // namespace parvolin::player::ui
