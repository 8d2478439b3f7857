#include "logview/ui/file_manager_dialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QProgressDialog>
#include <QTest>
#include <QTimer>

#include "logview/list_builder.h"
#include "logview/list_edits.h"
#include "logview/list_rows.h"
#include "logview/ui/edit_item_dialog.h"
#include "logview/ui/logview_colors.h"
#include "support/scripted_prompt.h"
#include "support/ui/controls.h"
#include "widgets/ui/hover_button.h"

namespace parvolin::logview::ui {
namespace {

using test::Call;
using test::listOf;
using test::readFile;
using test::writeFile;
using widgets::colorFromColorRef;

class FileManager : public test::ListTest {
 protected:
  FileManager()
      : files(ListFiles::forList(folder / "calls.htm")), editor(folder.path(), files.list) {
    writeFile(files.list, listOf(test::numbered(20)));
  }
  void click(FileManagerDialog& fm, const char* text) {
    QTest::mouseClick(parvolin::test::buttonCaptioned<widgets::HoverButton>(fm, text),
                      Qt::LeftButton);
  }

  ListFiles files;
  parvolin::test::ScriptedPrompt prompt;
  ImmediateListEditor editor;
};

TEST_F(FileManager, OpensWithTheNewestItemAndTodaysDates) {
  FileManagerDialog fm(files, 0, editor, prompt);
  fm.show();
  EXPECT_EQ(fm.windowTitle(), "File Manager");
  EXPECT_EQ(fm.itemFields().item, 20);
  EXPECT_EQ(fm.itemFields().rangeEnd, 20);
  const SearchFields today = SearchFields::today(std::time(nullptr));
  EXPECT_EQ(fm.searchFields().query().fromKey, today.query().fromKey);
  EXPECT_EQ(fm.searchFields().query().toKey, today.query().toKey);
  EXPECT_EQ(parvolin::test::buttonCaptioned<widgets::HoverButton>(fm, "Start Search")->textColor(),
            colorFromColorRef(kBlueText));
  EXPECT_EQ(parvolin::test::buttonCaptioned<widgets::HoverButton>(fm, "Delete Item")->textColor(),
            colorFromColorRef(kDarkRedText));
  EXPECT_EQ(
      parvolin::test::buttonCaptioned<widgets::HoverButton>(fm, "Batch Delete All")->textColor(),
      colorFromColorRef(kDarkRedText));
}

TEST_F(FileManager, SpinnersStayWithinTheirLimits) {
  FileManagerDialog fm(files, 0, editor, prompt);
  fm.show();
  fm.itemBox()->stepUp();
  EXPECT_EQ(fm.itemFields().item, 20) << "never above the newest item";
  fm.itemBox()->stepBy(-5);
  EXPECT_EQ(fm.itemFields().item, 15);
  EXPECT_EQ(fm.itemFields().rangeEnd, 15) << "the range end follows the item down";
  fm.rangeEndBox()->stepBy(3);
  EXPECT_EQ(fm.itemFields().rangeEnd, 15) << "never above the item";
  fm.rangeEndBox()->stepBy(-20);  // a page step
  EXPECT_EQ(fm.itemFields().rangeEnd, 1);
  fm.rangeEndBox()->setValue(1);
  fm.rangeEndBox()->stepDown();
  EXPECT_EQ(fm.itemFields().rangeEnd, 1) << "0 becomes 1";
  fm.itemBox()->setValue(1);
  fm.itemBox()->stepDown();
  EXPECT_EQ(fm.itemFields().item, 1);
  // Typed numbers are taken as they are, as the boxes are read.
  fm.itemBox()->setValue(99);
  EXPECT_EQ(fm.itemFields().item, 99);
}

TEST_F(FileManager, EditRefusesTextThatWouldBreakTheListAndKeepsTheDialog) {
  FileManagerDialog fm(files, 0, editor, prompt);
  fm.show();
  fm.itemBox()->setValue(17);
  int attempts = 0;
  std::function<void()> typeIntoEdit = [&] {
    auto* edit = qobject_cast<EditItemDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(edit->textBox()->maxLength(), 40);
    edit->textBox()->setText("a </td> b");
    edit->accept();
    ++attempts;
    EXPECT_TRUE(edit->isVisible()) << "refused: the dialog stays";
    edit->textBox()->setText("Mr. Smith");
    edit->accept();
  };
  QTimer::singleShot(0, typeIntoEdit);
  click(fm, "Edit/Add Text");
  EXPECT_EQ(attempts, 1);
  ASSERT_EQ(prompt.shown.size(), 1u);
  EXPECT_EQ(prompt.shown[0].text, kEditTextRefused);
  EXPECT_FALSE(fm.isVisible());
  const std::string list = readFile(files.list);
  const auto rows = parseRows(listBody(list));
  EXPECT_EQ(rows[3].trimmedText(), "Mr. Smith");
  EXPECT_EQ(rows[3].item, 17);
}

TEST_F(FileManager, EscapeIsExitAndHelpShowsItsText) {
  writeFile(files.find, "the earlier result");
  FileManagerDialog fm(files, 0, editor, prompt);
  fm.show();
  click(fm, "Help");
  ASSERT_EQ(prompt.shown.size(), 1u);
  EXPECT_EQ(prompt.shown[0].text, kFileManagerHelp);
  EXPECT_TRUE(fm.isVisible());
  QTest::keyClick(&fm, Qt::Key_Escape);
  EXPECT_FALSE(fm.isVisible());
  EXPECT_EQ(readFile(files.find), "the earlier result");
  EXPECT_FALSE(fileExists(files.findBackup));
  EXPECT_FALSE(fileExists(files.editCopy));
}

TEST_F(FileManager, ANoToADeleteKeepsTheDialogAndTheList) {
  const std::string before = readFile(files.list);
  FileManagerDialog fm(files, 0, editor, prompt);
  fm.show();
  prompt.answers = {false};
  click(fm, "Delete Range To:");
  EXPECT_TRUE(fm.isVisible());
  prompt.answers = {true, false};
  click(fm, "Batch Delete All");
  EXPECT_TRUE(fm.isVisible());
  EXPECT_EQ(readFile(files.list), before);
}

TEST_F(FileManager, BatchConversionFillsTheNextWaveFolder) {
  std::filesystem::create_directory(folder / "WaveFolder00");
  std::string row = test::rowOf({1, 2, 30, "Smith"});
  const std::size_t at = row.find("HREF=\"") + 6;
  row.replace(at, row.find('"', at) - at, "w1p1.WAV");
  writeFile(files.list, std::string(engine::kHtmlHeader) + row);
  writeFile(folder / "w1p1.WAV", "RIFF");
  FileManagerDialog fm(files, 1, editor, prompt);
  fm.show();
  prompt.answers = {true};
  click(fm, "Batch Wave Conversion");
  EXPECT_TRUE(QTest::qWaitFor([&] { return !fm.isVisible(); }));
  EXPECT_EQ(readFile(folder / "WaveFolder01" / "P2 03-05-07 09=04=03 In Smith .WAV"), "RIFF");
  EXPECT_FALSE(fileExists(files.find)) << "no earlier result: the list is shown";
}

// A list of `count` recorded calls, each with a recording of 16 audio blocks.
class BatchConversion : public FileManager {
 protected:
  static constexpr int kCalls = 400;
  BatchConversion() {
    const std::string list = listOf(test::numbered(kCalls));
    writeFile(files.list, list);
    const std::string audio(16 * 512, '\x55');
    for (const ListRow& row : parseRows(listBody(list))) {
      writeFile(folder / std::string(row.link), audio);
    }
    prompt.answers = {true};
  }
  std::size_t converted() const {
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& entry :
         std::filesystem::directory_iterator(folder / "WaveFolder00")) {
      ++n;
    }
    return n;
  }
};

TEST_F(BatchConversion, RunsOffTheWindowsThreadAndEndsTheFileManagerWhenDone) {
  writeFile(files.list, listOf(test::numbered(100)));  // their recordings are there
  FileManagerDialog fm(files, 0, editor, prompt);
  fm.show();
  click(fm, "Batch Wave Conversion");
  // The click came back before the conversion ended: the window goes on meanwhile.
  EXPECT_TRUE(fm.converting());
  EXPECT_TRUE(fm.isVisible());
  EXPECT_NE(fm.findChild<QProgressDialog*>(), nullptr);
  EXPECT_FALSE(
      parvolin::test::buttonCaptioned<widgets::HoverButton>(fm, "Start Search")->isEnabled())
      << "no other operation meanwhile";
  EXPECT_TRUE(QTest::qWaitFor([&] { return !fm.isVisible(); }, 60000));
  EXPECT_FALSE(fm.converting());
  EXPECT_EQ(converted(), 100u);
  EXPECT_EQ(fm.findChild<QProgressDialog*>(), nullptr);
  EXPECT_EQ(prompt.shown.size(), 1u) << "the question alone: nothing was skipped";
  EXPECT_FALSE(fileExists(files.find));
  EXPECT_FALSE(fileExists(files.editCopy));
}

TEST_F(BatchConversion, CancelStopsItAndKeepsWhatWasConverted) {
  const struct {
    const char* how;
    std::function<void(FileManagerDialog&)> cancel;
  } ways[] = {{"progress box",
               [](FileManagerDialog& fm) {
                 auto* box = fm.findChild<QProgressDialog*>();
                 ASSERT_NE(box, nullptr);
                 emit box->canceled();
               }},
              {"Escape or close box", [](FileManagerDialog& fm) { fm.reject(); }}};
  for (const auto& way : ways) {
    SCOPED_TRACE(way.how);
    std::filesystem::remove_all(folder / "WaveFolder00");
    prompt.answers = {true};
    prompt.shown.clear();
    writeFile(files.find, "an earlier result");
    FileManagerDialog fm(files, 0, editor, prompt);
    fm.show();
    click(fm, "Batch Wave Conversion");
    way.cancel(fm);
    EXPECT_TRUE(fm.isVisible()) << "ends only once the conversion has stopped";
    EXPECT_TRUE(QTest::qWaitFor([&] { return !fm.isVisible(); }, 60000));
    EXPECT_LT(converted(), std::size_t(kCalls));
    EXPECT_EQ(prompt.shown.size(), 1u);
    EXPECT_EQ(readFile(files.find), "an earlier result") << "ended as Exit";
  }
}

TEST_F(BatchConversion, ClosingTheWindowMidwayStopsTheConversion) {
  {
    FileManagerDialog fm(files, 0, editor, prompt);
    fm.show();
    click(fm, "Batch Wave Conversion");
    ASSERT_TRUE(fm.converting());
  }
  const std::size_t atClose = converted();
  QTest::qWait(50);
  EXPECT_EQ(converted(), atClose) << "nothing converts after the window is gone";
  EXPECT_FALSE(fileExists(files.editCopy));
}

}  // namespace
}  // namespace parvolin::logview::ui
