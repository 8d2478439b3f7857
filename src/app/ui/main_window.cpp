#include "app/ui/main_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QStyle>
#include <QSystemTrayIcon>

#include "app/main_window_layout.h"
#include "app/ui/about_box.h"
#include "app/ui/app_icons.h"
#include "config/recorder_host.h"
#include "config/ui/configure_dialog.h"
#include "logview/engine_list_edits.h"
#include "logview/ui/log_viewer_dialog.h"
#include "widgets/ui/dialog_units.h"
#include "widgets/ui/hover_button.h"
#include "widgets/ui/qt_text.h"

namespace parvolin::app::ui {
namespace {

constexpr int kExitIconPixels = 16;

Qt::Alignment alignmentOf(TextAlign align) {
  switch (align) {
    case TextAlign::Centre:
      return Qt::AlignHCenter | Qt::AlignVCenter;
    case TextAlign::Right:
      return Qt::AlignRight | Qt::AlignVCenter;
    case TextAlign::Left:
      break;
  }
  return Qt::AlignLeft | Qt::AlignVCenter;
}

}  // namespace

MainWindow::MainWindow(WindowServices services, MainWindowOptions options, QWidget* parent)
    : QDialog(parent),
      prompt_(this),
      laterPrompt_(this),
      recorderPrompt_(prompt_, this),
      recorderLaterPrompt_(laterPrompt_, this),
      tray_(options.trayAvailable),
      board_(services.clock) {
  setWindowTitle(widgets::toQString(kWindowTitle));
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);
  setWindowIcon(icons::program());
  QFont dialogFont = font();
  dialogFont.setPointSize(widgets::kFontPointSize);
  setFont(dialogFont);

  createControls();
  createButtons();
  createContextMenu();
  createTrayMenu();
  applyLayout(device::kMaxUnits);

  board_.setListener([this] { statusChanged(); });
  // Every tick on the recorder's thread: the control socket's edits handed in first, its status
  // published after.
  thread_ = std::make_unique<RecorderThread>(
      [this] {
        control_->beforeTick();
        recorder_->tick();
        control_->afterTick();
      },
      [this] { board_.publish(recorder_->status()); });
  recorder_ = std::make_unique<Recorder>(
      RecorderServices{services.d2xx, services.clock, services.store, problemTap_, problemTap_,
                       services.shell, services.workingFolder, noView_, *thread_,
                       &recorderLaterPrompt_, services.notifications},
      std::move(options.recorder));
  control_ = std::make_unique<RecorderControl>(*recorder_, services.clock);
  problemTap_.attach(control_.get());
}

MainWindow::~MainWindow() {
  apply(tray_.destroyed());
  // No tick runs once the thread ended; the socket's server then stops, and the Recorder writes
  // what it still holds (its problems no longer go to the socket's status).
  thread_->quit();
  problemTap_.attach(nullptr);
  control_.reset();
  recorder_.reset();
}

void MainWindow::createControls() {
  for (int port = 0; port < device::kMaxPorts; ++port) {
    auto* status = new QLabel(this);
    status->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    status->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    controls_[control::kPortStatus[port]] = status;
    auto* detail = new QLabel(this);
    detail->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    detail->setIndent(2);
    controls_[control::kPortDetail[port]] = detail;
  }
  controls_[control::kItemsLabel] = new QLabel(this);
  controls_[control::kSpaceLabel] = new QLabel(this);
  for (const int id : {control::kItemsBar, control::kSpaceBar}) {
    auto* bar = new QProgressBar(this);
    bar->setTextVisible(false);
    bar->setRange(0, 1);
    bar->setValue(0);
    controls_[id] = bar;
  }
  for (const auto& ids : {control::kItemsScale, control::kSpaceScale}) {
    for (std::size_t i = 0; i < ids.size(); ++i) {
      controls_[ids[i]] = new QLabel(widgets::toQString(kScaleTexts[i]), this);
    }
  }
  locationLine_ = new QLineEdit(this);
  locationLine_->setReadOnly(true);
  locationLine_->setFocusPolicy(Qt::ClickFocus);
  controls_[control::kLocationLine] = locationLine_;
  statusLine_ = new QLabel(this);
  statusLine_->setStyleSheet("color: #a40000");
  controls_[control::kStatusLine] = statusLine_;

  for (auto& [id, widget] : controls_) {
    if (auto* text = qobject_cast<QLabel*>(widget)) text->setTextFormat(Qt::PlainText);
    widget->setObjectName(QString("control%1").arg(id));
  }
}

void MainWindow::createButtons() {
  struct ButtonRow {
    int id;
    std::string_view text;
    unsigned hover;
    void (MainWindow::*slot)();
  };
  const ButtonRow rows[] = {
      {control::kConfigure, kConfigureText, kButtonHoverRed, &MainWindow::configure},
      {control::kViewLog, kViewLogText, kButtonHoverGreen, &MainWindow::viewLog},
      {control::kAbout, kAboutText, kButtonHoverGreen, &MainWindow::about},
      {control::kExit, kExitText, kButtonHoverRed, &MainWindow::exitButton}};
  for (const ButtonRow& row : rows) {
    auto* button = new widgets::HoverButton(widgets::toQString(row.text), this);
    button->setObjectName(QString("control%1").arg(row.id));
    button->setTextColors(widgets::colorFromColorRef(kButtonTextColor),
                          widgets::colorFromColorRef(row.hover));
    button->setFlat(false);
    button->setAutoFillBackground(true);
    connect(button, &QPushButton::clicked, this, row.slot);
    controls_[row.id] = button;
  }
  auto* exit = button(control::kExit);
  exit->setIcon(icons::exit());
  exit->setIconSize(QSize(kExitIconPixels, kExitIconPixels));
  exit->setDefault(true);
  // The Exit button comes first, as the dialog's control 1, and has the focus when it opens.
  setTabOrder(exit, button(control::kViewLog));
  setTabOrder(button(control::kViewLog), button(control::kConfigure));
  setTabOrder(button(control::kConfigure), button(control::kAbout));
  exit->setFocus();
}

void MainWindow::createContextMenu() {
  // The system menu's About entry, where a Linux desktop has no such menu.
  auto* aboutEntry = new QAction(QString::fromUtf8(kAboutEntryText), this);
  aboutEntry->setObjectName("aboutAction");
  connect(aboutEntry, &QAction::triggered, this, &MainWindow::about);
  addAction(aboutEntry);
  setContextMenuPolicy(Qt::ActionsContextMenu);
}

void MainWindow::createTrayMenu() {
  trayMenu_ = new QMenu(this);
  QAction* restore = trayMenu_->addAction(widgets::toQString(kTrayRestoreText));
  connect(restore, &QAction::triggered, this, &MainWindow::restoreFromTray);
  trayMenu_->setDefaultAction(restore);
  QAction* exit = trayMenu_->addAction(widgets::toQString(kTrayExitText));
  connect(exit, &QAction::triggered, this, &QDialog::reject);
}

void MainWindow::applyLayout(int visibleRows) {
  const MainWindowLayout layout = mainWindowLayout(widgets::DialogUnits(this).base(), visibleRows);
  for (const ControlPlace& place : layout.controls) {
    QWidget* widget = control(place.id);
    if (!widget) continue;
    widget->setGeometry(widgets::toQRect(place.rect));
    widget->setVisible(place.visible);
    if (auto* text = qobject_cast<QLabel*>(widget); text && place.align != TextAlign::Left) {
      text->setAlignment(alignmentOf(place.align));
    }
  }
  setFixedSize(layout.width, layout.height);
  layoutRows_ = visibleRows;
}

QWidget* MainWindow::control(int id) const {
  const auto at = controls_.find(id);
  return at == controls_.end() ? nullptr : at->second;
}

QLabel* MainWindow::label(int id) const {
  return qobject_cast<QLabel*>(control(id));
}

widgets::HoverButton* MainWindow::button(int id) const {
  return qobject_cast<widgets::HoverButton*>(control(id));
}

QProgressBar* MainWindow::bar(int id) const {
  return qobject_cast<QProgressBar*>(control(id));
}

// --- The run -------------------------------------------------------------------------------------

bool MainWindow::startRecorder() {
  // Before the recorder's thread has run anything: its messages are this thread's modal boxes.
  const bool started = recorder_->start();
  board_.publish(recorder_->status());
  return started;
}

RecorderSession::OpenResult MainWindow::openRecorder(bool minimized) {
  const RecorderSession::OpenResult result = thread_->call([this] {
    const RecorderSession::OpenResult opened = recorder_->open();
    if (opened == RecorderSession::OpenResult::Running) {
      if (const auto problem = control_->listen()) problemTap_.report(*problem);
      control_->publish();
    }
    return opened;
  });
  // The messages of a failed step, shown before the window as the opening raised them.
  QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
  repaintStatus();
  applyLayout(board_.snapshot().visibleRows);
  if (minimized) {
    if (tray_.trayAvailable()) {
      apply(tray_.minimised());
    } else {
      showMinimized();
    }
  } else {
    show();
  }
  return result;
}

void MainWindow::exitButton() {
  // The question is this thread's; the recorder polls on while it is open.
  const RecorderStatus now = board_.snapshot();
  if ((now.asksBeforeExit || now.somethingUnwritten) &&
      !static_cast<base::Prompt&>(prompt_).askYesNo(now.exitQuestion, /*safeAnswer=*/false)) {
    return;
  }
  control_->stop();
  thread_->call([this] { recorder_->exit(RecorderSession::ExitQuestion::DontAsk); });
  accept();
}

void MainWindow::exitWithoutQuestion() {
  control_->stop();
  thread_->call([this] { recorder_->exit(RecorderSession::ExitQuestion::DontAsk); });
  apply(tray_.destroyed());
}

void MainWindow::closeEvent(QCloseEvent* event) {
  // A dialog that is not visible ignores its close; in the tray it must end all the same.
  if (!isVisible()) {
    reject();
    event->accept();
    return;
  }
  QDialog::closeEvent(event);
}

void MainWindow::reject() {
  // One stray key must not cut the calls in progress short: the shown window asks first.
  const RecorderStatus now = board_.snapshot();
  if (isVisible() && !now.exited && now.callInProgress) {
    if (!prompt_.askYesNo(now.exitQuestion, /*safeAnswer=*/false, base::PromptIcon::Question)) {
      return;
    }
    thread_->call([this] { recorder_->exit(RecorderSession::ExitQuestion::DontAsk); });
  }
  QDialog::reject();
}

void MainWindow::done(int result) {
  apply(tray_.destroyed());
  QDialog::done(result);
}

// --- The other buttons ---------------------------------------------------------------------------

int MainWindow::runConfigurationDialog() {
  config::RecorderHost host(*recorder_, thread_.get());
  config::ui::ConfigureDialog dialog(host, nullptr, this);
  return dialog.exec();
}

void MainWindow::configure() {
  runConfigurationDialog();
  // Whatever the dialog's result: the folder or the limits may have changed.
  thread_->call([this] { recorder_->refreshAfterConfigure(); });
  repaintStatus();
}

void MainWindow::viewLog() {
  // Edits go to the recorder's thread, which applies them at its next tick; the answer comes
  // back to this thread (the edits' state is this thread's alone, and outlives the dialog).
  logview::EngineListEdits edits(
      [this](engine::PendingListEdit edit, engine::Engine::ListEditDone done) {
        thread_->post([this, edit = std::move(edit), done = std::move(done)]() mutable {
          recorder_->requestListEdit(
              std::move(edit), [this, done](const engine::ListEditResult& result) {
                QMetaObject::invokeMethod(
                    this, [done, result] { done(result); }, Qt::QueuedConnection);
              });
        });
      });
  const RecorderStatus now = board_.snapshot();
  logview::ui::LogViewerDialog viewer(now.listPath, now.settings, edits, prompt_, this);
  viewer.setObjectName("logViewer");
  // The calls the recorder kept whose rows the list file does not hold yet (see
  // Recorder::rowsNotInList, safe from this thread).
  viewer.setPendingRows([this] { return recorder_->rowsNotInList(); });
  viewer.exec();
}

void MainWindow::about() {
  runAboutBox(this);
}

// --- Tray ----------------------------------------------------------------------------------------

void MainWindow::changeEvent(QEvent* event) {
  QDialog::changeEvent(event);
  if (event->type() != QEvent::WindowStateChange) return;
  if (isMinimized()) {
    apply(tray_.minimised());
  } else if (tray_.trayMinimised() && isVisible()) {
    // Restored by the desktop rather than from the tray.
    apply(tray_.restored());
  }
}

void MainWindow::restoreFromTray() {
  apply(tray_.restored());
}

void MainWindow::apply(const TrayState::Step& step) {
  if (step.createIcon) {
    trayIcon_ = new QSystemTrayIcon(icons::tray(), this);
    trayIcon_->setToolTip(widgets::toQString(kTrayToolTip));
    trayIcon_->setContextMenu(trayMenu_);
    connect(trayIcon_, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
              if (reason == QSystemTrayIcon::DoubleClick) restoreFromTray();
            });
    trayIcon_->show();
    diskShown_ = engine::DiskSpace::kEnough;
    showDiskSpace(board_.snapshot().diskSpace);
  }
  if (step.removeIcon && trayIcon_) {
    trayIcon_->hide();
    trayIcon_->deleteLater();
    trayIcon_ = nullptr;
  }
  // Hidden once the minimise has run to its end (a minimise of Qt's own shows the window last).
  if (step.hideWindow) {
    QMetaObject::invokeMethod(
        this,
        [this] {
          if (tray_.trayMinimised()) hide();
        },
        Qt::QueuedConnection);
  }
  if (step.showWindow) {
    showNormal();
    raise();
    activateWindow();
  }
}

// --- What the recorder shows ---------------------------------------------------------------------

void MainWindow::statusChanged() {
  if (repaintQueued_.exchange(true)) return;
  QMetaObject::invokeMethod(
      this,
      [this] {
        repaintQueued_ = false;
        repaintStatus();
      },
      Qt::QueuedConnection);
}

void MainWindow::repaintStatus() {
  const RecorderStatus status = board_.snapshot();
  // A unit plugged in after the opening: the window grows to show its ports.
  if (status.visibleRows > layoutRows_) applyLayout(status.visibleRows);
  for (int port = 0; port < device::kMaxPorts; ++port) {
    // QLabel leaves an unchanged text alone.
    label(control::kPortStatus[port])
        ->setText(widgets::toQString(status.statusText[std::size_t(port)]));
    label(control::kPortDetail[port])
        ->setText(widgets::toQString(status.detailText[std::size_t(port)]));
  }
  const engine::CapacityDisplay& capacity = status.capacity;
  // Nothing counted yet (before the opening): the bars keep their empty range.
  if (!capacity.itemsText.empty()) {
    label(control::kItemsLabel)->setText(widgets::toQString(capacity.itemsText));
    // The free space of the disk beside the space figure, where the label has room for it.
    QLabel* space = label(control::kSpaceLabel);
    const QString withFree = widgets::toQString(capacity.spaceText + ", " + capacity.freeText);
    const bool fits = !capacity.freeText.empty() &&
                      space->fontMetrics().horizontalAdvance(withFree) <= space->width();
    space->setText(fits ? withFree : widgets::toQString(capacity.spaceText));
    space->setToolTip(widgets::toQString(capacity.freeText));
    const struct {
      int id;
      BarSetting setting;
    } bars[] = {{control::kItemsBar, barSetting(capacity.itemsRangeEnd, capacity.itemsPosition)},
                {control::kSpaceBar, barSetting(capacity.spaceRangeEnd, capacity.spacePosition)}};
    for (const auto& b : bars) {
      bar(b.id)->setRange(0, b.setting.maximum);
      bar(b.id)->setValue(b.setting.value);
    }
  }
  showLocation(status.locationLine);
  showDiskSpace(status.diskSpace);
  const QString latest = QString::fromStdString(status.latestProblem);
  statusLine_->setText(
      statusLine_->fontMetrics().elidedText(latest, Qt::ElideRight, statusLine_->width()));
  statusLine_->setToolTip(QString::fromStdString(status.problems));
}

void MainWindow::showDiskSpace(engine::DiskSpace space) {
  if (space == diskShown_ || !trayIcon_) {
    diskShown_ = space;
    return;
  }
  diskShown_ = space;
  const std::string_view text = diskTrayText(space);
  trayIcon_->setIcon(text.empty() ? icons::tray()
                                  : style()->standardIcon(QStyle::SP_MessageBoxWarning));
  trayIcon_->setToolTip(widgets::toQString(text.empty() ? kTrayToolTip : text));
  if (!text.empty()) {
    trayIcon_->showMessage(widgets::toQString(kTrayToolTip), widgets::toQString(text),
                           QSystemTrayIcon::Warning);
  }
}

void MainWindow::showLocation(const std::string& locationLine) {
  const QString line = widgets::toQString(locationLine);
  if (line == locationLine_->text()) return;
  locationLine_->setText(line);
  // A line too long for its box shows its end, the folder, and the whole line as a tooltip.
  const bool fits = locationLine_->fontMetrics().horizontalAdvance(line) <=
                    locationLine_->contentsRect().width() - 8;
  locationLine_->setCursorPosition(fits ? 0 : int(line.size()));
  locationLine_->setToolTip(fits ? QString() : line.trimmed());
}

}  // namespace parvolin::app::ui
