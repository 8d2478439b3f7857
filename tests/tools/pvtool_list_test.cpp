#include "tools/pvtool_list.h"

#include <gtest/gtest.h>

#include <sstream>

#include "engine/call_log.h"
#include "logview/file_manager_session.h"
#include "logview/list_builder.h"
#include "logview/log_viewer_logic.h"
#include "support/scripted_prompt.h"

namespace parvolin::tools {
namespace {

namespace fs = std::filesystem;
using logview::test::Call;
using logview::test::listOf;
using logview::test::readFile;
using logview::test::writeFile;

class PvtoolList : public logview::test::ListTest {
 protected:
  PvtoolList() : files(logview::ListFiles::forList(folder / "calls.htm")) { writeLog(); }

  // The call log that makes the folder a recording folder.
  void writeLog() { writeFile(folder / engine::kCallLogName, ""); }

  int run(const Args& args) {
    out.str("");
    err.str("");
    return runListWith(args, out, err, std::time(nullptr));
  }
  std::string list() const { return files.list.string(); }

  logview::ListFiles files;
  std::ostringstream out, err;
};

// The same operation from pvtool and from the file manager leaves the same files.
TEST_F(PvtoolList, WritesWhatTheWindowsWrite) {
  const std::string original = listOf({{6, 3, 30, "Smith"},
                                       {5, 1, -1},
                                       {4, 3, 125},
                                       {3, 2, 0, "smithers"},
                                       {2, 4, 30},
                                       {1, 1, 45}});
  test::ScriptedPrompt prompt;
  logview::SearchFields fields;
  fields.text = "SMITH";
  fields.fromYear = 7, fields.fromMonth = 3, fields.fromDay = 5;
  fields.toYear = 7, fields.toMonth = 3, fields.toDay = 5;

  struct Case {
    Args args;
    std::function<void(logview::ListEditSubmitter&)> window;
  };
  const std::vector<Case> cases = {
      {{"sort-port", list()},
       [&](auto&) { logview::sortToFindFile(files, logview::ListOrder::kByPort); }},
      {{"sort-duration", list()},
       [&](auto&) { logview::sortToFindFile(files, logview::ListOrder::kByDuration); }},
      {{"search", list(), "--text", "smith", "--from", "07-03-05", "--to", "07-03-05"},
       [&](auto& edits) { logview::FileManagerSession(files, edits, prompt).search(fields); }},
      {{"edit", list(), "4", "Mr. Jones"},
       [&](auto& edits) {
         logview::FileManagerSession(files, edits, prompt).editItem(4, [](const auto&) {
           return std::optional<std::string>("Mr. Jones");
         });
       }},
      {{"delete", "--yes", list(), "5"},
       [&](auto& edits) { logview::FileManagerSession(files, edits, prompt).deleteItem(5); }},
      {{"delete", "--yes", list(), "5", "--to", "2"},
       [&](auto& edits) { logview::FileManagerSession(files, edits, prompt).deleteRange(5, 2); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0] + " " + c.args.back());
    prompt.answers = {true, true};
    writeFile(files.list, original);
    writeFile(files.find, "an earlier result");
    logview::ImmediateListEditor editor(folder.path(), files.list);
    c.window(editor);
    const auto byWindow = engine::test::folderContents(folder.path());

    writeFile(files.list, original);
    writeFile(files.find, "an earlier result");
    ASSERT_EQ(run(c.args), 0) << err.str();
    EXPECT_EQ(engine::test::folderContents(folder.path()), byWindow);
    fs::remove(files.find);
  }
}

TEST_F(PvtoolList, DeleteAllAndARangeOverEverythingClearTheFolder) {
  for (const Args& args :
       {Args{"delete-all", "--yes", list()}, Args{"delete", "--yes", list(), "3", "--to", "1"}}) {
    writeFile(files.list, listOf(logview::test::numbered(3)));
    writeFile(folder / "w1p0.LV3", "audio");
    writeLog();
    ASSERT_EQ(run(args), 0) << err.str();
    EXPECT_NE(out.str().find("deleted all 3 calls"), std::string::npos);
    EXPECT_TRUE(engine::test::folderContents(folder.path()).empty()) << "all but the lock";
  }
}

TEST_F(PvtoolList, FolderThatARecorderHoldsIsLeftAlone) {
  const std::string original = listOf(logview::test::numbered(3));
  writeFile(files.list, original);
  const base::FolderLock recorder = base::FolderLock::acquire(folder.path(), "parvolin");
  for (const Args& args : {Args{"delete-all", "--yes", list()},
                           Args{"edit", list(), "2", "new text"}, Args{"sort-port", list()}}) {
    err.str("");
    EXPECT_EQ(run(args), 1);
    EXPECT_NE(err.str().find("is in use by process " + std::to_string(::getpid()) + " (parvolin)"),
              std::string::npos)
        << err.str();
  }
  EXPECT_EQ(readFile(files.list), original);
  EXPECT_FALSE(fs::exists(files.find));
}

TEST_F(PvtoolList, BadInputIsRefusedWithoutTouchingTheList) {
  const std::string original = listOf(logview::test::numbered(3));
  struct Case {
    Args args;
    int status;
    std::string says;
  };
  const std::vector<Case> cases = {
      {{"sort-port"}, 2, "a command and a list"},
      {{"shuffle", list()}, 2, "unknown command"},
      {{"sort-port", (folder / "none.htm").string()}, 1, "none.htm"},
      {{"edit", list(), "2"}, 2, "an item number and a text"},
      {{"edit", list(), "x", "text"}, 2, "ITEM must be a whole number from 1 to 99999, not 'x'"},
      {{"delete", "--yes", list(), "0"}, 2, "ITEM must be a whole number from 1 to 99999"},
      {{"delete", "--yes", list(), "99999999999999999999"}, 2, "from 1 to 99999"},
      {{"delete", "--yes", list(), "2", "--to", "-1"},
       2,
       "--to must be a whole number from 1 to 99999"},
      {{"search", list(), "--from", "07-13-05"},
       2,
       "--from month must be a whole number from 1 to 12"},
      {{"search", list(), "--to", "07-03-32"}, 2, "--to day must be a whole number from 1 to 31"},
      {{"edit", list(), "9", "text"}, 1, "no item 9"},
      {{"edit", list(), "2", "</td><b>"}, 1, "cannot hold"},
      {{"edit", list(), "2", std::string(41, 'x')}, 1, "40 characters"},
      {{"delete", "--yes", list(), "9"}, 1, "no item 9"},
      {{"delete", "--yes", list(), "2", "--to", "3"}, 1, "no item 2 to 3"},
      {{"delete", "--yes", list(), "2", "--to"}, 2, "ITEM [--to END]"},
      {{"search", list(), "--from", "2007/03/05"}, 2, "YY-MM-DD"},
      {{"search", list(), "--text"}, 2, "needs a value"},
      {{"delete-all", "--yes", list(), "now"}, 2, "unexpected"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.back());
    writeFile(files.list, original);
    EXPECT_EQ(run(c.args), c.status);
    EXPECT_NE(err.str().find(c.says), std::string::npos) << err.str();
    EXPECT_EQ(readFile(files.list), original);
  }
}

TEST_F(PvtoolList, BatchWavMakesTheNextWaveFolder) {
  fs::create_directory(folder / "WaveFolder00");
  writeFile(folder / "w1p0.WAV", "RIFF");
  std::string row = logview::test::rowOf({2, 1, 30, "Smith"});
  const std::size_t at = row.find("HREF=\"") + 6;
  row.replace(at, row.find('"', at) - at, "w1p0.WAV");
  writeFile(files.list, std::string(engine::kHtmlHeader) + row + logview::test::rowOf({1, 1, 30}));

  EXPECT_EQ(runBatchWavWith({list(), "--dava", "2"}, out, err, false), 1) << "one is missing";
  EXPECT_EQ(readFile(folder / "WaveFolder01" / "P1 03-05-07 09=04=04 In Smith .WAV"), "RIFF");
  EXPECT_NE(err.str().find("recording not found"), std::string::npos);
  EXPECT_EQ(runBatchWavWith({list(), "--dava", "3"}, out, err, false), 2);
  EXPECT_EQ(runBatchWavWith({}, out, err, false), 2);
  EXPECT_EQ(runBatchWavWith({(folder / "none.htm").string()}, out, err, false), 1);
  EXPECT_FALSE(fs::exists(folder / "WaveFolder02"));
}

}  // namespace
}  // namespace parvolin::tools
