// What a desktop makes of the files installed with the programs, and of the same associations
// the recorder registers per user at every start: a recording the recorder wrote is of a type
// the player's entry opens, the entries are valid, and each names an icon that is there.

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "app/associations.h"
#include "e2e/run_program.h"
#include "engine/recording_files.h"
#include "support/test_files.h"

namespace parvolin::app {
namespace {

namespace fs = std::filesystem;
using test::TempFolder;

const fs::path kData = fs::path(PARVOLIN_SOURCE_DIR) / "data";

std::string value(const std::string& entry, const std::string& key) {
  const auto at = entry.find("\n" + key + "=");
  if (at == std::string::npos) return {};
  const auto start = at + key.size() + 2;
  return entry.substr(start, entry.find('\n', start) - start);
}

// The program an Exec value starts: its first word, without quotes.
fs::path programOf(const std::string& exec) {
  std::string word = exec.substr(0, exec.find(' '));
  if (word.size() >= 2 && word.front() == '"' && word.back() == '"') {
    word = word.substr(1, word.size() - 2);
  }
  return word;
}

struct Run {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs a desktop tool (nothing when it is not installed).
std::optional<Run> runTool(const fs::path& tool, const std::vector<std::string>& args,
                           const std::map<std::string, std::string>& env, const fs::path& scratch) {
  if (!fs::exists(tool)) return std::nullopt;
  e2e::ProgramRun run(tool, args, env, scratch, scratch / "tool.out", scratch / "tool.err");
  Run result;
  result.status = run.wait();
  result.out = test::readFile(scratch / "tool.out");
  result.err = test::readFile(scratch / "tool.err");
  return result;
}

// The MIME type the desktop gives `file`, with the package `package` installed in a data
// folder of the test's own.
std::optional<std::string> contentType(const fs::path& package, const fs::path& file,
                                       const fs::path& scratch) {
  const fs::path data = scratch / "data";
  fs::create_directories(data / "mime" / "packages");
  fs::copy_file(package, data / "mime" / "packages" / "parvolin.xml",
                fs::copy_options::overwrite_existing);
  const std::map<std::string, std::string> env = {{"XDG_DATA_HOME", data.string()},
                                                  {"XDG_DATA_DIRS", data.string()}};
  const auto update =
      runTool("/usr/bin/update-mime-database", {(data / "mime").string()}, env, scratch);
  if (!update || update->status != 0) return std::nullopt;
  const auto info = runTool("/usr/bin/gio", {"info", "-a", "standard::content-type", file.string()},
                            env, scratch);
  if (!info || info->status != 0) return std::nullopt;
  const std::string key = "standard::content-type: ";
  const auto at = info->out.find(key);
  if (at == std::string::npos) return std::nullopt;
  return info->out.substr(at + key.size(), info->out.find('\n', at) - at - key.size());
}

struct Associations {
  const char* what;
  fs::path mimePackage;
  fs::path playerEntry;
};

// The installed files, and those the recorder writes under the user's data folder.
std::vector<Associations> bothKinds(const fs::path& userData) {
  const auto written = writeAssociationFiles(userData, "/opt/parvolin/bin");
  EXPECT_EQ(written.size(), 3u);
  return {{"installed", kData / "parvolin.xml", kData / "parvolin-lvplayer.desktop"},
          {"registered", userData / kMimePackageFile, userData / kPlayerDesktopFile}};
}

TEST(InstalledDesktopFiles, ARecordingOfEveryAudioModeOpensInThePlayer) {
  if (!fs::exists("/usr/bin/gio") || !fs::exists("/usr/bin/update-mime-database")) {
    GTEST_SKIP() << "gio and update-mime-database are not installed";
  }
  TempFolder dir;
  for (const Associations& kind : bothKinds(dir / "user")) {
    SCOPED_TRACE(kind.what);
    const std::string entry = test::readFile(kind.playerEntry);
    const std::string handled = ";" + value(entry, "MimeType");
    EXPECT_EQ(programOf(value(entry, "Exec")).filename().string(), kPlayerProgram)
        << value(entry, "Exec");
    for (int mode = 0; mode <= 3; ++mode) {
      const fs::path recording =
          dir / engine::recordingFileName(1'141'653'909, 2, mode, /*wavFormat=*/false);
      test::writeFile(recording, std::string(64, '\x55'));
      const fs::path scratch = dir / ("mime-" + std::string(kind.what) + std::to_string(mode));
      fs::create_directories(scratch);
      const auto type = contentType(kind.mimePackage, recording, scratch);
      ASSERT_TRUE(type) << recording.filename();
      EXPECT_NE(handled.find(";" + *type + ";"), std::string::npos)
          << recording.filename() << " is " << *type << ", the player opens " << handled;
    }
  }
}

TEST(InstalledDesktopFiles, EveryEntryIsValidAndShowsAnInstalledIcon) {
  TempFolder dir;
  writeAssociationFiles(dir / "user", "/opt/parvolin/bin");
  const fs::path entries[] = {kData / "parvolin.desktop", kData / "parvolin-lvplayer.desktop",
                              dir / "user" / kPlayerDesktopFile};
  for (const fs::path& file : entries) {
    SCOPED_TRACE(file.string());
    const std::string entry = test::readFile(file);
    const std::string icon = value(entry, "Icon");
    if (!icon.empty()) {
      EXPECT_NE(test::readFile(kData / "icons" / (icon + ".svg")).find("<svg"), std::string::npos)
          << "no icon " << icon;
    }
    const auto validated =
        runTool("/usr/bin/desktop-file-validate", {file.string()}, {}, dir.path());
    if (!validated) continue;  // the validator is not installed
    EXPECT_EQ(validated->status, 0) << validated->out << validated->err;
  }
  // The recorder's own entry is in the application menu and starts a program the build makes.
  const std::string recorder = test::readFile(kData / "parvolin.desktop");
  EXPECT_NE(value(recorder, "NoDisplay"), "true");
  const fs::path programs = fs::path(PARVOLIN_BINARY_DIR) / "programs";
  if (fs::exists(programs / kPlayerProgram)) {  // a build with the windows
    EXPECT_TRUE(fs::exists(programs / programOf(value(recorder, "Exec"))))
        << value(recorder, "Exec");
  }
}

}  // namespace
}  // namespace parvolin::app
