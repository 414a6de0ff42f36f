#include <services/MessageText.h>

namespace ertkit {

std::string excerpt(std::string_view text, std::size_t most)
{
    if (text.size() <= most) return std::string(text);
    std::size_t cut = most;
    // Back to the first byte of a character: continuation bytes are 10xxxxxx.
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    return std::string(text.substr(0, cut)) + "\u2026";
}

} // namespace ertkit
