// pvtool capture FILE [--audio]: what a stream capture holds.

#include <array>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>

#include "device/stream_framing.h"
#include "engine/stream_capture.h"
#include "tools/event_text.h"
#include "tools/pvtool_commands.h"

namespace parvolin::tools {
namespace {

std::string utcTime(std::uint32_t seconds) {
  const std::time_t t = std::time_t(seconds);
  std::tm utc{};
  gmtime_r(&t, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &utc);
  return text;
}

std::string flagText(std::uint8_t flags) {
  std::string text;
  if (flags & engine::kUnitListed) text += " listed";
  if (flags & engine::kUnitIdle) text += " idle";
  if (flags & engine::kUnitSetUp) text += " setUp";
  return text.empty() ? " -" : text;
}

void printSummary(const std::string& file, const engine::CaptureSummary& s) {
  std::printf("capture    %s\n", file.c_str());
  std::printf("start      %s (%u)\n", utcTime(s.header.startEpoch).c_str(), s.header.startEpoch);
  for (int u = 0; u < 4; ++u) {
    const engine::CaptureUnit& unit = s.header.units[std::size_t(u)];
    std::printf("unit %d    %s", u + 1, flagText(unit.flags).c_str());
    if (unit.listed()) {
      std::printf("  AudioMode %u  VarOffDelay %u s", unit.audioMode, unit.varOffDelay);
    }
    std::printf("\n");
  }
  std::printf("records    %llu (%llu stream bytes)\n", static_cast<unsigned long long>(s.records),
              static_cast<unsigned long long>(s.streamBytes));
  if (s.records > 0) {
    std::printf("time span  %.3f s to %.3f s (%.3f s)\n", s.firstTimeMs / 1000.0,
                s.lastTimeMs / 1000.0, (s.lastTimeMs - s.firstTimeMs) / 1000.0);
  }
}

// Prints the events of every record. Runs of audio blocks on a port are counted and shown as
// one line before that port's next event, unless every block is wanted.
class EventPrinter {
 public:
  explicit EventPrinter(bool everyBlock) : everyBlock_(everyBlock) {}

  void read(int unit, std::uint32_t timeMs, std::span<const std::uint8_t> bytes) {
    device::UnitStreamBuffer& buffer = buffers_[std::size_t(unit)];
    std::memcpy(buffer.readTarget(), bytes.data(), bytes.size());
    const device::FramingResult result =
        device::frameRead(buffer, bytes.size(), [&](const device::StreamRecord& r) {
          const int portIndex = unit * 4 + r.port;
          if (r.code == device::kAudioEvent && !everyBlock_) {
            AudioRun& run = runs_[std::size_t(portIndex)];
            if (run.blocks++ == 0) run.firstMs = timeMs;
            return;
          }
          flushRun(portIndex);
          line(timeMs, describeEvent(portIndex, r));
        });
    if (result.badPortByte) {
      char text[64];
      std::snprintf(text, sizeof text, "Unit%d: %zu bytes dropped (port byte above 3)", unit + 1,
                    result.droppedBytes);
      line(timeMs, text);
    }
  }
  void finish() {
    for (int p = 0; p < 16; ++p) flushRun(p);
  }

 private:
  struct AudioRun {
    std::uint64_t blocks = 0;
    std::uint32_t firstMs = 0;
  };
  void flushRun(int portIndex) {
    AudioRun& run = runs_[std::size_t(portIndex)];
    if (run.blocks == 0) return;
    char text[64];
    std::snprintf(text, sizeof text, "Port %2d  Audio       %llu blocks", portIndex + 1,
                  static_cast<unsigned long long>(run.blocks));
    line(run.firstMs, text);
    run = {};
  }
  static void line(std::uint32_t timeMs, const std::string& text) {
    std::printf("%10.3f  %s\n", timeMs / 1000.0, text.c_str());
  }

  bool everyBlock_;
  std::array<device::UnitStreamBuffer, 4> buffers_;
  std::array<AudioRun, 16> runs_{};
};

}  // namespace

int runCapture(const Args& args) {
  std::string file;
  bool everyBlock = false;
  for (const std::string& a : args) {
    if (a == "--audio") {
      everyBlock = true;
    } else if (!a.starts_with("-") && file.empty()) {
      file = a;
    } else {
      file.clear();
      break;
    }
  }
  if (file.empty()) {
    std::fprintf(stderr, "usage: pvtool capture FILE.pvcap [--audio]\n");
    return 2;
  }
  const engine::CaptureCheck check = engine::checkCapture(file);
  if (check.ioError) {
    std::fprintf(stderr, "%s: %s\n", file.c_str(), check.ioError.message().c_str());
    return 1;
  }
  if (check.fault) {
    std::fprintf(stderr, "%s\n", engine::describeCaptureFault(file, *check.fault).c_str());
    return 2;
  }
  printSummary(file, check.summary);
  if (check.summary.cutShortAt) {
    std::printf("cut short  at byte %llu: the last record is incomplete\n",
                static_cast<unsigned long long>(*check.summary.cutShortAt));
  }
  std::printf("events:\n");
  auto printer = std::make_unique<EventPrinter>(everyBlock);
  engine::CaptureReader reader;
  engine::CaptureFault fault;
  std::error_code error;
  if (!reader.open(file, fault, error)) return 1;
  engine::CaptureRecord record;
  while (reader.next(record, fault) == engine::CaptureReader::Step::kRecord) {
    printer->read(record.unit, record.timeMs, record.bytes);
  }
  printer->finish();
  return 0;
}

}  // namespace parvolin::tools
