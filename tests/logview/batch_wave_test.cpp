#include "logview/batch_wave.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "codec/wav_header.h"
#include "list_builder.h"
#include "logview/file_manager_session.h"
#include "support/scripted_prompt.h"

namespace parvolin::logview::test {
namespace {

namespace fs = std::filesystem;

class BatchWave : public ListTest {
 protected:
  // A recorded call's row whose link names `recording`.
  std::string rowFor(int item, const std::string& recording, const std::string& text = "") {
    std::string row = rowOf({item, 5, 125, text});
    const std::size_t at = row.find("HREF=\"") + 6;
    row.replace(at, row.find('"', at) - at, recording);
    return row;
  }
  std::vector<std::string> namesIn(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }
};

TEST_F(BatchWave, OutputNamesFollowTheCallAndHoldNoForbiddenCharacter) {
  const std::string row = rowOf({7, 5, 125, "5551234"});
  EXPECT_EQ(batchOutputName(parseRows(row)[0]), "P5 03-05-07 09=04=09 In 5551234 .WAV");
  const std::string odd = rowOf({7, 12, 125, "a/b\\c|d\"e*f:g?h<i>j"});
  EXPECT_EQ(batchOutputName(parseRows(odd)[0]), "P12 03-05-07 09=04=09 In a_b_c_d_exf=ghij .WAV");
}

TEST_F(BatchWave, TheNextFreeFolderIsTakenAndAllTakenIsSaid) {
  fs::create_directory(folder / "WaveFolder00");
  fs::create_directory(folder / "WaveFolder01");
  EXPECT_EQ(makeBatchFolder(folder.path()), folder / "WaveFolder02");
  for (int n = 3; n < 100; ++n) {
    fs::create_directory(folder / ((n < 10 ? "WaveFolder0" : "WaveFolder") + std::to_string(n)));
  }
  EXPECT_FALSE(makeBatchFolder(folder.path()));

  // In the file manager: a message, nothing converted, and Exit's files.
  const ListFiles files = ListFiles::forList(folder / "calls.htm");
  writeFile(files.list, std::string(engine::kHtmlHeader) + rowFor(1, "a.WAV"));
  writeFile(folder / "a.WAV", "RIFF");
  parvolin::test::ScriptedPrompt prompt;
  ImmediateListEditor editor(folder.path(), files.list);
  FileManagerSession(files, editor, prompt).batchWaveConversion(0);
  ASSERT_EQ(prompt.shown.size(), 1u);
  EXPECT_EQ(prompt.shown[0].text, noBatchFolderMessage(folder.path()));
  EXPECT_FALSE(fileExists(files.find));
  EXPECT_FALSE(fileExists(files.editCopy));
}

TEST_F(BatchWave, RecordingsAreCopiedOrConvertedAndGapsListed) {
  const fs::path out = folder / "WaveFolder00";
  fs::create_directory(out);
  std::string lv2(5120, '\x55');  // 10 blocks of mode 2
  writeFile(folder / "w1p4.LV2", lv2);
  writeFile(folder / "w2p4.WAV", "RIFF and the rest of a WAV file");
  const std::string list = std::string(engine::kHtmlHeader) + rowFor(4, "w1p4.LV2", "Smith") +
                           rowFor(3, "w2p4.WAV") + rowOf({2, 5, -1}) + rowFor(1, "gone.LV3") +
                           rowFor(1, "../calls.htm") + rowFor(4, "w1p4.LV2", "Smith");
  std::vector<std::size_t> progress;
  const BatchResult result =
      convertBatch(list, folder.path(), out, 0, [&](std::size_t done, std::size_t total, auto) {
        progress.push_back(done * 10 + total);
        return true;
      });
  EXPECT_EQ(result.status, BatchResult::Status::kDone);
  EXPECT_EQ(result.written, (std::vector<std::string>{"P5 03-05-07 09=04=06 In Smith .WAV",
                                                      "P5 03-05-07 09=04=05 In  .WAV",
                                                      "P5 03-05-07 09=04=06 In Smith  (2).WAV"}));
  EXPECT_EQ(result.missing, (std::vector<std::string>{"gone.LV3", "../calls.htm"}));
  EXPECT_EQ(progress, (std::vector<std::size_t>{5, 15, 25, 35, 45, 55}));

  const std::string converted = readFile(out / "P5 03-05-07 09=04=06 In Smith .WAV");
  ASSERT_EQ(converted.size(), 44u + 13600u);
  EXPECT_EQ(converted.substr(0, 4), "RIFF");
  EXPECT_EQ(readFile(out / "P5 03-05-07 09=04=05 In  .WAV"), "RIFF and the rest of a WAV file");
  EXPECT_EQ(readFile(out / "P5 03-05-07 09=04=06 In Smith  (2).WAV").size(), 44u + 13600u);

  const std::string message = batchSkippedMessage(result);
  EXPECT_NE(message.find("gone.LV3"), std::string::npos);
  EXPECT_EQ(batchSkippedMessage(BatchResult{}), "");
}

TEST_F(BatchWave, OnlyUnansweredCallsGiveAnEmptyFolderAndCancelStops) {
  const fs::path out = folder / "WaveFolder00";
  fs::create_directory(out);
  std::string list = listOf({{2, 1, -1}, {1, 1, -1}});
  EXPECT_TRUE(convertBatch(list, folder.path(), out, 2).written.empty());
  EXPECT_TRUE(fs::is_empty(out));

  writeFile(folder / "a.WAV", "RIFF");
  list = std::string(engine::kHtmlHeader) + rowFor(2, "a.WAV") + rowFor(1, "a.WAV");
  const BatchResult cancelled = convertBatch(list, folder.path(), out, 0,
                                             [](std::size_t done, auto, auto) { return done < 1; });
  EXPECT_EQ(cancelled.status, BatchResult::Status::kCancelled);
  EXPECT_EQ(namesIn(out).size(), 1u);
}

// The file manager converts the list the viewer showed: the earlier search result when there
// was one, and Cancel at the question removes the new folder.
TEST_F(BatchWave, TheFileManagerConvertsTheDisplayedList) {
  const ListFiles files = ListFiles::forList(folder / "calls.htm");
  writeFile(folder / "a.WAV", "RIFF a");
  writeFile(folder / "b.WAV", "RIFF b");
  writeFile(files.list,
            std::string(engine::kHtmlHeader) + rowFor(2, "b.WAV", "B") + rowFor(1, "a.WAV", "A"));
  writeFile(files.find, std::string(engine::kHtmlHeader) + rowFor(1, "a.WAV", "A"));
  parvolin::test::ScriptedPrompt prompt;
  ImmediateListEditor editor(folder.path(), files.list);

  prompt.answers = {false};
  FileManagerSession(files, editor, prompt).batchWaveConversion(0);
  EXPECT_FALSE(fs::exists(folder / "WaveFolder00"));
  EXPECT_EQ(prompt.shown.back().text,
            "All the WAVE files made in this batch conversion will be placed in a folder named: "
            "\n\n\tWaveFolder00\n\nWhich is under the current Zeru folder: \n\n\t" +
                folder.path().string());
  EXPECT_EQ(prompt.shown.back().icon, base::PromptIcon::Exclamation);

  prompt.answers = {true};
  FileManagerSession(files, editor, prompt).batchWaveConversion(0);
  EXPECT_EQ(namesIn(folder / "WaveFolder00"),
            (std::vector<std::string>{"P5 03-05-07 09=04=03 In A .WAV"}));
  EXPECT_EQ(readFile(files.find), std::string(engine::kHtmlHeader) + rowFor(1, "a.WAV", "A"))
      << "the search result is shown again";
  EXPECT_FALSE(fileExists(files.findBackup));
  EXPECT_FALSE(fileExists(files.editCopy));
}

}  // namespace
}  // namespace parvolin::logview::test
