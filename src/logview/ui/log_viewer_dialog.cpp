#include "logview/ui/log_viewer_dialog.h"

#include <QScrollBar>
#include <QShowEvent>
#include <QTextBrowser>
#include <QUrl>

#include "base/file_io.h"
#include "logview/list_order.h"
#include "logview/ui/file_manager_dialog.h"
#include "logview/ui/logview_colors.h"
#include "widgets/ui/dialog_units.h"
#include "widgets/ui/hover_button.h"

namespace parvolin::logview::ui {

using widgets::colorFromColorRef;
using widgets::HoverButton;
using widgets::placeInDialogUnits;

LogViewerDialog::LogViewerDialog(std::filesystem::path list,
                                 const engine::RecorderSettings& settings, ListEditSubmitter& edits,
                                 base::Prompt& prompt, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      files_(ListFiles::forList(list)),
      settings_(settings),
      edits_(edits),
      prompt_(prompt) {
  setWindowTitle(QString());
  createControls();
  connectSignals();
  setFixedSize(widgets::dialogUnitSize(this, 380, 210));
}

LogViewerDialog::~LogViewerDialog() = default;

void LogViewerDialog::createControls() {
  view_ = new QTextBrowser(this);
  view_->setOpenLinks(false);  // a "Play" link opens its recording, never a page in the view
  placeInDialogUnits(view_, 7, 5, 366, 165);
  struct Button {
    const char* text;
    int x;
    int width;
  };
  const Button buttons[] = {{"List Refresh", 18, 59},
                            {"Sort by Port", 84, 59},
                            {"File Manager", 150, 64},
                            {"Sort by Duration", 221, 59},
                            {"View Port Activity", 287, 81}};
  for (const Button& b : buttons) {
    auto* button = new HoverButton(b.text, this);
    button->setAutoDefault(false);
    placeInDialogUnits(button, b.x, 183, b.width, 18);
  }
  button("View Port Activity")->setIcon(returnIcon(this));
}

void LogViewerDialog::styleButtons() {
  for (HoverButton* b : findChildren<HoverButton*>()) {
    const bool fileManager = b->text() == "File Manager";
    b->setTextColors(colorFromColorRef(kBlueText),
                     colorFromColorRef(fileManager ? kOrangeText : kGreenText));
  }
}

void LogViewerDialog::connectSignals() {
  connect(button("List Refresh"), &QPushButton::clicked, this, &LogViewerDialog::listRefresh);
  connect(button("Sort by Port"), &QPushButton::clicked, this, &LogViewerDialog::sortByPort);
  connect(button("File Manager"), &QPushButton::clicked, this, &LogViewerDialog::openFileManager);
  connect(button("Sort by Duration"), &QPushButton::clicked, this,
          &LogViewerDialog::sortByDuration);
  connect(button("View Port Activity"), &QPushButton::clicked, this, &LogViewerDialog::accept);
  connect(&refreshTimer_, &QTimer::timeout, this, &LogViewerDialog::listRefresh);
  connect(view_, &QTextBrowser::anchorClicked, this, &LogViewerDialog::onLinkClicked);
}

HoverButton* LogViewerDialog::button(const QString& text) const {
  for (HoverButton* b : findChildren<HoverButton*>()) {
    if (b->text() == text) return b;
  }
  return nullptr;
}

std::optional<int> LogViewerDialog::refreshPeriodMs() const {
  if (!refreshTimer_.isActive()) return std::nullopt;
  return refreshTimer_.interval();
}

void LogViewerDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  styleButtons();
  // Restoring a minimised viewer is no new showing: a sorted view stays.
  if (event->spontaneous()) return;
  // After the dialog's event loop runs, so that a refresh without a list can end it.
  QMetaObject::invokeMethod(this, &LogViewerDialog::listRefresh, Qt::QueuedConnection);
}

void LogViewerDialog::done(int result) {
  refreshTimer_.stop();
  closeViewer(files_);
  QDialog::done(result);
}

void LogViewerDialog::listRefresh() {
  if (!isVisible()) return;
  apply(refreshList(files_, settings_.bAutoRefresh != 0));
}

void LogViewerDialog::sortByPort() {
  apply(sortList(files_, ListOrder::kByPort));
}

void LogViewerDialog::sortByDuration() {
  apply(sortList(files_, ListOrder::kByDuration));
}

void LogViewerDialog::openFileManager() {
  // No refresh while the file manager works on the find file: one would delete the copy of
  // the list that its search and batch conversion read.
  refreshTimer_.stop();
  {
    FileManagerDialog fileManager(files_, settings_.davaLevel(), edits_, prompt_, this);
    fileManager.exec();
  }
  apply(afterFileManager(files_, settings_.bAutoRefresh != 0));
}

void LogViewerDialog::apply(const ViewerStep& step) {
  if (step.closeViewer) {
    accept();
    return;
  }
  if (step.show) showPage(*step.show);
  if (step.timer) {
    refreshTimer_.start(int(step.timer->count()));
  } else {
    refreshTimer_.stop();
  }
}

void LogViewerDialog::showPage(const std::filesystem::path& page) {
  std::string bytes;
  if (base::readWholeFile(page, bytes)) bytes.clear();
  const bool samePage = shown_ == page;
  if (samePage && bytes == shownBytes_) return;
  QScrollBar* scroll = view_->verticalScrollBar();
  const int position = samePage ? scroll->value() : 0;
  const std::string html = viewHtml(bytes);
  view_->setHtml(QString::fromUtf8(html.data(), qsizetype(html.size())));
  scroll->setValue(position);
  shown_ = page;
  shownBytes_ = std::move(bytes);
}

void LogViewerDialog::onLinkClicked(const QUrl& link) {
  if (const auto recording = recordingOfLink(link.toString(), files_.folder())) {
    openRecording_(*recording);
  }
}

}  // namespace parvolin::logview::ui
