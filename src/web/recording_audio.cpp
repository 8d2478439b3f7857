#include "web/recording_audio.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <list>
#include <mutex>
#include <unordered_map>

#include "codec/dava.h"
#include "codec/decoder_state.h"
#include "codec/lv_conversion.h"
#include "codec/lv_decoder.h"
#include "codec/lv_format.h"
#include "codec/wav_header.h"
#include "web/call_list.h"

namespace parvolin::web {
namespace {

using codec::kAudioBlockSize;
constexpr std::size_t kHeaderSize = codec::kWavHeaderSize;
static_assert(kAudioPieceSamples % codec::kDavaBlockSamples == 0);
static_assert(kAudioPieceSamples >= codec::kDavaMeanSamples);

// Where the conversion stands at the start of a piece of output: the decoder's state at the
// start of the audio block that holds the piece's first sample, and the volume adjustment's
// gain before the piece.
struct Checkpoint {
  codec::DecoderState decoder;
  codec::DavaGainState gain;
};

// What one recording's conversion has learnt so far, shared by every reader of that recording
// (a player seeking sends a request per seek): the checkpoint of every piece reached, and the
// volume adjustment's offset (from the first 4096 samples).
struct Progress {
  std::mutex mutex;
  std::vector<Checkpoint> points{Checkpoint{}};
  std::int32_t offset = 0;
};

// The recordings most recently served, by what identifies their bytes and the Dava level.
class ProgressCache {
 public:
  static constexpr std::size_t kRecordings = 64;

  std::shared_ptr<Progress> of(const std::string& key) {
    std::lock_guard lock(mutex_);
    if (const auto it = byKey_.find(key); it != byKey_.end()) {
      order_.splice(order_.begin(), order_, it->second.second);
      return it->second.first;
    }
    if (byKey_.size() >= kRecordings) {
      byKey_.erase(order_.back());
      order_.pop_back();
    }
    order_.push_front(key);
    auto progress = std::make_shared<Progress>();
    byKey_.emplace(key, std::make_pair(progress, order_.begin()));
    return progress;
  }

 private:
  std::mutex mutex_;
  std::list<std::string> order_;  // most recently used first
  std::unordered_map<std::string,
                     std::pair<std::shared_ptr<Progress>, std::list<std::string>::iterator>>
      byKey_;
};

ProgressCache& progressCache() {
  static ProgressCache cache;
  return cache;
}

std::string keyOf(const struct stat& st, int mode, int davaLevel) {
  return std::to_string(st.st_dev) + ':' + std::to_string(st.st_ino) + ':' +
         std::to_string(st.st_size) + ':' + std::to_string(st.st_mtim.tv_sec) + '.' +
         std::to_string(st.st_mtim.tv_nsec) + ':' + std::to_string(st.st_ctim.tv_sec) + '.' +
         std::to_string(st.st_ctim.tv_nsec) + ':' + std::to_string(mode) + ':' +
         std::to_string(davaLevel);
}

// Reads up to `size` bytes at `offset`; the count read (short at the end or on an error).
std::size_t readAt(int fd, std::uint64_t offset, std::uint8_t* into, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::pread(fd, into + done, size - done, off_t(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += std::size_t(n);
  }
  return done;
}

}  // namespace

struct RecordingAudio::State {
  base::FileHandle file;
  std::uint64_t size = 0;
  int mode = -1;  // -1: a ".WAV" recording
  int davaLevel = codec::kDavaNone;
  std::uint64_t samples = 0;  // N
  std::array<std::uint8_t, kHeaderSize> header{};
  std::shared_ptr<Progress> progress;

  // The piece last made, and the buffers that make pieces.
  std::optional<std::uint64_t> pieceIndex;
  std::vector<std::uint8_t> piece;
  std::vector<std::uint8_t> input;
  std::vector<std::int16_t> decoded;

  std::uint64_t pieceCount() const {
    return (samples + kAudioPieceSamples - 1) / kAudioPieceSamples;
  }
  bool makePiece(std::uint64_t index, const Checkpoint& from, Checkpoint& next);
  bool reachPiece(std::uint64_t index);
};

// Makes the output bytes of piece `index` from its checkpoint, and the checkpoint of the piece
// after it. False when the recording could not be read.
bool RecordingAudio::State::makePiece(std::uint64_t index, const Checkpoint& from,
                                      Checkpoint& next) {
  const std::uint64_t perBlock = codec::samplesPerBlock(mode);
  const std::uint64_t s0 = index * kAudioPieceSamples;
  const std::uint64_t s1 = std::min<std::uint64_t>(s0 + kAudioPieceSamples, samples);
  const std::uint64_t firstBlock = s0 / perBlock;
  const bool last = s1 == samples;
  // The blocks before the next piece's checkpoint, then (unless this is the last piece) the rest
  // of the block that holds the next piece's first sample.
  const std::uint64_t nextBlock = last ? 0 : s1 / perBlock;
  const std::uint64_t start = firstBlock * kAudioBlockSize;
  const std::uint64_t middle = last ? size : nextBlock * kAudioBlockSize;
  const std::uint64_t end =
      last ? size : std::min<std::uint64_t>(size, (nextBlock + 1) * kAudioBlockSize);

  input.resize(std::size_t(end - start));
  if (readAt(file.fd(), start, input.data(), input.size()) != input.size()) return false;
  decoded.resize(std::size_t(codec::sampleCountFor(end - start, mode)));
  codec::DecoderState state = from.decoder;
  const std::span<const std::uint8_t> bytes(input);
  std::size_t count =
      codec::decodeLv(bytes.first(std::size_t(middle - start)), mode, state, decoded);
  next.decoder = state;
  if (end > middle) {
    count += codec::decodeLv(bytes.subspan(std::size_t(middle - start)), mode, state,
                             std::span(decoded).subspan(count));
  }
  const auto skip = std::size_t(s0 - firstBlock * perBlock);
  const auto wanted = std::size_t(s1 - s0);
  if (count < skip + wanted) return false;
  const std::span<std::int16_t> out = std::span(decoded).subspan(skip, wanted);

  next.gain = from.gain;
  if (davaLevel != codec::kDavaNone) {
    if (index == 0) {
      const std::int32_t offset = codec::davaOffset(out);
      std::lock_guard lock(progress->mutex);
      progress->offset = offset;
    }
    std::int32_t offset = 0;
    {
      std::lock_guard lock(progress->mutex);
      offset = progress->offset;
    }
    codec::applyDavaWithOffset(out, davaLevel, offset, next.gain);
  }
  piece.resize(out.size());
  std::transform(out.begin(), out.end(), piece.begin(), codec::toUnsigned8);
  pieceIndex = index;
  return true;
}

// Makes piece `index`, walking from the last checkpoint reached before it.
bool RecordingAudio::State::reachPiece(std::uint64_t index) {
  if (pieceIndex == index) return true;
  pieceIndex.reset();
  for (;;) {
    std::uint64_t at = 0;
    Checkpoint from;
    {
      std::lock_guard lock(progress->mutex);
      at = std::min<std::uint64_t>(index, progress->points.size() - 1);
      from = progress->points[std::size_t(at)];
    }
    Checkpoint next;
    if (!makePiece(at, from, next)) return false;
    {
      std::lock_guard lock(progress->mutex);
      if (progress->points.size() == at + 1) progress->points.push_back(next);
    }
    if (at == index) return true;
  }
}

RecordingAudio::RecordingAudio(std::unique_ptr<State> state) : state_(std::move(state)) {}
RecordingAudio::RecordingAudio(RecordingAudio&&) noexcept = default;
RecordingAudio& RecordingAudio::operator=(RecordingAudio&&) noexcept = default;
RecordingAudio::~RecordingAudio() = default;

std::optional<RecordingAudio> RecordingAudio::open(const std::filesystem::path& folder,
                                                   std::string_view fileName, int davaLevel,
                                                   std::string& why) {
  why.clear();
  if (!isRecordingName(fileName)) {
    why = "not the name of a recording";
    return std::nullopt;
  }
  const base::FileHandle dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!dir.isOpen()) {
    why = "cannot open the recording folder: " + std::string(std::strerror(errno));
    return std::nullopt;
  }
  const std::string name(fileName);
  // Never through a symbolic link, and never waiting on a pipe that stands under the name.
  base::FileHandle file(
      ::openat(dir.fd(), name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (!file.isOpen()) {
    why = errno == ELOOP ? "a symbolic link, which is never followed"
                         : "cannot open it: " + std::string(std::strerror(errno));
    return std::nullopt;
  }
  struct stat st {};
  if (::fstat(file.fd(), &st) != 0 || !S_ISREG(st.st_mode)) {
    why = "not a regular file";
    return std::nullopt;
  }
  auto state = std::make_unique<State>();
  state->file = std::move(file);
  state->size = std::uint64_t(st.st_size);
  const auto mode = codec::lvModeOf(name);
  if (!mode) return RecordingAudio(std::move(state));  // ".WAV": served as it is
  state->mode = *mode;
  state->davaLevel =
      davaLevel == codec::kDavaLevel1 || davaLevel == codec::kDavaLevel2 ? davaLevel : 0;
  state->samples = codec::sampleCountFor(state->size, state->mode);
  const auto header = codec::WavHeader::forDataBytes(state->samples);
  if (!header) {
    why = "too long for a WAV file";
    return std::nullopt;
  }
  state->header = header->encode();
  state->progress = progressCache().of(keyOf(st, state->mode, state->davaLevel));
  return RecordingAudio(std::move(state));
}

std::uint64_t RecordingAudio::wavSize() const {
  return isWav() ? state_->size : kHeaderSize + state_->samples;
}

std::size_t RecordingAudio::readWav(std::uint64_t offset, std::span<std::uint8_t> out) {
  if (isWav()) return readRecorded(offset, out);
  State& s = *state_;
  const std::uint64_t total = wavSize();
  if (offset >= total) return 0;
  const auto n = std::size_t(std::min<std::uint64_t>(out.size(), total - offset));
  std::size_t done = 0;
  if (offset < kHeaderSize) {
    done = std::min<std::size_t>(n, std::size_t(kHeaderSize - offset));
    std::memcpy(out.data(), s.header.data() + offset, done);
  }
  while (done < n) {
    const std::uint64_t at = offset + done - kHeaderSize;
    const std::uint64_t index = at / kAudioPieceSamples;
    if (!s.reachPiece(index)) break;
    const auto within = std::size_t(at - index * kAudioPieceSamples);
    const std::size_t take = std::min(n - done, s.piece.size() - within);
    std::memcpy(out.data() + done, s.piece.data() + within, take);
    done += take;
  }
  return done;
}

std::uint64_t RecordingAudio::recordedSize() const {
  return state_->size;
}

std::size_t RecordingAudio::readRecorded(std::uint64_t offset, std::span<std::uint8_t> out) {
  if (offset >= state_->size) return 0;
  const auto n = std::size_t(std::min<std::uint64_t>(out.size(), state_->size - offset));
  return readAt(state_->file.fd(), offset, out.data(), n);
}

bool RecordingAudio::isWav() const {
  return state_->mode < 0;
}

int RecordingAudio::mode() const {
  return state_->mode;
}

}  // namespace parvolin::web
