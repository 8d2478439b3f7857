#include "engine/output_files.h"

#include <gtest/gtest.h>

#include "base/folder_lock.h"
#include "engine/html_list.h"
#include "support/expect_ok.h"
#include "support/test_files.h"

namespace parvolin::engine {
namespace {

using parvolin::test::readFile;
using parvolin::test::TempFolder;
using parvolin::test::writeFile;

TEST(OutputFiles, RecordingNamesAreTheRecordersOwnOnly) {
  for (const char* name : {"w499602D2p0.LV3", "w00000000pF.WAV", "wFFFFFFFFp9.LV0"}) {
    EXPECT_TRUE(isRecordingFileName(name)) << name;
  }
  for (const char* name :
       {"w499602d2p0.LV3", "w499602D2p0.LV4", "w499602D2p0.wav", "x499602D2p0.LV3",
        "w499602D2p10.LV3", "w499602D2q0.LV3", "call.WAV", ""}) {
    EXPECT_FALSE(isRecordingFileName(name)) << name;
  }
}

TEST(OutputFiles, ExistingFilesNeedForceAndTheFoldersOwnAreNeverWritten) {
  TempFolder folder;
  writeFile(folder / "old.pvcap", "x");
  writeFile(folder / "copy.htm", std::string(kHtmlHeader) + "row\r\n");
  std::filesystem::create_directory(folder / "sub");
  struct Case {
    const char* name;
    ExistingFile existing;
    const char* problem;  // a part of the message; empty: may be written
  };
  const Case cases[] = {
      {"new.pvcap", ExistingFile::kRefuse, ""},
      {"old.pvcap", ExistingFile::kRefuse, "exists (--force replaces it)"},
      {"old.pvcap", ExistingFile::kReplace, ""},
      {"sub", ExistingFile::kReplace, "is a folder"},
      {"ParvolinLog.ZERU", ExistingFile::kReplace, "own files"},
      {base::kFolderLockName, ExistingFile::kReplace, "own files"},
      {"w499602D2p0.LV3", ExistingFile::kReplace, "own files"},
      {"copy.htm", ExistingFile::kReplace, "is a call list"},
      // The list of the recording folder, not there yet.
      {"calls.htm", ExistingFile::kReplace, "own files"},
  };
  for (const Case& c : cases) {
    const auto problem = outputFileProblem(folder / c.name, c.existing, folder.path(), "calls.htm");
    if (*c.problem == '\0') {
      EXPECT_WORKED(problem) << c.name;
    } else {
      ASSERT_TRUE(problem) << c.name;
      EXPECT_NE(problem->find(c.problem), std::string::npos) << *problem;
    }
  }
  // Elsewhere a file of the list's name is just a file.
  TempFolder elsewhere;
  EXPECT_WORKED(outputFileProblem(elsewhere / "calls.htm", ExistingFile::kRefuse, folder.path(),
                                  "calls.htm"));
  EXPECT_EQ(readFile(folder / "old.pvcap"), "x");
}

}  // namespace
}  // namespace parvolin::engine
