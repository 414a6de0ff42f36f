#pragma once

#include <string>
#include <string_view>

namespace ertkit_cli {

// Text that came from a file (page names, folder texts, names of recordings), made safe to
// print on a terminal: control bytes, bytes that are not UTF-8 and the C1 controls are shown as
// \xNN, so that no escape sequence from a file reaches the terminal. Line ends and tabs stay.
std::string printable(std::string_view text);
// The same for text that must stay on one line (a log line, a failure): line ends and tabs are
// shown as \x0A and \x09 too, so that a file cannot forge a line of its own.
std::string printableLine(std::string_view text);

// A message quoting what a user typed, with each word longer than `most` bytes cut short
// (ertkit::excerpt): an option of a thousand fields is not echoed whole.
std::string longWordsCut(std::string_view text, std::size_t most = 40);

// Without leading and trailing blanks.
std::string trimmed(std::string_view text);

} // namespace ertkit_cli
