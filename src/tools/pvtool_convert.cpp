#include "tools/pvtool_convert.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <ostream>
#include <set>
#include <string>

#include <unistd.h>

#include "base/audio_block.h"
#include "base/exit_status.h"
#include "base/program_text.h"
#include "codec/lv_conversion.h"
#include "engine/output_files.h"
#include "tools/command_line.h"

namespace parvolin::tools {

constinit const std::string_view kConvertHelp =
    "usage: pvtool convert [--dava 1|2] [--raw16] [--force] [-o OUT] FILE...\n"
    "  Decodes LV recordings (*.LV0-*.LV3) into 8-bit PCM WAV files (or, with --raw16, into\n"
    "  16-bit little-endian samples, *.s16) beside each input.\n"
    "  --dava 1|2  digital volume adjustment L1 (Less) or L2 (Deep); not with --raw16\n"
    "  --raw16     write the decoded 16-bit samples instead of a WAV file\n"
    "  --force     replace existing output files\n"
    "  -o OUT      output file for one input, or output folder for several\n"
    "A recording is whole 512-byte blocks: an empty file, or one whose length is not a multiple\n"
    "of 512 bytes, is converted all the same, with a warning on standard error.\n"
    "Exit status 0 when every file was converted, 1 when any failed, 2 for a bad command line.\n";

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kProgressMinFiles = 8;
constexpr std::uint64_t kProgressMinBytes = 16u << 20;

struct Options {
  int davaLevel = 0;
  bool raw16 = false;
  bool force = false;
  std::optional<fs::path> output;
  std::vector<fs::path> files;
};

// The options, or nothing with `problem` set.
[[nodiscard]] std::optional<Options> parse(const Args& args, std::string& problem) {
  Options o;
  bool optionsEnded = false;
  for (std::size_t i = 0; i < args.size() && problem.empty(); ++i) {
    const std::string& a = args[i];
    if (optionsEnded || a.empty() || a[0] != '-' || a == "-") {
      o.files.emplace_back(a);
    } else if (a == "--") {
      optionsEnded = true;
    } else if (a == "--dava" || a.rfind("--dava=", 0) == 0) {
      if (a == "--dava" && i + 1 == args.size()) {
        problem = "--dava needs a level (1 or 2)";
        break;
      }
      const std::string level = a == "--dava" ? args[++i] : a.substr(7);
      if (level != "1" && level != "2") {
        problem = "--dava level must be 1 or 2, not '" + level + "'";
      } else {
        o.davaLevel = level[0] - '0';
      }
    } else if (a == "--raw16") {
      o.raw16 = true;
    } else if (a == "--force") {
      o.force = true;
    } else if (a == "-o" || a == "--output") {
      if (++i == args.size()) {
        problem = a + " needs a file or folder";
      } else {
        o.output = fs::path(args[i]);
      }
    } else {
      problem = "unknown option '" + a + "'";
    }
  }
  if (problem.empty() && o.files.empty()) problem = "no recordings named";
  if (problem.empty() && o.raw16 && o.davaLevel != 0) {
    problem = "--dava applies to WAV files only, not with --raw16";
  }
  if (!problem.empty()) return std::nullopt;
  return o;
}

class Progress {
 public:
  Progress(std::ostream& err, bool shown, std::size_t total)
      : err_(err), shown_(shown), total_(total) {}
  void start(std::size_t index, const fs::path& file) {
    if (shown_) err_ << "\x1b[K[" << index + 1 << "/" << total_ << "] " << file.string() << '\r';
  }
  // Clears the progress line before a line of output takes its place.
  void clear() {
    if (shown_) err_ << "\x1b[K";
  }

 private:
  std::ostream& err_;
  bool shown_;
  std::size_t total_;
};

bool isFolder(const fs::path& p) {
  std::error_code ec;
  return fs::is_directory(p, ec);
}

// The folder the outputs go to: -o names one for several recordings, or for a name that ends in
// a separator ("out/"), whether or not it exists yet, or when it is one. Nothing, with the
// problem on `err`, when it cannot be one; `folder` is left empty when the outputs go elsewhere.
[[nodiscard]] bool chooseOutputFolder(const Options& o, std::optional<fs::path>& folder,
                                      std::ostream& err) {
  const bool folderNamed = o.output && !o.output->empty() && !o.output->has_filename();
  if (!o.output || (o.files.size() <= 1 && !folderNamed && !isFolder(*o.output))) return true;
  std::error_code ec;
  fs::create_directories(*o.output, ec);
  if (!isFolder(*o.output)) {
    err << "pvtool convert: " << o.output->string()
        << ": cannot be used as the output folder for several recordings\n";
    return false;
  }
  folder = *o.output;
  return true;
}

// The progress line, shown on a terminal for many files or many bytes.
bool showsProgress(const Options& o, bool terminal) {
  std::uint64_t totalBytes = 0;
  for (const fs::path& f : o.files) {
    std::error_code ec;
    const auto size = fs::file_size(f, ec);
    if (!ec) totalBytes += size;
  }
  return terminal && (o.files.size() >= kProgressMinFiles || totalBytes >= kProgressMinBytes);
}

// Why `file` cannot be converted into `target`, or nothing.
[[nodiscard]] std::optional<std::string> targetProblem(const fs::path& file, const fs::path& target,
                                                       const fs::path& key,
                                                       const std::set<fs::path>& written,
                                                       bool force) {
  std::error_code ec;
  if (fs::equivalent(file, target, ec)) {
    return "the output " + target.string() + " would replace the recording itself";
  }
  if (written.count(key) != 0) {
    return "the output " + target.string() + " was already written by this command";
  }
  // A converted file never takes the place of a recording folder's own file.
  if (const auto problem = engine::outputFileProblem(
          target, force ? engine::ExistingFile::kReplace : engine::ExistingFile::kRefuse)) {
    return "the output " + *problem;
  }
  return std::nullopt;
}

// Recordings are whole audio blocks; converted all the same, but the user hears of it.
void warnOfPartBlocks(const fs::path& file, Progress& progress, std::ostream& err) {
  std::error_code ec;
  const auto size = fs::file_size(file, ec);
  if (ec) return;
  if (size % base::kAudioBlockSize != 0) {
    progress.clear();
    err << "pvtool convert: " << base::printable(file.string()) << ": warning: " << size
        << " bytes, not a whole number of " << base::kAudioBlockSize << "-byte blocks (the last "
        << size % base::kAudioBlockSize << " bytes are cut short)\n";
  } else if (size == 0) {
    progress.clear();
    err << "pvtool convert: " << base::printable(file.string())
        << ": warning: empty recording, no sound to convert\n";
  }
}

// The files converted one by one; those that cannot be are named on `err`.
class Conversion {
 public:
  Conversion(const Options& o, std::optional<fs::path> folder, std::ostream& out, std::ostream& err,
             bool terminal)
      : o_(o),
        folder_(std::move(folder)),
        out_(out),
        err_(err),
        progress_(err, showsProgress(o, terminal), o.files.size()) {}

  // False when the file could not be converted (the reason written).
  bool convert(std::size_t index) {
    const fs::path& file = o_.files[index];
    const auto mode = codec::lvModeOf(file);
    if (!mode) {
      return fail(file, "not an LV recording (the name must end in .LV0, .LV1, .LV2 or .LV3)");
    }
    fs::path target = fs::path(file).replace_extension(o_.raw16 ? ".s16" : ".wav");
    if (folder_) {
      target = *folder_ / target.filename();
    } else if (o_.output) {
      target = *o_.output;
    }
    std::error_code ec;
    const fs::path key = fs::weakly_canonical(target, ec);
    if (const auto problem = targetProblem(file, target, key, written_, o_.force)) {
      return fail(file, *problem);
    }
    warnOfPartBlocks(file, progress_, err_);
    progress_.start(index, file);
    const codec::ConversionResult r = codec::streamLvFile(
        file, *mode, target, o_.raw16 ? codec::OutputForm::kRaw16Le : codec::OutputForm::kWav8,
        o_.davaLevel);
    if (!r.ok()) return fail(file, codec::describe(r));
    written_.insert(key);
    progress_.clear();
    out_ << file.string() << " -> " << target.string() << std::endl;
    return true;
  }

 private:
  bool fail(const fs::path& file, const std::string& why) {
    progress_.clear();
    err_ << "pvtool convert: " << base::printable(file.string()) << ": " << why << '\n';
    return false;
  }

  const Options& o_;
  std::optional<fs::path> folder_;
  std::ostream& out_;
  std::ostream& err_;
  Progress progress_;
  std::set<fs::path> written_;
};

}  // namespace

int runConvertWith(const Args& args, std::ostream& out, std::ostream& err, bool terminal) {
  for (const std::string& a : args) {
    if (a == "-h" || a == "--help") {
      out << kConvertHelp;
      return base::kExitOk;
    }
  }
  std::string problem;
  const auto options = parse(args, problem);
  if (!options) return usageError(err, "convert", kConvertHelp, problem);
  std::optional<fs::path> folder;
  if (!chooseOutputFolder(*options, folder, err)) return base::kExitUsage;
  Conversion conversion(*options, std::move(folder), out, err, terminal);
  bool allDone = true;
  for (std::size_t i = 0; i < options->files.size(); ++i) {
    if (!conversion.convert(i)) allDone = false;
  }
  return allDone ? base::kExitOk : base::kExitFailed;
}

int runConvert(const Args& args, std::ostream& out, std::ostream& err) {
  return runConvertWith(args, out, err, ::isatty(STDERR_FILENO) != 0);
}

}  // namespace parvolin::tools
