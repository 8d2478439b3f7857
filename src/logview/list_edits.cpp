#include "logview/list_edits.h"

namespace parvolin::logview {

const std::string_view kEditTextRefused =
    "The text cannot hold control characters, or a \"<\" followed by a letter, \"/\", \"!\" or "
    "\"?\".\nPlease change the text.";
const std::string_view kEditTextTooLong = "Up to 40 characters can be edited.";

namespace {

bool isLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Characters of UTF-8 text: every byte that does not continue a multi-byte sequence.
std::size_t utf8Length(std::string_view text) {
  std::size_t n = 0;
  for (const char c : text) {
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
  }
  return n;
}

}  // namespace

std::optional<std::string_view> editTextProblem(std::string_view newText,
                                                std::string_view ownText) {
  if (newText == ownText) return std::nullopt;
  if (utf8Length(newText) > kMaxEditTextChars) return kEditTextTooLong;
  for (std::size_t i = 0; i < newText.size(); ++i) {
    const auto c = static_cast<unsigned char>(newText[i]);
    if (c < 0x20 || c == 0x7F) return kEditTextRefused;
    if (c == '<' && i + 1 < newText.size()) {
      const char next = newText[i + 1];
      if (isLetter(next) || next == '/' || next == '!' || next == '?') return kEditTextRefused;
    }
  }
  return std::nullopt;
}

const ListRow* findItem(const std::vector<ListRow>& rows, int item) {
  for (const ListRow& row : rows) {
    if (row.item == item) return &row;
  }
  return nullptr;
}

std::optional<engine::PendingListEdit> textEdit(const ListRow& row, std::string_view newText) {
  std::string padded(newText);
  if (padded.size() < kTextCellWidth) padded.resize(kTextCellWidth, ' ');
  const std::size_t keyEnd = row.textOffset + row.text.size();
  engine::PendingListEdit edit;
  edit.oldText = std::string(row.bytes.substr(0, keyEnd));
  // Only the text cell changes, even where the old text also occurs earlier in the row.
  edit.newText = std::string(row.bytes.substr(0, row.textOffset)) + padded;
  if (edit.oldText == edit.newText) return std::nullopt;
  return edit;
}

std::optional<engine::PendingListEdit> deleteItemEdit(const std::vector<ListRow>& rows, int item) {
  const ListRow* row = findItem(rows, item);
  if (!row) return std::nullopt;
  engine::PendingListEdit edit;
  edit.oldText = std::string(row->bytes);
  return edit;
}

std::optional<engine::PendingListEdit> deleteRangeEdit(const std::vector<ListRow>& rows, int item,
                                                       int rangeEnd) {
  engine::PendingListEdit edit;
  for (const ListRow& row : rows) {
    const bool inRange = row.item >= rangeEnd && row.item <= item;
    if (inRange) {
      edit.oldText += row.bytes;
    } else if (edit.isPending() || row.item < rangeEnd) {
      break;
    }
  }
  if (!edit.isPending()) return std::nullopt;
  return edit;
}

bool rangeCoversAll(int item, int rangeEnd, int latestItem) {
  return item == latestItem && rangeEnd == 1;
}

std::optional<engine::PendingListEdit> deleteAllEdit(std::string_view body) {
  if (body.empty()) return std::nullopt;
  engine::PendingListEdit edit;
  edit.oldText = std::string(body);
  edit.deleteAll = true;
  return edit;
}

}  // namespace parvolin::logview
