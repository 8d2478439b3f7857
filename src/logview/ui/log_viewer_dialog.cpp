#include "logview/ui/log_viewer_dialog.h"

#include <QHeaderView>
#include <QLabel>
#include <QMouseEvent>
#include <QScrollBar>
#include <QShowEvent>
#include <QTableView>
#include <QVBoxLayout>

#include "logview/list_order.h"
#include "logview/ui/file_manager_dialog.h"
#include "logview/ui/list_table_model.h"
#include "logview/ui/logview_colors.h"
#include "widgets/ui/dialog_units.h"
#include "widgets/ui/hover_button.h"
#include "widgets/ui/qt_text.h"

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
  reader_ = new QObject;
  reader_->moveToThread(&readerThread_);
  readerThread_.start();
}

LogViewerDialog::~LogViewerDialog() {
  // A read still going on finishes first; its result, posted to this dialog, goes with it.
  readerThread_.quit();
  readerThread_.wait();
  delete reader_;
}

void LogViewerDialog::createControls() {
  // The page: its caption over the table of calls, on the page's white.
  auto* page = new QWidget(this);
  page->setObjectName("listPage");
  page->setAutoFillBackground(true);
  QPalette pagePalette = page->palette();
  pagePalette.setColor(QPalette::Window, Qt::white);
  page->setPalette(pagePalette);
  placeInDialogUnits(page, 7, 5, 366, 165);
  auto* layout = new QVBoxLayout(page);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->setSpacing(2);
  auto* caption = new QLabel(widgets::toQString(kListCaption), page);
  caption->setObjectName("listCaption");
  QFont bold = caption->font();
  bold.setBold(true);
  caption->setFont(bold);
  caption->setAlignment(Qt::AlignCenter);
  layout->addWidget(caption);

  model_ = new ListTableModel(this);
  view_ = new QTableView(page);
  view_->setModel(model_);
  view_->setItemDelegate(new ListRowDelegate(view_));
  view_->setSelectionMode(QAbstractItemView::NoSelection);
  view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  view_->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
  view_->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  view_->setWordWrap(false);
  view_->setSortingEnabled(false);  // the sort buttons order the list, never the header
  view_->setGridStyle(Qt::SolidLine);
  QPalette tablePalette = view_->palette();
  tablePalette.setColor(QPalette::Base, kListBackground);
  tablePalette.setColor(QPalette::Text, Qt::black);
  view_->setPalette(tablePalette);
  // Every row as high as one line, fixed: no row is ever measured, whatever the list's length.
  QHeaderView* rows = view_->verticalHeader();
  rows->hide();
  rows->setSectionResizeMode(QHeaderView::Fixed);
  rows->setDefaultSectionSize(view_->fontMetrics().height() + 6);
  QHeaderView* columns = view_->horizontalHeader();
  columns->setSectionsClickable(false);
  columns->setHighlightSections(false);
  columns->setStyleSheet(
      "QHeaderView::section { background-color: #00ffff; color: black; font-weight: bold;"
      " border: 1px solid #808080; padding: 1px 3px; }");
  QFont boldTable = view_->font();
  boldTable.setBold(true);
  const QFontMetrics cells(view_->font());
  const QFontMetrics heads(boldTable);
  const auto width = [&](const char* head, const char* widest) {
    return std::max(heads.horizontalAdvance(head), cells.horizontalAdvance(widest)) + 14;
  };
  const int widths[] = {width("Item", "99999"),
                        width("Port", "16"),
                        width("Type", "VAR"),
                        0,
                        width("Date/Time", "03-05-07 09:04:02"),
                        width("Duration", "Un-Answered 9")};
  for (int column = 0; column < kListColumnCount; ++column) {
    if (widths[column] == 0) continue;
    columns->setSectionResizeMode(column, QHeaderView::Fixed);
    columns->resizeSection(column, widths[column]);
  }
  columns->setSectionResizeMode(int(ListColumn::kText), QHeaderView::Stretch);
  view_->viewport()->setMouseTracking(true);
  view_->viewport()->installEventFilter(this);
  layout->addWidget(view_, 1);
  struct Button {
    HoverButton** button;
    const char* text;
    int x;
    int width;
  };
  const Button buttons[] = {{&listRefreshButton_, "List Refresh", 18, 59},
                            {&sortByPortButton_, "Sort by Port", 84, 59},
                            {&fileManagerButton_, "File Manager", 150, 64},
                            {&sortByDurationButton_, "Sort by Duration", 221, 59},
                            {&viewPortActivityButton_, "View Port Activity", 287, 81}};
  for (const Button& b : buttons) {
    *b.button = new HoverButton(b.text, this);
    (*b.button)->setAutoDefault(false);
    placeInDialogUnits(*b.button, b.x, 183, b.width, 18);
  }
  viewPortActivityButton_->setIcon(returnIcon(this));
}

void LogViewerDialog::styleButtons() {
  for (HoverButton* b : {listRefreshButton_, sortByPortButton_, fileManagerButton_,
                         sortByDurationButton_, viewPortActivityButton_}) {
    const bool fileManager = b == fileManagerButton_;
    b->setTextColors(colorFromColorRef(kBlueText),
                     colorFromColorRef(fileManager ? kOrangeText : kGreenText));
  }
}

void LogViewerDialog::connectSignals() {
  connect(listRefreshButton_, &QPushButton::clicked, this, &LogViewerDialog::listRefresh);
  connect(sortByPortButton_, &QPushButton::clicked, this, &LogViewerDialog::sortByPort);
  connect(fileManagerButton_, &QPushButton::clicked, this, &LogViewerDialog::openFileManager);
  connect(sortByDurationButton_, &QPushButton::clicked, this, &LogViewerDialog::sortByDuration);
  connect(viewPortActivityButton_, &QPushButton::clicked, this, &LogViewerDialog::accept);
  connect(&refreshTimer_, &QTimer::timeout, this, &LogViewerDialog::listRefresh);
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
  stopReading();
  closeViewer(files_);
  QDialog::done(result);
}

void LogViewerDialog::listRefresh() {
  if (!isVisible()) return;
  const bool autoRefresh = settings_.bAutoRefresh != 0;
  run([files = files_, autoRefresh] { return refreshList(files, autoRefresh); });
}

void LogViewerDialog::sortByPort() {
  refreshTimer_.stop();  // no refresh takes the find file away meanwhile
  run([files = files_] { return sortList(files, ListOrder::kByPort); });
}

void LogViewerDialog::sortByDuration() {
  refreshTimer_.stop();
  run([files = files_] { return sortList(files, ListOrder::kByDuration); });
}

void LogViewerDialog::openFileManager() {
  // No refresh while the file manager works on the find file: one would delete the copy of
  // the list that its search and batch conversion read.
  refreshTimer_.stop();
  stopReading();
  {
    FileManagerDialog fileManager(files_, settings_.davaLevel(), edits_, prompt_, this);
    fileManager.exec();
  }
  const bool autoRefresh = settings_.bAutoRefresh != 0;
  run([files = files_, autoRefresh] { return afterFileManager(files, autoRefresh); });
}

void LogViewerDialog::run(std::function<ViewerStep()> step) {
  std::vector<std::string> pending;
  if (pendingRows_) pending = pendingRows_();
  ++running_;
  QMetaObject::invokeMethod(
      reader_,
      [this, generation = generation_, step = std::move(step), pending = std::move(pending),
       read = read_, list = files_.list] {
        Outcome outcome{step(), nullptr};
        if (const auto& page = outcome.step.show) {
          // The recorder's rows not yet written belong to the list, not to a result.
          const std::vector<std::string> rows =
              *page == list ? pending : std::vector<std::string>();
          const bool unchanged =
              read && read->page == *page && read->stamp == stampOf(*page) && read->pending == rows;
          if (!unchanged) outcome.table = ListTable::load(*page, rows);
        }
        QMetaObject::invokeMethod(
            this, [this, generation, outcome] { carryOut(generation, outcome); },
            Qt::QueuedConnection);
      },
      Qt::QueuedConnection);
}

void LogViewerDialog::carryOut(std::uint64_t generation, const Outcome& outcome) {
  --running_;
  if (generation != generation_) return;
  const ViewerStep& step = outcome.step;
  if (step.closeViewer) {
    accept();
    return;
  }
  if (const std::shared_ptr<const ListTable>& table = outcome.table) {
    ++pagesRead_;
    read_ = Read{table->page(), table->stamp(), table->pending()};
    const bool samePage = shown_ == table->page();
    QScrollBar* scroll = view_->verticalScrollBar();
    const int position = samePage ? scroll->value() : 0;
    shown_ = table->page();
    model_->setTable(table);
    view_->doItemsLayout();
    scroll->setValue(position);
  }
  if (step.timer) {
    refreshTimer_.start(int(step.timer->count()));
  } else {
    refreshTimer_.stop();
  }
}

void LogViewerDialog::stopReading() {
  ++generation_;
  QMetaObject::invokeMethod(
      reader_, [] {}, Qt::BlockingQueuedConnection);
}

QString LogViewerDialog::linkAt(const QPoint& position) const {
  const QModelIndex index = view_->indexAt(position);
  if (!index.isValid() || !ListRowDelegate::linkRect(view_->visualRect(index), view_->font(), index)
                               .contains(position)) {
    return {};
  }
  return index.data(ListTableModel::kLinkRole).toString();
}

bool LogViewerDialog::eventFilter(QObject* watched, QEvent* event) {
  if (watched == view_->viewport()) {
    if (event->type() == QEvent::MouseMove) {
      const auto* move = static_cast<QMouseEvent*>(event);
      if (linkAt(move->position().toPoint()).isEmpty()) {
        view_->viewport()->unsetCursor();
      } else {
        view_->viewport()->setCursor(Qt::PointingHandCursor);
      }
    } else if (event->type() == QEvent::MouseButtonRelease) {
      const auto* release = static_cast<QMouseEvent*>(event);
      if (release->button() == Qt::LeftButton) {
        const QString link = linkAt(release->position().toPoint());
        if (!link.isEmpty()) openLink(link);
      }
    }
  }
  return QDialog::eventFilter(watched, event);
}

void LogViewerDialog::openLink(const QString& link) {
  if (const auto recording = recordingOfLink(link, files_.folder())) {
    openRecording_(*recording);
  }
}

}  // namespace parvolin::logview::ui
