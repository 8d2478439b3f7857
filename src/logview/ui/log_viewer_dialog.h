#pragma once

#include <QDialog>
#include <QTimer>

#include <filesystem>
#include <optional>
#include <string>

#include "base/prompt.h"
#include "engine/recorder_settings.h"
#include "logview/list_edit_submitter.h"
#include "logview/log_viewer_logic.h"
#include "logview/ui/recording_opener.h"

class QTextBrowser;
class QUrl;

namespace parvolin::widgets {
class HoverButton;
}

namespace parvolin::logview::ui {

// The log viewer: the HTML call list (or a sort's or search's result) in a view whose "Play"
// links open the recordings, refreshed on demand and by its timer, sorted by port or duration,
// and the way to the file manager. Opened modally by the main window; "View Port Activity"
// ends it.
class LogViewerDialog : public QDialog {
  Q_OBJECT

 public:
  // `list` is the HTML call list; `settings` (read at every refresh: automatic refresh, the
  // batch's Dava level), `edits` and `prompt` must outlive the dialog.
  LogViewerDialog(std::filesystem::path list, const engine::RecorderSettings& settings,
                  ListEditSubmitter& edits, base::Prompt& prompt, QWidget* parent = nullptr);
  ~LogViewerDialog() override;

  // How "Play" links open a recording; the desktop's way unless replaced.
  void setRecordingOpener(RecordingOpener opener) { openRecording_ = std::move(opener); }

  void done(int result) override;

  // For tests and the main window.
  QTextBrowser* view() const { return view_; }
  const std::optional<std::filesystem::path>& shownPage() const { return shown_; }
  // The refresh timer's period; nullopt while it is stopped.
  std::optional<int> refreshPeriodMs() const;
  widgets::HoverButton* button(const QString& text) const;

 public slots:
  void listRefresh();
  void sortByPort();
  void sortByDuration();
  void openFileManager();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void createControls();
  void styleButtons();
  void connectSignals();
  void apply(const ViewerStep& step);
  void showPage(const std::filesystem::path& page);
  void onLinkClicked(const QUrl& link);

  ListFiles files_;
  const engine::RecorderSettings& settings_;
  ListEditSubmitter& edits_;
  base::Prompt& prompt_;
  RecordingOpener openRecording_ = openRecordingOnDesktop;

  QTextBrowser* view_ = nullptr;
  QTimer refreshTimer_;
  std::optional<std::filesystem::path> shown_;
  std::string shownBytes_;  // what the view shows, so that an unchanged list is not re-laid
};

}  // namespace parvolin::logview::ui
