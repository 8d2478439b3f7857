#pragma once

#include <string>
#include <string_view>

// Texts every program shares: its version and the safe display of text that came from a file.
namespace parvolin::base {

// The version of this build ("0.1.0").
std::string_view versionNumber();

// "NAME VERSION", the first line of every --version.
std::string versionLine(std::string_view program);

// `text` made safe to write to a terminal, and valid UTF-8: printable ASCII and well-formed UTF-8
// characters stay as they are, a backslash becomes "\\", and every other byte (control bytes such
// as ESC or a line break, bytes that are not UTF-8, the C1 controls and the direction marks)
// becomes "\xNN", so that nothing read from a file can move the cursor, change colours or break
// a line.
std::string printable(std::string_view text);

// printable() for a message of several lines: its line breaks stay.
std::string printableLines(std::string_view text);

}  // namespace parvolin::base
