// pvtool capture FILE [--audio]: what a stream capture holds.

#include <array>
#include <cstring>
#include <ctime>
#include <memory>
#include <optional>
#include <ostream>
#include <string>

#include "base/exit_status.h"
#include "base/program_text.h"
#include "codec/lv_format.h"
#include "device/stream_framing.h"
#include "engine/stream_capture.h"
#include "tools/command_line.h"
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

void printSummary(std::ostream& out, const std::string& file, const engine::CaptureSummary& s) {
  out << "capture    " << file << '\n';
  out << "start      " << utcTime(s.header.startEpoch) << " (" << s.header.startEpoch << ")\n";
  for (int u = 0; u < 4; ++u) {
    const engine::CaptureUnit& unit = s.header.units[std::size_t(u)];
    out << "unit " << u + 1 << "    " << flagText(unit.flags);
    if (unit.listed()) {
      out << "  AudioMode " << unsigned(unit.audioMode) << "  VarOffDelay "
          << unsigned(unit.varOffDelay) << " s";
    }
    out << '\n';
  }
  out << "records    " << s.records << " (" << s.streamBytes << " stream bytes)\n";
  if (s.records > 0) {
    out << formatted("time span  %.3f s to %.3f s (%.3f s)\n", s.firstTimeMs / 1000.0,
                     s.lastTimeMs / 1000.0, (s.lastTimeMs - s.firstTimeMs) / 1000.0);
  }
}

// Prints the events of every record as pvtool units does: audio blocks are counted per port and
// shown with the end of their call (or at the end for calls still going), unless every block is
// wanted.
class EventPrinter {
 public:
  EventPrinter(std::ostream& out, bool everyBlock, const engine::CaptureHeader& header)
      : out_(out), everyBlock_(everyBlock), header_(header) {}

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
      line(timeMs, formatted("Unit%d          %zu bytes dropped (port byte above 3)", unit + 1,
                             result.droppedBytes));
    }
  }
  void finish(std::uint32_t timeMs) {
    for (int p = 0; p < 16; ++p) {
      if (blocks_[std::size_t(p)] == 0) continue;
      line(timeMs, formatted("Unit%d Port %-2d  call going on", p / 4 + 1, p + 1) +
                       audioText(p / 4, blocks_[std::size_t(p)]));
    }
  }

 private:
  static bool isEnd(std::uint8_t code) {
    return code == device::kCallEndEvent || code == device::kCalloutEndEvent ||
           code == device::kVarEndEvent;
  }
  std::string audioText(int unit, std::uint64_t blocks) const {
    const std::size_t samples = codec::samplesPerBlock(header_.units[std::size_t(unit)].audioMode);
    return formatted("   (%llu audio blocks, %.1f s)", static_cast<unsigned long long>(blocks),
                     double(blocks * samples) / codec::kSamplesPerSecond);
  }
  void line(std::uint32_t timeMs, const std::string& text) {
    out_ << formatted("%9.3f  ", timeMs / 1000.0) << text << '\n';
  }

  std::ostream& out_;
  bool everyBlock_;
  engine::CaptureHeader header_;
  std::array<device::UnitStreamBuffer, 4> buffers_;
  std::array<std::uint64_t, 16> blocks_{};
};

struct CaptureOptions {
  std::string file;
  bool everyBlock = false;
};

// The options, or nothing with `problem` set.
[[nodiscard]] std::optional<CaptureOptions> parseOptions(const Args& args, std::string& problem) {
  CaptureOptions options;
  for (const std::string& a : args) {
    if (a == "--audio") {
      options.everyBlock = true;
    } else if (a.starts_with("-")) {
      problem = "unknown option '" + base::printable(a) + "'";
      return std::nullopt;
    } else if (!options.file.empty()) {
      problem = "one capture at a time ('" + base::printable(a) + "' is a second one)";
      return std::nullopt;
    } else {
      options.file = a;
    }
  }
  if (options.file.empty()) {
    problem = "no capture named";
    return std::nullopt;
  }
  return options;
}

// The events of every record in `file`; false when it cannot be read again.
[[nodiscard]] bool printEvents(std::ostream& out, const std::string& file, bool everyBlock,
                               const engine::CaptureSummary& summary) {
  auto printer = std::make_unique<EventPrinter>(out, everyBlock, summary.header);
  engine::CaptureReader reader;
  engine::CaptureFault fault;
  std::error_code error;
  if (!reader.open(file, fault, error)) return false;
  engine::CaptureRecord record;
  while (reader.next(record, fault) == engine::CaptureReader::Step::kRecord) {
    printer->read(record.unit, record.timeMs, record.bytes);
  }
  printer->finish(summary.lastTimeMs);
  return true;
}

}  // namespace

int runCapture(const Args& args, std::ostream& out, std::ostream& err) {
  std::string problem;
  const std::optional<CaptureOptions> options = parseOptions(args, problem);
  if (!options) return usageError(err, "capture", kCaptureHelp, problem);
  const std::string shown = base::printable(options->file);
  const engine::CaptureCheck check = engine::checkCapture(options->file);
  if (check.ioError) {
    err << "pvtool capture: " << shown << ": " << check.ioError.message() << '\n';
    return base::kExitFailed;
  }
  if (check.fault) {
    err << "pvtool capture: " << engine::describeCaptureFault(shown, *check.fault) << '\n';
    return base::kExitUsage;
  }
  printSummary(out, shown, check.summary);
  if (check.summary.cutShortAt) {
    out << "cut short  at byte " << *check.summary.cutShortAt
        << ": the last record is incomplete\n";
  }
  out << "events:\n";
  if (!printEvents(out, options->file, options->everyBlock, check.summary)) {
    return base::kExitFailed;
  }
  return base::kExitOk;
}

}  // namespace parvolin::tools
