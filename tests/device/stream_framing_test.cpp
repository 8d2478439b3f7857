#include "device/stream_framing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace parvolin::device {
namespace {

struct Seen {
  std::uint8_t port;
  std::uint8_t code;
  std::vector<std::uint8_t> payload;
  bool operator==(const Seen&) const = default;
};

// Builds one record of `code` for `port` whose payload bytes count up from `seed`.
std::vector<std::uint8_t> record(std::uint8_t port, std::uint8_t code, std::uint8_t seed = 0) {
  std::vector<std::uint8_t> r{port, code};
  for (std::size_t i = 0; i < payloadLengthFor(code); ++i) r.push_back(std::uint8_t(seed + i));
  return r;
}

class Framer {
 public:
  FramingResult feed(const std::vector<std::uint8_t>& bytes) {
    std::copy(bytes.begin(), bytes.end(), buffer.readTarget());
    return frameRead(buffer, bytes.size(), [this](const StreamRecord& r) {
      seen.push_back({r.port, r.code, {r.payload.begin(), r.payload.end()}});
    });
  }
  UnitStreamBuffer buffer;
  std::vector<Seen> seen;
};

TEST(StreamFraming, PayloadLengthsFollowTheCode) {
  EXPECT_EQ(payloadLengthFor(kCallerIdA), 32u);
  EXPECT_EQ(payloadLengthFor(kAudioEvent), 512u);
  EXPECT_EQ(payloadLengthFor(kDigitEvent), 1u);
  EXPECT_EQ(payloadLengthFor(kRingEvent), 0u);
  EXPECT_EQ(payloadLengthFor(0), 0u);
  EXPECT_EQ(payloadLengthFor(12), 0u);
  EXPECT_EQ(payloadLengthFor(255), 0u);
}

// Every record kind, split at every offset between two reads, arrives once and whole.
TEST(StreamFraming, RecordSplitAtEveryOffsetIsDeliveredOnceWhole) {
  for (std::uint8_t code : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 0, 200}) {
    std::vector<std::uint8_t> stream = record(2, code, 7);
    const auto tail = record(1, kRingEvent);
    stream.insert(stream.end(), tail.begin(), tail.end());
    for (std::size_t cut = 1; cut < stream.size(); ++cut) {
      Framer f;
      f.feed({stream.begin(), stream.begin() + cut});
      f.feed({stream.begin() + cut, stream.end()});
      ASSERT_EQ(f.seen.size(), 2u) << "code " << int(code) << " cut " << cut;
      const auto whole = record(2, code, 7);
      EXPECT_EQ(f.seen[0], (Seen{2, code, {whole.begin() + 2, whole.end()}}));
      EXPECT_EQ(f.seen[1], (Seen{1, kRingEvent, {}}));
      EXPECT_EQ(f.buffer.writePos, 0u);
    }
  }
}

TEST(StreamFraming, CarriesPortByteAloneAndDigitWithoutPayload) {
  Framer f;
  f.feed({3});
  EXPECT_EQ(f.buffer.writePos, 1u);
  EXPECT_TRUE(f.seen.empty());
  f.feed({kDigitEvent});
  EXPECT_EQ(f.buffer.writePos, 2u);
  EXPECT_TRUE(f.seen.empty());
  f.feed({10});
  ASSERT_EQ(f.seen.size(), 1u);
  EXPECT_EQ(f.seen[0], (Seen{3, kDigitEvent, {10}}));
}

TEST(StreamFraming, AudioBlockSplitCarriesUpTo513Bytes) {
  Framer f;
  const auto block = record(0, kAudioEvent, 1);
  f.feed({block.begin(), block.end() - 1});
  EXPECT_EQ(f.buffer.writePos, 513u);
  f.feed({block.end() - 1, block.end()});
  ASSERT_EQ(f.seen.size(), 1u);
  EXPECT_EQ(f.seen[0].payload.size(), 512u);
}

TEST(StreamFraming, ZeroByteReadLeavesCarriedBytes) {
  Framer f;
  f.feed({1, kCallEndEvent, 0, 0});
  EXPECT_EQ(f.buffer.writePos, 4u);
  f.feed({});
  EXPECT_EQ(f.buffer.writePos, 4u);
}

// A port byte above 3 drops the rest of its read and the carried part of a record; what was
// delivered before it stays delivered. Kept, the carried part would be framed a second time with
// the next read's bytes as its payload.
TEST(StreamFraming, BadPortByteDropsRestOfReadAndCarriedBytes) {
  Framer f;
  f.feed({0, kRingEvent, 1, kDigitEvent});  // ring delivered, digit record carried
  ASSERT_EQ(f.seen.size(), 1u);
  EXPECT_EQ(f.buffer.writePos, 2u);
  auto r = f.feed({5, 7, kRingEvent});  // digit completed, then 7 is not a port
  EXPECT_TRUE(r.badPortByte);
  EXPECT_EQ(r.delivered, 1u);
  EXPECT_EQ(f.buffer.writePos, 0u);
  f.feed(record(2, kAnsweringEvent));
  ASSERT_EQ(f.seen.size(), 3u);
  EXPECT_EQ(f.seen[1], (Seen{1, kDigitEvent, {5}}));
  EXPECT_EQ(f.seen[2], (Seen{2, kAnsweringEvent, {}}));
}

TEST(StreamFraming, RecordsBeforeBadPortByteInSameReadStayDelivered) {
  Framer f;
  auto bytes = record(0, kRingEvent);
  bytes.push_back(4);
  bytes.push_back(kRingEvent);
  auto more = record(1, kRingEvent);
  bytes.insert(bytes.end(), more.begin(), more.end());
  auto r = f.feed(bytes);
  EXPECT_EQ(r.delivered, 1u);
  EXPECT_EQ(r.droppedBytes, 4u);
  EXPECT_EQ(f.buffer.writePos, 0u);
}

}  // namespace
}  // namespace parvolin::device
