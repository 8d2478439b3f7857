#include "app/ui/main_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <functional>
#include <map>
#include <thread>

#include "app/main_window_layout.h"
#include "app/recorder_session.h"
#include "app/shell.h"
#include "app/ui/about_box.h"
#include "app/working_folder.h"
#include "base/clock.h"
#include "codec/call_wav.h"
#include "engine/recorder_settings.h"
#include "settings/settings_store.h"
#include "sim/scenario.h"
#include "sim/sim_d2xx.h"
#include "support/test_files.h"
#include "widgets/ui/dialog_units.h"
#include "widgets/ui/hover_button.h"

namespace parvolin::app::ui {
namespace {

namespace fs = std::filesystem;

// A deadline for conditions, never a wait of its own: generous, for sanitizer builds on a busy
// machine.
constexpr int kWaitMs = 30'000;

// The recorder's window on emulated units that run on the wall clock, as the window's timer
// does: `units` idle units, or those of `scenario`.
struct WindowRun {
  test::TempFolder dir;
  base::SystemClock clock;
  std::unique_ptr<sim::SimD2xx> d2xx;
  settings::MemorySettingsStore store;
  RecordingShell shell;
  FakeWorkingFolder workingFolder{dir.path()};
  std::unique_ptr<MainWindow> window;

  explicit WindowRun(int units, bool trayAvailable = true, const std::string& scenario = {},
                     RecorderOptions options = {}) {
    if (scenario.empty()) {
      d2xx = std::make_unique<sim::SimD2xx>(clock);
      for (int u = 0; u < units; ++u) {
        sim::UnitConfig config;
        config.serial = "PV00" + std::to_string(u + 1);
        d2xx->addUnit(config);
      }
    } else {
      std::string error;
      const auto parsed = sim::parseScenario(scenario, "test", dir.path(), error);
      EXPECT_TRUE(parsed) << error;
      d2xx = std::make_unique<sim::SimD2xx>(*parsed, clock);
    }
    store.values["ParvolinPath"] = rec().string();
    window = std::make_unique<MainWindow>(WindowServices{*d2xx, clock, store, shell, workingFolder},
                                          MainWindowOptions{std::move(options), trayAvailable});
    EXPECT_TRUE(window->startRecorder());
  }
  fs::path rec() const { return dir / "rec"; }
  MainWindow& w() { return *window; }
  bool ticksGoOn(int more = 3) {
    const std::int64_t from = window->tickCount();
    return QTest::qWaitFor([&] { return window->tickCount() >= from + more; }, kWaitMs);
  }
};

// Runs `act` on the next modal window (a message box, a dialog) as soon as it is open, from
// within its own event loop.
void whenModal(std::function<void(QWidget*)> act) {
  auto* poll = new QTimer;
  QObject::connect(poll, &QTimer::timeout, [poll, act = std::move(act)] {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal) return;
    poll->stop();
    poll->deleteLater();
    act(modal);
  });
  poll->start(10);
}

void answer(QWidget* modal, QMessageBox::StandardButton button) {
  auto* box = qobject_cast<QMessageBox*>(modal);
  ASSERT_NE(box, nullptr);
  box->button(button)->click();
}

// For 0 to 4 units: the period, the rows kept and their lines, every control where the layout
// puts it for the window's font.
TEST(MainWindow, ShrinksToTheUnitsPresentAndPollsAtTheirPeriod) {
  struct Case {
    int units, period, rows;
  };
  for (const Case c :
       {Case{0, 500, 1}, Case{1, 35, 1}, Case{2, 35, 2}, Case{3, 50, 3}, Case{4, 65, 4}}) {
    WindowRun run(c.units);
    ASSERT_EQ(run.w().openRecorder(false), RecorderSession::OpenResult::Running);
    EXPECT_TRUE(run.w().pollTimer().isActive());
    EXPECT_EQ(run.w().pollTimer().periodMs(), c.period) << c.units;
    const MainWindowLayout layout = mainWindowLayout(widgets::DialogUnits(&run.w()).base(), c.rows);
    EXPECT_EQ(run.w().size(), QSize(layout.width, layout.height)) << c.units;
    for (const ControlPlace& place : layout.controls) {
      EXPECT_EQ(run.w().control(place.id)->geometry(), widgets::toQRect(place.rect)) << place.id;
      EXPECT_EQ(run.w().control(place.id)->isVisible(), place.visible) << place.id;
    }
    for (int port = 0; port < device::kMaxPorts; ++port) {
      const QString status = run.w().label(control::kPortStatus[port])->text();
      EXPECT_TRUE(status.endsWith(port < 4 * c.units ? "IDLE" : "NONE")) << status.toStdString();
    }
    EXPECT_TRUE(run.ticksGoOn(2));
  }
}

// The capacity the user set shows as the range of both counters, every text fits its control,
// and the location line shows the recording folder without letting it be typed over.
TEST(MainWindow, ShowsTheCapacityItWasGivenAndTheRecordingFolder) {
  WindowRun run(0);
  run.store.values["UItemNoLimitSetting"] = std::int32_t(300);
  run.store.values["USpaceLimitSetting"] = std::int32_t(40);
  // Made again, so that its start-up reads the limits.
  run.window = std::make_unique<MainWindow>(
      WindowServices{*run.d2xx, run.clock, run.store, run.shell, run.workingFolder},
      MainWindowOptions{});
  ASSERT_TRUE(run.w().startRecorder());
  run.w().openRecorder(false);
  EXPECT_TRUE(run.w().label(control::kItemsLabel)->text().contains("0 / 300"))
      << run.w().label(control::kItemsLabel)->text().toStdString();
  EXPECT_TRUE(run.w().label(control::kSpaceLabel)->text().contains("0 / 40"))
      << run.w().label(control::kSpaceLabel)->text().toStdString();
  EXPECT_EQ(run.w().bar(control::kItemsBar)->maximum(), 300);
  EXPECT_EQ(run.w().bar(control::kSpaceBar)->maximum(), 40);
  EXPECT_EQ(run.w().bar(control::kItemsBar)->value(), 0);
  // Every text fits its control in the window's font.
  for (const int id :
       {control::kItemsLabel, control::kSpaceLabel, 1045, 1046, 1047, control::kPortStatus[0]}) {
    const QLabel* l = run.w().label(id);
    EXPECT_LE(l->fontMetrics().horizontalAdvance(l->text()), l->contentsRect().width()) << id;
  }

  QLineEdit* location = run.w().locationLine();
  EXPECT_TRUE(location->isReadOnly());
  EXPECT_TRUE(location->text().trimmed().endsWith(QString::fromStdString(run.rec().string())))
      << location->text().toStdString();
}

// Under the pointer a button's caption changes colour and takes its own colour back when the
// pointer leaves; the two buttons that change things (Configure, Exit) light up alike, and
// unlike the two that only show something (View Log, About). Enter presses Exit.
TEST(MainWindow, ButtonsLightUpUnderThePointerTheHarmfulOnesAlike) {
  WindowRun run(1);
  run.w().openRecorder(false);
  std::map<int, QColor> lit;
  for (const int id : {control::kConfigure, control::kViewLog, control::kAbout, control::kExit}) {
    widgets::HoverButton* button = run.w().button(id);
    ASSERT_NE(button, nullptr) << id;
    EXPECT_FALSE(button->text().isEmpty()) << id;
    const QColor resting = button->textColor();
    QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), QPointF(2, 2));
    QApplication::sendEvent(button, &enter);
    lit[id] = button->textColor();
    EXPECT_NE(lit[id], resting) << id;
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(button, &leave);
    EXPECT_EQ(button->textColor(), resting) << id;
  }
  EXPECT_EQ(lit[control::kConfigure], lit[control::kExit]);
  EXPECT_EQ(lit[control::kViewLog], lit[control::kAbout]);
  EXPECT_NE(lit[control::kConfigure], lit[control::kViewLog]);
  EXPECT_TRUE(run.w().button(control::kExit)->isDefault());
  EXPECT_FALSE(run.w().button(control::kExit)->icon().isNull());
}

TEST(MainWindow, ALongFolderShowsItsEndAndTheWholeLineAsATip) {
  WindowRun run(0);
  const fs::path folder = run.dir / std::string(90, 'f');
  run.store.values["ParvolinPath"] = folder.string();
  // Made again, so that its start-up reads the folder.
  run.window = std::make_unique<MainWindow>(
      WindowServices{*run.d2xx, run.clock, run.store, run.shell, run.workingFolder},
      MainWindowOptions{});
  ASSERT_TRUE(run.w().startRecorder());
  run.w().openRecorder(false);
  QLineEdit* location = run.w().locationLine();
  EXPECT_TRUE(location->text().endsWith(QString::fromStdString(folder.string())));
  EXPECT_EQ(location->cursorPosition(), location->text().size());
  EXPECT_EQ(location->toolTip(), location->text().trimmed());
}

// The exit question keeps the recorder running while it is open; No leaves everything as it
// was; Yes runs the exit sequence and ends the window.
TEST(MainWindow, ExitAsksWhileTheFirstUnitIsInUseAndTicksGoOnMeanwhile) {
  WindowRun run(1);
  run.w().openRecorder(false);
  QSignalSpy finished(&run.w(), &QDialog::finished);
  std::string asked;
  bool tickedWhileAsking = false;
  whenModal([&](QWidget* modal) {
    asked = qobject_cast<QMessageBox*>(modal)->text().toStdString();
    tickedWhileAsking = run.ticksGoOn();
    answer(modal, QMessageBox::No);
  });
  QTest::mouseClick(run.w().button(control::kExit), Qt::LeftButton);
  EXPECT_EQ(asked, "Do you really want to exit?");
  EXPECT_TRUE(tickedWhileAsking);
  EXPECT_TRUE(finished.isEmpty());
  EXPECT_TRUE(run.w().pollTimer().isActive());
  EXPECT_TRUE(run.w().status().units[0].present);
  EXPECT_EQ(run.d2xx->unit(0).streamControl(), 0x4D);

  whenModal([&](QWidget* modal) { answer(modal, QMessageBox::Yes); });
  QTest::keyClick(&run.w(), Qt::Key_Return);  // Enter is the Exit button
  ASSERT_EQ(finished.size(), 1);
  EXPECT_EQ(finished[0][0].toInt(), QDialog::Accepted);
  EXPECT_FALSE(run.w().pollTimer().isActive());
  EXPECT_FALSE(run.w().status().units[0].present);
  EXPECT_EQ(run.d2xx->unit(0).streamControl(), 0);
}

TEST(MainWindow, WithoutUnitsExitEndsAtOnceAndEscapeNeverAsks) {
  {
    WindowRun run(0);
    run.w().openRecorder(false);
    QSignalSpy finished(&run.w(), &QDialog::finished);
    QTest::mouseClick(run.w().button(control::kExit), Qt::LeftButton);
    EXPECT_EQ(finished.size(), 1);
    EXPECT_TRUE(run.w().status().exited);
  }
  {
    WindowRun run(2);
    run.w().openRecorder(false);
    QSignalSpy finished(&run.w(), &QDialog::finished);
    QTest::keyClick(&run.w(), Qt::Key_Escape);
    ASSERT_EQ(finished.size(), 1);
    EXPECT_EQ(finished[0][0].toInt(), QDialog::Rejected);
    // Ended at once: no question, no exit sequence.
    EXPECT_FALSE(run.w().status().exited);
    EXPECT_EQ(run.d2xx->unit(1).streamControl(), 0x4D);
  }
}

// The call-end WAV conversion without memory raises its message inside a tick: it shows in a
// box that does not wait, and the ticks go on without ever running inside one another.
TEST(MainWindow, AMessageRaisedInATickNeitherBlocksNorNestsTheTicks) {
  WindowRun run(0, true,
                "unit A1\n"
                "0.2 1/1 ring\n"
                "+0.1 1/1 answer\n"
                "+0 1/1 talk 0.5 silence\n"
                "+0.5 1/1 callend 5551234\n");
  run.store.values["ParvolinSetting"] =
      std::int32_t(engine::kWavFormat | engine::kKeepShortCalls | engine::kHtmlListOn);
  RecorderOptions noMemory;
  noMemory.wavConversionMemoryLimit = 0;
  run.window = std::make_unique<MainWindow>(
      WindowServices{*run.d2xx, run.clock, run.store, run.shell, run.workingFolder},
      MainWindowOptions{noMemory, true});
  ASSERT_TRUE(run.w().startRecorder());
  run.w().openRecorder(false);
  QMessageBox* shown = nullptr;
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        for (QWidget* top : QApplication::topLevelWidgets()) {
          auto* box = qobject_cast<QMessageBox*>(top);
          if (box && box->isVisible() && box->text().toStdString() == codec::kCallWavNoMemoryText) {
            shown = box;
          }
        }
        return shown != nullptr;
      },
      kWaitMs));
  EXPECT_FALSE(shown->isModal());
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  EXPECT_TRUE(run.ticksGoOn());
  EXPECT_EQ(run.w().status().skippedNestedTicks, 0);
  shown->button(QMessageBox::Ok)->click();
}

TEST(MainWindow, MinimisingGoesToTheTrayAndEveryWayBackRemovesTheIcon) {
  WindowRun run(1);
  run.w().openRecorder(false);
  run.w().showMinimized();
  QSystemTrayIcon* icon = run.w().trayIcon();
  ASSERT_NE(icon, nullptr);
  EXPECT_TRUE(icon->isVisible());
  EXPECT_EQ(icon->toolTip(), "Parvolin");
  EXPECT_TRUE(QTest::qWaitFor([&] { return !run.w().isVisible(); }, kWaitMs));
  EXPECT_TRUE(run.w().trayState().trayMinimised());
  const QList<QAction*> items = run.w().trayMenu()->actions();
  ASSERT_EQ(items.size(), 2);
  EXPECT_EQ(items[0]->text(), "&Restore");
  EXPECT_EQ(items[1]->text(), "E&xit");
  EXPECT_EQ(run.w().trayMenu()->defaultAction(), items[0]);
  EXPECT_TRUE(run.ticksGoOn()) << "recording goes on in the tray";

  // A double click restores; a single click does nothing.
  emit icon->activated(QSystemTrayIcon::Trigger);
  QCoreApplication::processEvents();
  EXPECT_FALSE(run.w().isVisible());
  emit icon->activated(QSystemTrayIcon::DoubleClick);
  EXPECT_TRUE(run.w().isVisible());
  EXPECT_FALSE(run.w().isMinimized());
  EXPECT_EQ(run.w().trayIcon(), nullptr);

  // A second minimise makes a fresh icon; "&Restore" brings the window back.
  run.w().showMinimized();
  ASSERT_NE(run.w().trayIcon(), nullptr);
  EXPECT_TRUE(QTest::qWaitFor([&] { return !run.w().isVisible(); }, kWaitMs));
  items[0]->trigger();
  EXPECT_TRUE(run.w().isVisible());
  EXPECT_EQ(run.w().trayIcon(), nullptr);

  // "E&xit" ends at once, without the question the Exit button asks.
  run.w().showMinimized();
  EXPECT_TRUE(QTest::qWaitFor([&] { return !run.w().isVisible(); }, kWaitMs));
  QSignalSpy finished(&run.w(), &QDialog::finished);
  items[1]->trigger();
  ASSERT_EQ(finished.size(), 1);
  EXPECT_EQ(finished[0][0].toInt(), QDialog::Rejected);
  EXPECT_EQ(run.w().trayIcon(), nullptr);
  EXPECT_FALSE(run.w().trayState().hasIcon());
}

TEST(MainWindow, ClosingWhileInTheTrayLeavesNoIcon) {
  WindowRun run(1);
  run.w().openRecorder(/*minimized=*/true);
  EXPECT_FALSE(run.w().isVisible()) << "started minimised: straight to the tray";
  ASSERT_NE(run.w().trayIcon(), nullptr);
  run.w().close();
  EXPECT_EQ(run.w().trayIcon(), nullptr);
}

// Without a tray, hiding the window would leave no way back to it: it stays in the task bar.
TEST(MainWindow, WithoutATrayAMinimisedWindowStaysInTheTaskBar) {
  WindowRun run(1, /*trayAvailable=*/false);
  run.w().openRecorder(/*minimized=*/true);
  EXPECT_TRUE(run.w().isVisible());
  EXPECT_TRUE(run.w().isMinimized());
  EXPECT_EQ(run.w().trayIcon(), nullptr);
  run.w().showNormal();
  run.w().showMinimized();
  EXPECT_TRUE(run.w().isVisible());
  EXPECT_EQ(run.w().trayIcon(), nullptr);
  EXPECT_TRUE(run.ticksGoOn());
}

// About, the configuration dialog and the log viewer are modal: the ticks go on while each is
// open, and the refresh after the configuration dialog runs whatever its result.
TEST(MainWindow, DialogsOpenModallyWhileTheRecorderGoesOn) {
  WindowRun run(1);
  run.w().openRecorder(false);
  fs::create_directories(run.rec());
  test::writeFile(run.rec() / "ZEruTestNew.htm", std::string(engine::kHtmlHeaderSize, ' '));

  struct Opened {
    QString title;
    QString text;
    std::string name;
    bool ticked = false;
  } opened;
  auto look = [&](QWidget* modal) {
    opened.title = modal->windowTitle();
    opened.name = modal->objectName().toStdString();
    if (auto* box = qobject_cast<QMessageBox*>(modal)) opened.text = box->text();
    opened.ticked = run.ticksGoOn();
    qobject_cast<QDialog*>(modal)->reject();
  };

  whenModal(look);
  run.w().actions().front()->trigger();  // the context menu's About entry
  EXPECT_EQ(run.w().actions().front()->text(), QString::fromUtf8(kAboutEntryText));
  EXPECT_EQ(opened.title, "About Parvolin");
  EXPECT_TRUE(opened.text.startsWith("Parvolin"));
  EXPECT_TRUE(opened.ticked);

  opened = {};
  whenModal(look);
  QTest::mouseClick(run.w().button(control::kAbout), Qt::LeftButton);
  EXPECT_EQ(opened.title, "About Parvolin");

  opened = {};
  engine::RecorderSettings changed = run.w().status().settings;
  changed.parvolinPath = "/elsewhere";
  run.w().recorderThread().call([&] { run.w().recorder().applySettings(changed); });
  whenModal(look);
  QTest::mouseClick(run.w().button(control::kConfigure), Qt::LeftButton);
  EXPECT_EQ(opened.name, "configurationDialog");
  EXPECT_TRUE(opened.ticked);
  EXPECT_EQ(run.w().locationLine()->text().toStdString(), makeLocationLine("/elsewhere"))
      << "refreshed although the dialog was cancelled";

  opened = {};
  whenModal(look);
  QTest::mouseClick(run.w().button(control::kViewLog), Qt::LeftButton);
  EXPECT_EQ(opened.name, "logViewer");
  EXPECT_TRUE(opened.ticked);
}

// Whatever keeps the window's thread busy (a long sort, a slow X server) leaves the polls alone:
// the recorder ticks on its own thread and the window catches up with its latest status.
TEST(MainWindow, TheUnitsArePolledWhileTheWindowsThreadIsBusy) {
  WindowRun run(2);
  run.w().openRecorder(false);
  ASSERT_TRUE(run.ticksGoOn(1));
  const std::int64_t before = run.w().tickCount();
  run.w().recorderThread().resetPollGaps();
  std::this_thread::sleep_for(std::chrono::milliseconds(700));
  // 20 periods of 35 ms; a loaded machine may lose some, never most.
  EXPECT_GE(run.w().tickCount(), before + 10);
  EXPECT_LT(run.w().recorderThread().pollGaps().maxMs, 600);
}

TEST(MainWindow, TheStatusLineShowsTheLatestProblem) {
  WindowRun run(1);
  run.w().openRecorder(false);
  EXPECT_TRUE(run.w().statusLine()->text().isEmpty());
  run.d2xx->unit(0).unplug();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !run.w().statusLine()->text().isEmpty(); }, kWaitMs));
  EXPECT_TRUE(run.w().statusLine()->text().contains("lost"))
      << run.w().statusLine()->text().toStdString();
  EXPECT_TRUE(run.w().statusLine()->toolTip().contains("lost"));
  EXPECT_TRUE(run.w().statusLine()->isVisible());
}

}  // namespace
}  // namespace parvolin::app::ui
