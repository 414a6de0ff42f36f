#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace ertkit {

// What a message quotes of a user's text: the text itself, or, when it is longer than `most`
// bytes, its beginning followed by "…" (never cutting a UTF-8 character), so that an option
// of a thousand fields does not come back whole.
std::string excerpt(std::string_view text, std::size_t most = 40);

} // namespace ertkit
