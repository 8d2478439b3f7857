#include "app/associations.h"

#include "base/file_io.h"

#include <cstdlib>
#include <system_error>

namespace parvolin::app {
namespace {

constexpr int kAudioModes = 4;

// Creates the file's folder when missing and replaces the file whole (base::replaceFileContents).
bool writeFileReplacing(const std::filesystem::path& file, const std::string& text) {
  std::error_code ec;
  std::filesystem::create_directories(file.parent_path(), ec);
  if (ec) return false;
  return !base::replaceFileContents(file, text);
}

}  // namespace

std::optional<std::filesystem::path> userDataFolder() {
  const char* dataHome = std::getenv("XDG_DATA_HOME");
  if (dataHome && dataHome[0] == '/') return std::filesystem::path(dataHome);
  const char* home = std::getenv("HOME");
  if (home && home[0] == '/') return std::filesystem::path(home) / ".local" / "share";
  return {};
}

std::string quoteExecArgument(std::string_view argument) {
  // Inside double quotes the entry format reserves '"', '`', '$' and '\', each escaped with a
  // backslash; '%' starts a field code and is doubled. The whole value is then a string of the
  // file format, in which a backslash is itself written twice.
  std::string quoted = "\"";
  for (const char c : argument) {
    if (c == '"' || c == '`' || c == '$') {
      quoted += "\\\\";
      quoted += c;
    } else if (c == '\\') {
      quoted += "\\\\\\\\";
    } else if (c == '%') {
      quoted += "%%";
    } else if (c == '\n') {
      quoted += "\\n";
    } else {
      quoted += c;
    }
  }
  quoted += '"';
  return quoted;
}

std::string mimePackageText() {
  std::string text =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n";
  for (int mode = 0; mode < kAudioModes; ++mode) {
    const std::string digit = std::to_string(mode);
    // Globs are matched without regard to case, so "*.lv0" also matches "W1234ABCp0.LV0".
    text += "  <mime-type type=\"audio/LV" + digit +
            "\">\n"
            "    <comment>Parvolin format audio files</comment>\n"
            "    <glob pattern=\"*.lv" +
            digit +
            "\"/>\n"
            "  </mime-type>\n";
  }
  text += std::string("  <mime-type type=\"") + kServerMimeType +
          "\">\n"
          "    <comment>LvSvr log files</comment>\n"
          "    <glob pattern=\"*.usc\"/>\n"
          "  </mime-type>\n"
          "</mime-info>\n";
  return text;
}

std::string playerDesktopText(const std::filesystem::path& programFolder) {
  return "[Desktop Entry]\n"
         "Type=Application\n"
         "Name=LvPlayer\n"
         "Comment=Plays Parvolin format audio files\n"
         "Exec=" +
         quoteExecArgument((programFolder / kPlayerProgram).string()) +
         " %f\n"
         "MimeType=audio/LV0;audio/LV1;audio/LV2;audio/LV3;\n"
         "NoDisplay=true\n"
         "Terminal=false\n";
}

std::string serverDesktopText(const std::filesystem::path& programFolder) {
  return "[Desktop Entry]\n"
         "Type=Application\n"
         "Name=LvSvr\n"
         "Comment=Opens LvSvr log files\n"
         "Exec=" +
         quoteExecArgument((programFolder / kServerProgram).string()) +
         " %f\n"
         "MimeType=" +
         kServerMimeType +
         ";\n"
         "NoDisplay=true\n"
         "Terminal=false\n";
}

std::vector<std::filesystem::path> writeAssociationFiles(
    const std::filesystem::path& dataFolder, const std::filesystem::path& programFolder) {
  const std::pair<const char*, std::string> files[] = {
      {kMimePackageFile, mimePackageText()},
      {kPlayerDesktopFile, playerDesktopText(programFolder)},
      {kServerDesktopFile, serverDesktopText(programFolder)},
  };
  std::vector<std::filesystem::path> written;
  for (const auto& [name, text] : files) {
    const std::filesystem::path file = dataFolder / name;
    if (writeFileReplacing(file, text)) written.push_back(file);
  }
  return written;
}

}  // namespace parvolin::app
