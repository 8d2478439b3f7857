#include "app/associations.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <sstream>

#include "app/spawn.h"
#include "app/xdg_shell.h"
#include "support/test_files.h"

namespace parvolin::app {
namespace {

using test::readFile;
using test::TempFolder;

bool programInstalled(const char* name) {
  const char* path = std::getenv("PATH");
  std::stringstream dirs(path ? path : "");
  for (std::string dir; std::getline(dirs, dir, ':');) {
    if (!dir.empty() && access((std::filesystem::path(dir) / name).c_str(), X_OK) == 0) return true;
  }
  return false;
}

TEST(Associations, ExecArgumentsAreQuotedAndEscaped) {
  const std::pair<std::string, std::string> cases[] = {
      {"/opt/parvolin/bin/lvplayer", R"("/opt/parvolin/bin/lvplayer")"},
      {"/home/a b/lvplayer", R"("/home/a b/lvplayer")"},
      {R"(/x"y/$z`w)", R"("/x\\"y/\\$z\\`w")"},
      {R"(/back\slash)", R"("/back\\\\slash")"},
      {"/100%/p", R"("/100%%/p")"},
  };
  for (const auto& [argument, quoted] : cases) EXPECT_EQ(quoteExecArgument(argument), quoted);
}

TEST(Associations, FilesAreWrittenRewrittenAndValid) {
  TempFolder data;
  const std::filesystem::path programs = "/opt/Parvolin Demo/bin";
  ASSERT_EQ(writeAssociationFiles(data.path(), "/old/place").size(), 3u);
  const auto written = writeAssociationFiles(data.path(), programs);
  ASSERT_EQ(written.size(), 3u);

  const std::string mime = readFile(data / kMimePackageFile);
  for (int mode = 0; mode < 4; ++mode) {
    const std::string digit = std::to_string(mode);
    EXPECT_NE(mime.find("type=\"audio/LV" + digit + "\""), std::string::npos);
    EXPECT_NE(mime.find("pattern=\"*.lv" + digit + "\""), std::string::npos);
  }
  EXPECT_NE(mime.find("pattern=\"*.usc\""), std::string::npos);

  const std::string player = readFile(data / kPlayerDesktopFile);
  EXPECT_NE(player.find("Exec=\"/opt/Parvolin Demo/bin/lvplayer\" %f\n"), std::string::npos);
  EXPECT_NE(player.find("MimeType=audio/LV0;audio/LV1;audio/LV2;audio/LV3;"), std::string::npos);
  EXPECT_EQ(player.find("/old/place"), std::string::npos);
  const std::string server = readFile(data / kServerDesktopFile);
  EXPECT_NE(server.find("Exec=\"/opt/Parvolin Demo/bin/LvSvr\" %f\n"), std::string::npos);

  if (!programInstalled("desktop-file-validate")) GTEST_SKIP() << "desktop-file-validate missing";
  for (const char* file : {kPlayerDesktopFile, kServerDesktopFile}) {
    auto child = spawnProgram("desktop-file-validate", {(data / file).string()});
    ASSERT_TRUE(child.has_value());
    EXPECT_EQ(waitForChild(*child), 0) << file;
  }
}

TEST(Associations, XdgShellRegistersTypesTheMimeDatabaseUnderstands) {
  if (!programInstalled("update-mime-database")) GTEST_SKIP() << "update-mime-database missing";
  TempFolder data;
  XdgShell shell(data.path());
  shell.registerFileTypes("/opt/parvolin/bin");
  // The compiled database lists the types and their globs.
  const std::string globs = readFile(data / "mime" / "globs2");
  EXPECT_NE(globs.find("audio/LV3:*.lv3"), std::string::npos) << globs;
  EXPECT_NE(globs.find(std::string(kServerMimeType) + ":*.usc"), std::string::npos) << globs;
  EXPECT_TRUE(std::filesystem::exists(data / kPlayerDesktopFile));
}

TEST(Associations, MissingProgramIsNotStarted) {
  EXPECT_FALSE(spawnProgram("parvolin-no-such-program", {}).has_value());
}

}  // namespace
}  // namespace parvolin::app
