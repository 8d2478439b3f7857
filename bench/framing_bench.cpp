// Framing throughput: unit stream bytes per second cut into records and delivered.
#include <benchmark/benchmark.h>

#include <array>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "device/stream_framing.h"

namespace {

using parvolin::device::frameRead;
using parvolin::device::payloadLengthFor;
using parvolin::device::StreamRecord;
using parvolin::device::UnitStreamBuffer;

void append(std::vector<std::uint8_t>& stream, std::uint8_t port, std::uint8_t code,
            std::mt19937& rng) {
  stream.push_back(port);
  stream.push_back(code);
  for (std::size_t i = 0; i < payloadLengthFor(code); ++i) {
    stream.push_back(static_cast<std::uint8_t>(rng()));
  }
}

// About 8 MB of a unit's stream in audio mode 3: the four ports' audio blocks interleaved, and
// now and then a call's events (caller number, rings, digits, answering, call end).
const std::vector<std::uint8_t>& realisticStream() {
  static const std::vector<std::uint8_t> stream = [] {
    std::vector<std::uint8_t> s;
    std::mt19937 rng(7);
    while (s.size() < 8u << 20) {
      const auto port = static_cast<std::uint8_t>(rng() % 4);
      const unsigned pick = rng() % 100;
      if (pick < 94) {
        append(s, port, 6, rng);  // audio block
      } else if (pick < 96) {
        append(s, port, 9, rng);  // digit
      } else if (pick < 97) {
        append(s, port, 3, rng);  // ring
      } else if (pick < 98) {
        append(s, port, 1, rng);  // caller number
      } else if (pick < 99) {
        append(s, port, 5, rng);  // answering
      } else {
        append(s, port, 7, rng);  // call end
      }
    }
    return s;
  }();
  return stream;
}

// What the engine does per record at the least: look at the port and the code, and collect an
// audio block in its port's 1 MB buffer.
struct Delivery {
  static constexpr std::size_t kPortBufferSize = 1 << 20;
  std::array<std::vector<std::uint8_t>, 4> portBuffers;
  std::array<std::size_t, 4> used{};
  std::uint64_t events = 0;
  Delivery() {
    for (auto& b : portBuffers) b.resize(kPortBufferSize);
  }
  void operator()(const StreamRecord& r) {
    if (r.code != parvolin::device::kAudioEvent) {
      ++events;
      return;
    }
    if (used[r.port] + r.payload.size() > kPortBufferSize) used[r.port] = 0;  // "written out"
    std::memcpy(portBuffers[r.port].data() + used[r.port], r.payload.data(), r.payload.size());
    used[r.port] += r.payload.size();
  }
};

void frameStream(benchmark::State& state) {
  const auto& stream = realisticStream();
  const auto readSize = static_cast<std::size_t>(state.range(0));
  auto buffer = std::make_unique<UnitStreamBuffer>();
  Delivery delivery;
  const parvolin::device::RecordSink sink = [&delivery](const StreamRecord& r) { delivery(r); };
  std::size_t offset = 0;
  std::uint64_t bytes = 0;
  for (auto _ : state) {
    const std::size_t n = std::min(readSize, stream.size() - offset);
    std::memcpy(buffer->readTarget(), stream.data() + offset, n);  // the device read
    frameRead(*buffer, n, sink);
    offset += n;
    bytes += n;
    if (offset == stream.size()) offset = 0;
  }
  benchmark::DoNotOptimize(delivery.events);
  benchmark::DoNotOptimize(delivery.portBuffers[0].data());
  state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
}

BENCHMARK(frameStream)->Arg(2048)->Arg(300);

}  // namespace

BENCHMARK_MAIN();
