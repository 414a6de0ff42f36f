#pragma once

#include <string>
#include <string_view>

namespace ertkit_cli {

// Text that came from a file (page names, folder texts, names of recordings), made safe to
// print on a terminal: control bytes, bytes that are not UTF-8 and the C1 controls are shown as
// \xNN, so that no escape sequence from a file reaches the terminal. Line ends and tabs stay.
std::string printable(std::string_view text);

// Without leading and trailing blanks.
std::string trimmed(std::string_view text);

} // namespace ertkit_cli
