#pragma once

#include <QString>
#include <string_view>

namespace parvolin::widgets {

// A text of the core layers (UTF-8) as the windows show it.
inline QString toQString(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace parvolin::widgets
