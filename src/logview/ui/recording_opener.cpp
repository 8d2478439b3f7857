#include "logview/ui/recording_opener.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

namespace parvolin::logview::ui {
namespace {

constexpr auto kPlayerProgram = "lvplayer";

}  // namespace

void openRecordingOnDesktop(const std::filesystem::path& recording) {
  const QString file = QString::fromStdString(recording.string());
  if (QDesktopServices::openUrl(QUrl::fromLocalFile(file))) return;
  const QString besideUs = QCoreApplication::applicationDirPath() + "/" + kPlayerProgram;
  const QString program = QFileInfo(besideUs).isExecutable() ? besideUs : QString(kPlayerProgram);
  QProcess::startDetached(program, {file});
}

std::optional<std::filesystem::path> recordingOfLink(const QString& link,
                                                     const std::filesystem::path& folder) {
  const QUrl url(link);
  if (!url.scheme().isEmpty() || !url.host().isEmpty()) return std::nullopt;
  const QString name = url.path();
  if (name.isEmpty() || name == "." || name == ".." || name.contains('/') || name.contains('\\')) {
    return std::nullopt;
  }
  return folder / name.toStdString();
}

}  // namespace parvolin::logview::ui
