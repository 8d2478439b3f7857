// pvtool capture FILE [--audio]: what a stream capture holds.

#include <array>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>

#include "base/exit_status.h"
#include "base/program_text.h"
#include "codec/lv_format.h"
#include "device/stream_framing.h"
#include "engine/stream_capture.h"
#include "tools/event_text.h"
#include "tools/pvtool_commands.h"
#include "tools/unit_description.h"

namespace parvolin::tools {

constinit const std::string_view kCaptureHelp =
    "usage: pvtool capture FILE.pvcap [--audio]\n"
    "Shows what a stream capture (parvolin --capture, pvtool sim) holds: its start, the units and\n"
    "their settings, the number of records and their time span, then one line per event as\n"
    "pvtool units prints them, with the audio blocks counted per call.\n"
    "  --audio  a line for every audio block too\n"
    "Exit status 0 when the capture was read, 1 when it cannot be read, 2 for a bad command line\n"
    "or a file that is no stream capture.\n";

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

// Prints the events of every record as pvtool units does: audio blocks are counted per port and
// shown with the end of their call (or at the end for calls still going), unless every block is
// wanted.
class EventPrinter {
 public:
  EventPrinter(bool everyBlock, const engine::CaptureHeader& header)
      : everyBlock_(everyBlock), header_(header) {}

  void read(int unit, std::uint32_t timeMs, std::span<const std::uint8_t> bytes) {
    device::UnitStreamBuffer& buffer = buffers_[std::size_t(unit)];
    std::memcpy(buffer.readTarget(), bytes.data(), bytes.size());
    const device::FramingResult result =
        device::frameRead(buffer, bytes.size(), [&](const device::StreamRecord& r) {
          std::uint64_t& blocks = blocks_[std::size_t(unit * 4 + r.port)];
          if (r.code == device::kAudioEvent) ++blocks;
          if (r.code == device::kAudioEvent && !everyBlock_) return;
          std::string text = describeEvent(unit, r);
          if (isEnd(r.code)) {
            text += audioText(unit, blocks);
            blocks = 0;
          }
          line(timeMs, text);
        });
    if (result.badPortByte) {
      char text[80];
      std::snprintf(text, sizeof text, "Unit%d          %zu bytes dropped (port byte above 3)",
                    unit + 1, result.droppedBytes);
      line(timeMs, text);
    }
  }
  void finish(std::uint32_t timeMs) {
    for (int p = 0; p < 16; ++p) {
      if (blocks_[std::size_t(p)] == 0) continue;
      char text[48];
      std::snprintf(text, sizeof text, "Unit%d Port %-2d  call going on", p / 4 + 1, p + 1);
      line(timeMs, text + audioText(p / 4, blocks_[std::size_t(p)]));
    }
  }

 private:
  static bool isEnd(std::uint8_t code) {
    return code == device::kCallEndEvent || code == device::kCalloutEndEvent ||
           code == device::kVarEndEvent;
  }
  std::string audioText(int unit, std::uint64_t blocks) const {
    const std::size_t samples = codec::samplesPerBlock(header_.units[std::size_t(unit)].audioMode);
    char text[80];
    std::snprintf(text, sizeof text, "   (%llu audio blocks, %.1f s)",
                  static_cast<unsigned long long>(blocks),
                  double(blocks * samples) / codec::kSamplesPerSecond);
    return text;
  }
  static void line(std::uint32_t timeMs, const std::string& text) {
    std::printf("%9.3f  %s\n", timeMs / 1000.0, text.c_str());
  }

  bool everyBlock_;
  engine::CaptureHeader header_;
  std::array<device::UnitStreamBuffer, 4> buffers_;
  std::array<std::uint64_t, 16> blocks_{};
};

}  // namespace

int runCapture(const Args& args) {
  std::string file;
  bool everyBlock = false;
  auto usage = [](const std::string& problem) {
    std::fprintf(stderr, "pvtool capture: %s\n%s", problem.c_str(), kCaptureHelp.data());
    return base::kExitUsage;
  };
  for (const std::string& a : args) {
    if (a == "--audio") {
      everyBlock = true;
    } else if (a.starts_with("-")) {
      return usage("unknown option '" + base::printable(a) + "'");
    } else if (!file.empty()) {
      return usage("one capture at a time ('" + base::printable(a) + "' is a second one)");
    } else {
      file = a;
    }
  }
  if (file.empty()) return usage("no capture named");
  const std::string shown = base::printable(file);
  const engine::CaptureCheck check = engine::checkCapture(file);
  if (check.ioError) {
    std::fprintf(stderr, "pvtool capture: %s: %s\n", shown.c_str(),
                 check.ioError.message().c_str());
    return base::kExitFailed;
  }
  if (check.fault) {
    std::fprintf(stderr, "pvtool capture: %s\n",
                 engine::describeCaptureFault(shown, *check.fault).c_str());
    return base::kExitUsage;
  }
  printSummary(shown, check.summary);
  if (check.summary.cutShortAt) {
    std::printf("cut short  at byte %llu: the last record is incomplete\n",
                static_cast<unsigned long long>(*check.summary.cutShortAt));
  }
  std::printf("events:\n");
  auto printer = std::make_unique<EventPrinter>(everyBlock, check.summary.header);
  engine::CaptureReader reader;
  engine::CaptureFault fault;
  std::error_code error;
  if (!reader.open(file, fault, error)) return 1;
  engine::CaptureRecord record;
  while (reader.next(record, fault) == engine::CaptureReader::Step::kRecord) {
    printer->read(record.unit, record.timeMs, record.bytes);
  }
  printer->finish(check.summary.lastTimeMs);
  return 0;
}

}  // namespace parvolin::tools
