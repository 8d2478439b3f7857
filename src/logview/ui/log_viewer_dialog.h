#pragma once

#include <QDialog>
#include <QThread>
#include <QTimer>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/prompt.h"
#include "engine/recorder_settings.h"
#include "logview/list_edit_submitter.h"
#include "logview/list_table.h"
#include "logview/log_viewer_logic.h"
#include "logview/ui/recording_opener.h"

class QTableView;

namespace parvolin::widgets {
class HoverButton;
}

namespace parvolin::logview::ui {

class ListTableModel;

// The rows of kept calls that the recorder holds but has not yet written to the list, newest
// first, each as the list will hold it. Called on the window's thread at every refresh.
using PendingRowsSource = std::function<std::vector<std::string>()>;

// The log viewer: the HTML call list (or a sort's or search's result) in a view whose "Play"
// links open the recordings, refreshed on demand and by its timer, sorted by port or duration,
// and the way to the file manager. Opened modally by the main window; "View Port Activity"
// ends it. Pages are read on a thread of their own and shown as a table whose cells are made as
// they come into sight, so that a list of any length neither freezes the window nor scrolls
// slowly; a refresh reads the page again only when its file changed.
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
  // Where the rows of calls not yet in the list come from; shown above the list's own rows
  // (not above a sort's or search's result). None unless set.
  void setPendingRows(PendingRowsSource source) { pendingRows_ = std::move(source); }

  void done(int result) override;

  // For tests and the main window.
  QTableView* view() const { return view_; }
  ListTableModel* model() const { return model_; }
  // The page on screen; it changes once its rows have been read.
  const std::optional<std::filesystem::path>& shownPage() const { return shown_; }
  // How many times a page was read; an unchanged page is not read again.
  int pagesRead() const { return pagesRead_; }
  // Whether a page asked for is still being read.
  bool reading() const { return running_ > 0; }
  // The refresh timer's period; nullopt while it is stopped.
  std::optional<int> refreshPeriodMs() const;

 public slots:
  void listRefresh();
  void sortByPort();
  void sortByDuration();
  void openFileManager();
  // A "Play" link was followed: opens the recording when `link` is a plain file name.
  void openLink(const QString& link);

 protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void createControls();
  void styleButtons();
  void connectSignals();
  // What a step of the viewer's file protocol came to: the step, and the rows of the page it
  // shows unless they are on screen already.
  struct Outcome {
    ViewerStep step;
    std::shared_ptr<const ListTable> table;
  };
  // Runs `step` (the working files' part) and reads the page it shows, on the reader's thread,
  // in the order asked; then carries the outcome out here.
  void run(std::function<ViewerStep()> step);
  void carryOut(std::uint64_t generation, const Outcome& outcome);
  // Waits until the reader's thread is idle, and drops what it has not yet shown.
  void stopReading();
  QString linkAt(const QPoint& position) const;

  ListFiles files_;
  const engine::RecorderSettings& settings_;
  ListEditSubmitter& edits_;
  base::Prompt& prompt_;
  RecordingOpener openRecording_ = openRecordingOnDesktop;
  PendingRowsSource pendingRows_;

  QTableView* view_ = nullptr;
  ListTableModel* model_ = nullptr;
  widgets::HoverButton* listRefreshButton_ = nullptr;
  widgets::HoverButton* sortByPortButton_ = nullptr;
  widgets::HoverButton* fileManagerButton_ = nullptr;
  widgets::HoverButton* sortByDurationButton_ = nullptr;
  widgets::HoverButton* viewPortActivityButton_ = nullptr;
  QTimer refreshTimer_;
  std::optional<std::filesystem::path> shown_;
  int pagesRead_ = 0;

  // The page on screen as it was read: showing it again unchanged reads nothing.
  struct Read {
    std::filesystem::path page;
    FileStamp stamp;
    std::vector<std::string> pending;
  };
  std::optional<Read> read_;
  // Steps ask for the reader in turn; one asked for in an earlier generation is not shown.
  std::uint64_t generation_ = 0;
  int running_ = 0;
  QThread readerThread_;
  QObject* reader_ = nullptr;
};

}  // namespace parvolin::logview::ui
