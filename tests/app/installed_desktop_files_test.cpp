// The desktop files installed with the programs say what the recorder registers per user at
// every start.

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "app/associations.h"

namespace parvolin::app {
namespace {

std::string dataFile(const std::string& name) {
  std::ifstream in(std::filesystem::path(PARVOLIN_SOURCE_DIR) / "data" / name);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string line(const std::string& text, const std::string& key) {
  const auto at = text.find("\n" + key + "=");
  if (at == std::string::npos) return {};
  return text.substr(at + 1, text.find('\n', at + 1) - at - 1);
}

TEST(InstalledDesktopFiles, MatchWhatTheRecorderRegisters) {
  EXPECT_EQ(dataFile("parvolin.xml"), mimePackageText());
  const std::string installed = dataFile("parvolin-lvplayer.desktop");
  const std::string registered = playerDesktopText("/opt/parvolin/bin");
  for (const char* key : {"Type", "Name", "Comment", "MimeType", "NoDisplay", "Terminal"}) {
    EXPECT_FALSE(line(installed, key).empty()) << key;
    EXPECT_EQ(line(installed, key), line(registered, key)) << key;
  }
  EXPECT_EQ(line(installed, "Exec"), "Exec=lvplayer %f");
}

// The recorder's own entry starts the window and names an icon that is installed with it.
TEST(InstalledDesktopFiles, TheRecorderStartsFromTheApplicationMenu) {
  const std::string entry = dataFile("parvolin.desktop");
  EXPECT_EQ(line(entry, "Exec"), "Exec=parvolin");
  EXPECT_EQ(line(entry, "Icon"), "Icon=parvolin");
  EXPECT_EQ(line(entry, "Terminal"), "Terminal=false");
  EXPECT_EQ(line(entry, "StartupWMClass"), "StartupWMClass=parvolin");
  for (const char* icon : {"parvolin.svg", "parvolin-tray.svg", "parvolin-exit.svg"}) {
    EXPECT_NE(dataFile(std::string("icons/") + icon).find("<svg"), std::string::npos) << icon;
  }
}

}  // namespace
}  // namespace parvolin::app
