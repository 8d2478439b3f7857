#include "logview/list_rows.h"

#include <algorithm>
#include <cstdint>

#include "engine/html_list.h"

namespace parvolin::logview {
namespace {

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

// The decimal number at the start of `text` after blanks; 0 when there is none. Saturates
// rather than overflows on a run of digits no list writes.
int leadingNumber(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  long long value = 0;
  for (; i < text.size() && isDigit(text[i]); ++i) {
    value = std::min(value * 10 + (text[i] - '0'), 1'000'000'000LL);
  }
  return static_cast<int>(value);
}

// Walks the cells of one row, each found from where the previous one ended.
class CellCursor {
 public:
  explicit CellCursor(std::string_view row) : row_(row) {}

  void skip(std::size_t n) { pos_ = std::min(row_.size(), pos_ + n); }
  // Moves past the next `marker`; false (at the end of the row) when there is none.
  bool after(std::string_view marker) {
    const std::size_t hit = row_.find(marker, pos_);
    pos_ = hit == std::string_view::npos ? row_.size() : hit + marker.size();
    return hit != std::string_view::npos;
  }
  // The text from here up to the next `marker` (or the end of the row), and moves there.
  std::string_view until(std::string_view marker) {
    const std::size_t start = pos_;
    const std::size_t hit = row_.find(marker, pos_);
    pos_ = hit == std::string_view::npos ? row_.size() : hit;
    return row_.substr(start, pos_ - start);
  }
  std::string_view rest() const { return row_.substr(pos_); }
  std::size_t position() const { return pos_; }

 private:
  std::string_view row_;
  std::size_t pos_ = 0;
};

void readCells(std::string_view content, ListRow& row) {
  CellCursor cells(content);
  cells.skip(kRowFixedPrefix);
  row.port = cells.until("<");
  if (cells.after("center>")) row.type = cells.until("</td");
  if (cells.after("<td>")) {
    row.textOffset = cells.position();
    row.text = cells.until("</td");
  }
  if (cells.after("center>")) row.dateTime = cells.until("</td");
  if (!cells.after("<td>")) return;
  if (cells.rest().starts_with(kUnanswered)) {
    row.duration = cells.rest().substr(0, kUnanswered.size());
    return;
  }
  if (cells.after("right>")) row.duration = cells.until("<A");
  // The link target: after the next '=' that a double quote follows, up to the next quote.
  if (cells.after("=\"")) {
    const std::string_view target = cells.until("\"");
    if (cells.position() < content.size()) row.link = target;
  }
}

}  // namespace

std::string ListRow::normalized() const {
  std::string row;
  appendNormalized(row);
  return row;
}

void ListRow::appendNormalized(std::string& out) const {
  out.append(content);
  out.append(kLineEnd);
}

bool ListRow::recorded() const {
  return !duration.empty() && duration != kUnanswered;
}

int ListRow::portNumber() const {
  return leadingNumber(port);
}

int ListRow::durationSeconds() const {
  if (!recorded()) return 0;
  const int minutes = leadingNumber(duration);
  // The seconds are the last two characters before the double quote that ends the cell.
  const std::size_t quote = duration.rfind('"');
  const int seconds = quote != std::string_view::npos && quote >= 2
                          ? leadingNumber(duration.substr(quote - 2, 2))
                          : 0;
  return static_cast<int>(std::min(minutes * 60LL + seconds, 2'000'000'000LL));
}

std::string ListRow::dateKey() const {
  // MM-DD-YY hh:mm:ss becomes YY-MM-DD.
  std::string key(dateTime.substr(std::min<std::size_t>(6, dateTime.size()), 2));
  key += '-';
  key += dateTime.substr(0, 5);
  return key;
}

std::string_view ListRow::trimmedText() const {
  const std::size_t last = text.find_last_not_of(' ');
  return last == std::string_view::npos ? std::string_view() : text.substr(0, last + 1);
}

std::string rowFingerprint(const ListRow& row) {
  std::uint64_t hash = 0xcbf29ce484222325ULL;
  const auto mix = [&](std::string_view bytes) {
    for (const char c : bytes) {
      hash ^= static_cast<unsigned char>(c);
      hash *= 0x100000001b3ULL;
    }
  };
  mix(row.content);
  mix(kLineEnd);
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out(16, '0');
  for (int i = 15; i >= 0; --i) {
    out[static_cast<std::size_t>(i)] = kHex[hash & 15];
    hash >>= 4;
  }
  return out;
}

std::vector<ListRow> parseRows(std::string_view body) {
  constexpr std::size_t kTypicalRowBytes = 160;
  std::vector<ListRow> rows;
  rows.reserve(body.size() / kTypicalRowBytes + 1);
  std::size_t start = 0;
  while (start < body.size()) {
    const std::size_t end = body.find(kRowEnd, start);
    if (end == std::string_view::npos) break;
    const std::size_t contentEnd = end + kRowEnd.size();
    const std::size_t lineEnd = body.substr(contentEnd).starts_with('\n') ? 1 : kLineEnd.size();
    const std::size_t length = std::min(contentEnd + lineEnd, body.size()) - start;

    ListRow row;
    row.offset = start;
    row.bytes = body.substr(start, length);
    const std::string_view content = body.substr(start, contentEnd - start);
    row.content = content;
    if (content.size() > engine::kRowItemOffset) {
      row.item = leadingNumber(content.substr(engine::kRowItemOffset));
    }
    readCells(content, row);
    rows.push_back(row);
    start += length;
  }
  return rows;
}

std::size_t headerEnd(std::string_view file) {
  return engine::htmlHeaderEnd(file);
}

bool isListFile(std::string_view file) {
  constexpr std::string_view kTitle = "<title>";
  constexpr std::string_view kCaption = "LIST OF RECORDED CALLS";
  const std::size_t end = headerEnd(file);
  return end != 0 && file.starts_with(kTitle) &&
         file.substr(0, end).find(kCaption) != std::string_view::npos;
}

std::string_view listHead(std::string_view file) {
  const std::size_t end = headerEnd(file);
  return end != 0 ? file.substr(0, end) : engine::kHtmlHeader;
}

std::string_view listBody(std::string_view file) {
  const std::size_t end = headerEnd(file);
  return end != 0 ? file.substr(end) : std::string_view();
}

int latestItem(const std::vector<ListRow>& rows) {
  return rows.empty() ? 0 : rows.front().item;
}

}  // namespace parvolin::logview
