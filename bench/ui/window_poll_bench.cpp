// Poll-to-poll gaps of the recorder while its windows work on a list of 65,535 rows: the log
// viewer (opened, sorted both ways, refreshed), the file manager's search, its batch conversion,
// and the configuration dialog, each over four emulated units with calls on every line. Goal:
// the longest gap and the 99th percentile under 100 ms. For comparison, the same counters for
// the window's own thread: the gaps its timers saw, which is what polls run there would have
// seen.
//
// Run with the offscreen platform (the default here), e.g.
//   nice -n 19 build/bench/window_poll_bench --benchmark_counters_tabular=true

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <random>

#include "app/shell.h"
#include "app/ui/main_window.h"
#include "app/working_folder.h"
#include "base/clock.h"
#include "engine/call_record.h"
#include "engine/html_list.h"
#include "logview/ui/file_manager_dialog.h"
#include "logview/ui/log_viewer_dialog.h"
#include "settings/settings_store.h"
#include "sim/scenario.h"
#include "sim/sim_d2xx.h"
#include "widgets/ui/hover_button.h"

namespace {

using namespace parvolin;
namespace fs = std::filesystem;

constexpr int kRows = 65535;

// Calls on all sixteen lines for as long as the bench runs.
constexpr const char* kBusyUnits = R"(unit PV0001
unit PV0002
unit PV0003
unit PV0004
random all seed=7 from=0.5
)";

std::string longList() {
  std::mt19937 random(42);
  std::string text(engine::kHtmlHeader);
  for (int item = kRows; item >= 1; --item) {
    engine::CallRecord r;
    r.portIndex = std::uint8_t(random() % 16);
    r.callType = random() % 4 == 0 ? engine::kCallRinging : engine::kCallAnswered;
    r.startTime = 1'700'000'000u + std::uint32_t(item) * 480;
    r.durationSec = std::uint16_t(random() % 900);
    r.firstAudioSec = 1;
    const std::string number = std::to_string(5550000 + random() % 10000);
    for (std::size_t i = 0; i < number.size(); ++i) r.callText[i] = number[i];
    text += engine::htmlRow(r, 3, false, item);
  }
  return text;
}

// The recorder's window on busy emulated units, recording into a folder of its own that holds
// the long list.
struct BenchWindow {
  fs::path dir;
  base::SystemClock clock;
  std::unique_ptr<sim::SimD2xx> d2xx;
  settings::MemorySettingsStore store;
  app::RecordingShell shell;
  std::unique_ptr<app::FakeWorkingFolder> workingFolder;
  std::unique_ptr<app::ui::MainWindow> window;

  BenchWindow() {
    char pattern[] = "/tmp/window_poll_bench.XXXXXX";
    dir = ::mkdtemp(pattern);
    fs::create_directories(dir / "rec");
    static const std::string list = longList();
    std::ofstream(dir / "rec" / "ZEruTestNew.htm", std::ios::binary) << list;
    std::string error;
    const auto scenario = sim::parseScenario(kBusyUnits, "bench", dir, error);
    d2xx = std::make_unique<sim::SimD2xx>(*scenario, clock);
    store.values["ParvolinPath"] = (dir / "rec").string();
    workingFolder = std::make_unique<app::FakeWorkingFolder>(dir);
    window = std::make_unique<app::ui::MainWindow>(
        app::ui::WindowServices{*d2xx, clock, store, shell, *workingFolder},
        app::ui::MainWindowOptions{});
    window->startRecorder();
    window->openRecorder(false);
  }
  ~BenchWindow() {
    window.reset();
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
};

// Runs `act` on the next modal window once it is open, from within its event loop.
void whenModal(std::function<void(QWidget*)> act) {
  auto* poll = new QTimer;
  QObject::connect(poll, &QTimer::timeout, [poll, act = std::move(act)] {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || qobject_cast<QMessageBox*>(modal)) return;
    poll->stop();
    poll->deleteLater();
    act(modal);
  });
  poll->start(10);
}

// Lets every message box go at once (the batch's summary, a file that is missing).
struct BoxDismisser {
  QTimer timer;
  BoxDismisser() {
    QObject::connect(&timer, &QTimer::timeout, [] {
      for (QWidget* top : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(top);
        if (box && box->isVisible()) box->done(QMessageBox::Ok);
      }
    });
    timer.start(20);
  }
};

// The gaps between the window thread's own timer ticks.
struct WindowThreadGaps {
  QTimer timer;
  QElapsedTimer since;
  double maxMs = 0;
  WindowThreadGaps() {
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, [this] {
      if (since.isValid()) maxMs = std::max(maxMs, since.nsecsElapsed() / 1e6);
      since.restart();
    });
    timer.start(10);
  }
};

void waitMs(int ms) {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 10);
}

// One run of `work` on a fresh window; the gaps while it ran.
void measure(benchmark::State& state, const std::function<void(app::ui::MainWindow&)>& work) {
  for (auto _ : state) {
    state.PauseTiming();
    BenchWindow bench;
    waitMs(1500);  // calls under way on every line
    BoxDismisser boxes;
    WindowThreadGaps windowGaps;
    bench.window->recorderThread().resetPollGaps();
    state.ResumeTiming();
    work(*bench.window);
    waitMs(200);
    state.PauseTiming();
    const app::PollGaps gaps = bench.window->recorderThread().pollGaps();
    state.counters["polls"] = double(gaps.count);
    state.counters["max_gap_ms"] = gaps.maxMs;
    state.counters["p99_gap_ms"] = gaps.p99Ms;
    state.counters["period_ms"] = bench.window->pollTimer().periodMs();
    state.counters["window_thread_max_gap_ms"] = windowGaps.maxMs;
    state.ResumeTiming();
  }
}

logview::ui::LogViewerDialog* asViewer(QWidget* modal) {
  return qobject_cast<logview::ui::LogViewerDialog*>(modal);
}

void BM_Viewer(benchmark::State& state) {
  measure(state, [](app::ui::MainWindow& window) {
    whenModal([](QWidget* modal) {
      auto* viewer = asViewer(modal);
      viewer->sortByPort();
      viewer->sortByDuration();
      viewer->listRefresh();
      viewer->reject();
    });
    window.viewLog();
  });
}

void BM_FileManagerSearch(benchmark::State& state) {
  measure(state, [](app::ui::MainWindow& window) {
    whenModal([](QWidget* modal) {
      auto* viewer = asViewer(modal);
      whenModal([](QWidget* manager) {
        auto* dialog = qobject_cast<logview::ui::FileManagerDialog*>(manager);
        dialog->searchBox()->setText("5551");
        dialog->button("Start Search")->click();
      });
      viewer->openFileManager();
      viewer->reject();
    });
    window.viewLog();
  });
}

void BM_BatchConversion(benchmark::State& state) {
  measure(state, [](app::ui::MainWindow& window) {
    whenModal([](QWidget* modal) {
      auto* viewer = asViewer(modal);
      whenModal([](QWidget* manager) {
        qobject_cast<logview::ui::FileManagerDialog*>(manager)
            ->button("Batch Wave Conversion")
            ->click();
      });
      viewer->openFileManager();
      viewer->reject();
    });
    window.viewLog();
  });
}

void BM_Configure(benchmark::State& state) {
  measure(state, [](app::ui::MainWindow& window) {
    whenModal([](QWidget* modal) {
      waitMs(1000);
      qobject_cast<QDialog*>(modal)->reject();
    });
    window.configure();
  });
}

}  // namespace

BENCHMARK(BM_Viewer)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FileManagerSearch)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BatchConversion)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Configure)->Iterations(1)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
