#include "config/folder_rules.h"

#include <gtest/gtest.h>

namespace parvolin::config {
namespace {

TEST(FolderRules, BrowseAndOkAppendTheRecordingFolderWithThePlatformsSeparator) {
  struct Case {
    const char* given;
    char separator;
    const char* browsed;
    const char* typed;
  };
  const Case cases[] = {
      {"C:\\Rec", '\\', "C:\\Rec\\ZEruFolder", "C:\\Rec\\ZEruFolder"},
      {"C:\\", '\\', "C:\\ZEruFolder", "C:\\ZEruFolder"},
      {"C:\\Rec\\ZEruFolder", '\\', "C:\\Rec\\ZEruFolder", "C:\\Rec\\ZEruFolder"},
      // Typed, a name that merely ends in the folder's name is kept; chosen, it is not.
      {"C:\\RecZEruFolder", '\\', "C:\\RecZEruFolder\\ZEruFolder", "C:\\RecZEruFolder"},
      {"/home/ann/Rec", '/', "/home/ann/Rec/ZEruFolder", "/home/ann/Rec/ZEruFolder"},
      {"/", '/', "/ZEruFolder", "/ZEruFolder"},
      {"/srv/rec/", '/', "/srv/rec/ZEruFolder", "/srv/rec/ZEruFolder"},
      {"/srv/ZEruFolder", '/', "/srv/ZEruFolder", "/srv/ZEruFolder"},
      {"/srv/MyZEruFolder", '/', "/srv/MyZEruFolder/ZEruFolder", "/srv/MyZEruFolder"},
      // A Windows path on a platform whose separator is '/' is one name.
      {"C:\\Rec", '/', "C:\\Rec/ZEruFolder", "C:\\Rec/ZEruFolder"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(browsedFolder(c.given, c.separator), c.browsed) << c.given;
    EXPECT_EQ(typedFolder(c.given, c.separator), c.typed) << c.given;
  }
  EXPECT_EQ(browsedFolder("/data"), "/data/ZEruFolder") << "this platform's separator";
}

}  // namespace
}  // namespace parvolin::config
