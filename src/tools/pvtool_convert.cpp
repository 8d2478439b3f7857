#include "tools/pvtool_convert.h"

#include <cstdint>
#include <filesystem>
#include <iostream>
#include <optional>
#include <set>
#include <string>

#include <unistd.h>

#include "base/audio_block.h"
#include "base/program_text.h"
#include "codec/lv_conversion.h"
#include "engine/output_files.h"

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

// Returns nullopt after printing the problem for a usage error.
std::optional<Options> parse(const Args& args, std::ostream& err) {
  Options o;
  bool optionsEnded = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (optionsEnded || a.empty() || a[0] != '-' || a == "-") {
      o.files.emplace_back(a);
    } else if (a == "--") {
      optionsEnded = true;
    } else if (a == "--dava" || a.rfind("--dava=", 0) == 0) {
      std::string level;
      if (a == "--dava") {
        if (++i == args.size()) {
          err << "pvtool convert: --dava needs a level (1 or 2)\n";
          return std::nullopt;
        }
        level = args[i];
      } else {
        level = a.substr(7);
      }
      if (level != "1" && level != "2") {
        err << "pvtool convert: --dava level must be 1 or 2, not '" << level << "'\n";
        return std::nullopt;
      }
      o.davaLevel = level[0] - '0';
    } else if (a == "--raw16") {
      o.raw16 = true;
    } else if (a == "--force") {
      o.force = true;
    } else if (a == "-o" || a == "--output") {
      if (++i == args.size()) {
        err << "pvtool convert: " << a << " needs a file or folder\n";
        return std::nullopt;
      }
      o.output = fs::path(args[i]);
    } else {
      err << "pvtool convert: unknown option '" << a << "'\n";
      return std::nullopt;
    }
  }
  if (o.files.empty()) {
    err << "pvtool convert: no recordings named\n";
    return std::nullopt;
  }
  if (o.raw16 && o.davaLevel != 0) {
    err << "pvtool convert: --dava applies to WAV files only, not with --raw16\n";
    return std::nullopt;
  }
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

}  // namespace

int runConvertWith(const Args& args, std::ostream& out, std::ostream& err, bool terminal) {
  for (const std::string& a : args) {
    if (a == "-h" || a == "--help") {
      out << kConvertHelp;
      return 0;
    }
  }
  const auto options = parse(args, err);
  if (!options) {
    err << kConvertHelp;
    return 2;
  }
  const Options& o = *options;
  const char* extension = o.raw16 ? ".s16" : ".wav";

  std::optional<fs::path> folder;
  // A name that ends in a separator ("out/") names a folder, whether or not it exists yet.
  const bool folderNamed = o.output && !o.output->empty() && !o.output->has_filename();
  if (o.output && (o.files.size() > 1 || folderNamed || isFolder(*o.output))) {
    std::error_code ec;
    fs::create_directories(*o.output, ec);
    if (!isFolder(*o.output)) {
      err << "pvtool convert: " << o.output->string()
          << ": cannot be used as the output folder for several recordings\n";
      return 2;
    }
    folder = *o.output;
  }

  std::uint64_t totalBytes = 0;
  for (const fs::path& f : o.files) {
    std::error_code ec;
    const auto size = fs::file_size(f, ec);
    if (!ec) totalBytes += size;
  }
  Progress progress(
      err, terminal && (o.files.size() >= kProgressMinFiles || totalBytes >= kProgressMinBytes),
      o.files.size());

  bool allDone = true;
  std::set<fs::path> written;
  auto fail = [&](const fs::path& file, const std::string& why) {
    progress.clear();
    err << "pvtool convert: " << base::printable(file.string()) << ": " << why << '\n';
    allDone = false;
  };

  for (std::size_t i = 0; i < o.files.size(); ++i) {
    const fs::path& file = o.files[i];
    const auto mode = codec::lvModeOf(file);
    if (!mode) {
      fail(file, "not an LV recording (the name must end in .LV0, .LV1, .LV2 or .LV3)");
      continue;
    }
    fs::path target = fs::path(file).replace_extension(extension);
    if (folder) {
      target = *folder / target.filename();
    } else if (o.output) {
      target = *o.output;
    }
    std::error_code ec;
    if (fs::equivalent(file, target, ec)) {
      fail(file, "the output " + target.string() + " would replace the recording itself");
      continue;
    }
    const fs::path key = fs::weakly_canonical(target, ec);
    if (written.count(key) != 0) {
      fail(file, "the output " + target.string() + " was already written by this command");
      continue;
    }
    // A converted file never takes the place of a recording folder's own file.
    if (const auto problem = engine::outputFileProblem(
            target, o.force ? engine::ExistingFile::kReplace : engine::ExistingFile::kRefuse)) {
      fail(file, "the output " + *problem);
      continue;
    }

    // Recordings are whole audio blocks; converted all the same, but the user hears of it.
    if (const auto size = fs::file_size(file, ec); !ec && size % base::kAudioBlockSize != 0) {
      progress.clear();
      err << "pvtool convert: " << base::printable(file.string()) << ": warning: " << size
          << " bytes, not a whole number of " << base::kAudioBlockSize << "-byte blocks (the last "
          << size % base::kAudioBlockSize << " bytes are cut short)\n";
    } else if (!ec && size == 0) {
      progress.clear();
      err << "pvtool convert: " << base::printable(file.string())
          << ": warning: empty recording, no sound to convert\n";
    }
    progress.start(i, file);
    const codec::ConversionResult r = codec::streamLvFile(
        file, *mode, target, o.raw16 ? codec::OutputForm::kRaw16Le : codec::OutputForm::kWav8,
        o.davaLevel);
    if (!r.ok()) {
      fail(file, codec::describe(r));
      continue;
    }
    written.insert(key);
    progress.clear();
    out << file.string() << " -> " << target.string() << std::endl;
  }
  return allDone ? 0 : 1;
}

int runConvert(const Args& args) {
  return runConvertWith(args, std::cout, std::cerr, ::isatty(STDERR_FILENO) != 0);
}

}  // namespace parvolin::tools
