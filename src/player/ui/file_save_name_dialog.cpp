#include "player/ui/file_save_name_dialog.h"

#include <QDir>
#include <QFileDialog>

namespace parvolin::player::ui {

namespace {

QString qstring(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

std::optional<std::filesystem::path> FileSaveNameDialog::askSaveName(
    std::string_view proposedStem) {
  QFileDialog dialog(parent_);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setDefaultSuffix(qstring(codec::kWavCopyExtension));
  dialog.setNameFilter(qstring(codec::kWavCopyFilter));
  dialog.setDirectory(QDir::currentPath());
  dialog.selectFile(qstring(proposedStem));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return std::filesystem::path(dialog.selectedFiles().front().toStdString());
}

}  // namespace parvolin::player::ui
