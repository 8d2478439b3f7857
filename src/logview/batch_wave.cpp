#include "logview/batch_wave.h"

#include <algorithm>
#include <cstdio>
#include <system_error>

#include "codec/lv_conversion.h"
#include "logview/list_files.h"

namespace parvolin::logview {

namespace fs = std::filesystem;

const std::string_view kBatchNoMemory = "Not enough memory for wave data conversion!";

namespace {

bool isPlainFileName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of("/\\") == std::string_view::npos;
}

bool entryExists(const fs::path& path) {
  std::error_code error;
  return fs::exists(fs::symlink_status(path, error));
}

// `base` + ".WAV", or with " (2)", " (3)", … before the extension when that name is taken.
fs::path unusedOutputPath(const fs::path& folder, const std::string& name) {
  constexpr std::string_view kExtension = ".WAV";
  const std::string base = name.substr(0, name.size() - kExtension.size());
  fs::path candidate = folder / name;
  for (int n = 2; entryExists(candidate); ++n) {
    candidate = folder / (base + " (" + std::to_string(n) + ")" + std::string(kExtension));
  }
  return candidate;
}

// A name whose last three characters are "WAV" in any letter case.
bool isWavName(std::string_view link) {
  constexpr std::string_view kWav = "WAV";
  if (link.size() < kWav.size()) return false;
  const std::string_view end = link.substr(link.size() - kWav.size());
  return std::equal(end.begin(), end.end(), kWav.begin(),
                    [](char a, char b) { return (a & ~0x20) == b; });
}

}  // namespace

std::optional<fs::path> makeBatchFolder(const fs::path& folder) {
  for (int n = 0; n < kBatchFolderCount; ++n) {
    char name[16];
    std::snprintf(name, sizeof name, "WaveFolder%02d", n);
    std::error_code error;
    if (fs::create_directory(folder / name, error)) return folder / name;
  }
  return std::nullopt;
}

std::string batchFolderQuestion(const fs::path& batchFolder, const fs::path& recordingFolder) {
  return "All the WAVE files made in this batch conversion will be placed in a folder named: "
         "\n\n\t" +
         batchFolder.filename().string() + "\n\nWhich is under the current Zeru folder: \n\n\t" +
         recordingFolder.string();
}

std::string noBatchFolderMessage(const fs::path& recordingFolder) {
  return "No new folder WaveFolder00 to WaveFolder99 can be made under the current Zeru "
         "folder:\n\n\t" +
         recordingFolder.string() +
         "\n\nNothing was converted. Move or remove old WaveFolders and try again.";
}

std::string batchOutputName(const ListRow& row) {
  std::string words = "P";
  words += row.port;
  words += ' ';
  words += row.dateTime;
  words += ' ';
  words += row.type;
  words += ' ';
  words += row.trimmedText();
  words += ' ';
  std::string name;
  for (const char c : words) {
    switch (c) {
      case ':':
        name += '=';
        break;
      case '*':
        name += 'x';
        break;
      case '?':
      case '<':
      case '>':
        break;
      case '/':
      case '\\':
      case '|':
      case '"':
        name += '_';
        break;
      default:
        name += static_cast<unsigned char>(c) < 0x20 || c == 0x7F ? '_' : c;
    }
  }
  return name + ".WAV";
}

BatchResult convertBatch(std::string_view listFile, const fs::path& recordingFolder,
                         const fs::path& batchFolder, int davaLevel,
                         const BatchProgress& progress) {
  BatchResult result;
  std::vector<ListRow> recorded;
  for (const ListRow& row : parseRows(listBody(listFile))) {
    if (row.recorded()) recorded.push_back(row);
  }
  for (std::size_t i = 0; i < recorded.size(); ++i) {
    const ListRow& row = recorded[i];
    const std::string name = batchOutputName(row);
    if (progress && !progress(i, recorded.size(), name)) {
      result.status = BatchResult::Status::kCancelled;
      return result;
    }
    const std::string link(row.link);
    if (!isPlainFileName(link) || !fileExists(recordingFolder / link)) {
      result.missing.push_back(link.empty() ? name : link);
      continue;
    }
    const fs::path recording = recordingFolder / link;
    const fs::path output = unusedOutputPath(batchFolder, name);
    if (isWavName(link)) {
      if (const std::error_code error = copyFile(recording, output)) {
        removeIfExists(output);
        result.failed.push_back(link + ": " + error.message());
        continue;
      }
    } else {
      const std::optional<int> mode = codec::lvModeOf(link);
      if (!mode) {
        result.failed.push_back(link + ": not a recording");
        continue;
      }
      const codec::ConversionResult converted =
          codec::convertLvFile(recording, *mode, output, codec::OutputForm::kWav8, davaLevel);
      if (converted.status == codec::ConversionStatus::kNoMemory) {
        result.status = BatchResult::Status::kNoMemory;
        return result;
      }
      if (!converted.ok()) {
        result.failed.push_back(link + ": " + codec::describe(converted));
        continue;
      }
    }
    result.written.push_back(output.filename().string());
  }
  if (progress) progress(recorded.size(), recorded.size(), {});
  return result;
}

std::string batchSkippedMessage(const BatchResult& result) {
  // A message box holds a few lines; the rest are counted.
  constexpr std::size_t kListedAtMost = 15;
  auto list = [](const std::vector<std::string>& lines) {
    std::string text;
    for (std::size_t i = 0; i < lines.size() && i < kListedAtMost; ++i) text += "\n\t" + lines[i];
    if (lines.size() > kListedAtMost) {
      text += "\n\t... and " + std::to_string(lines.size() - kListedAtMost) + " more";
    }
    return text;
  };
  std::string text;
  if (!result.missing.empty()) {
    text += "These recordings were not found and were left out:\n" + list(result.missing);
  }
  if (!result.failed.empty()) {
    if (!text.empty()) text += "\n\n";
    text += "These recordings could not be converted:\n" + list(result.failed);
  }
  return text;
}

}  // namespace parvolin::logview
