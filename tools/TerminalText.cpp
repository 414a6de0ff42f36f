#include "TerminalText.h"

#include <services/MessageText.h>

#include <fmt/format.h>

#include <algorithm>

namespace ertkit_cli {

namespace {

// Length of the well-formed UTF-8 sequence of a printable character at the start of `text`,
// 0 when there is none there.
std::size_t printableSequence(std::string_view text)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    if (lead >= 0x20 && lead < 0x7F) return 1;
    std::size_t length = 0;
    char32_t code = 0;
    if (lead >= 0xC2 && lead <= 0xDF) length = 2, code = lead & 0x1F;
    else if (lead >= 0xE0 && lead <= 0xEF) length = 3, code = lead & 0x0F;
    else if (lead >= 0xF0 && lead <= 0xF4) length = 4, code = lead & 0x07;
    else return 0;
    if (text.size() < length) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) return 0;
        code = code << 6 | (byte(i) & 0x3F);
    }
    const bool overlong = (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
    const bool invalid = (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF;
    const bool control = code >= 0x80 && code < 0xA0; // C1: ESC-like on many terminals
    return overlong || invalid || control ? 0 : length;
}

} // namespace

namespace {

std::string escaped(std::string_view text, bool keep_lines)
{
    std::string out;
    out.reserve(text.size());
    while (!text.empty()) {
        const char c = text.front();
        if (keep_lines && (c == '\n' || c == '\t')) {
            out += c;
            text.remove_prefix(1);
            continue;
        }
        const std::size_t n = printableSequence(text);
        if (n == 0) {
            out += fmt::format("\\x{:02X}", static_cast<unsigned char>(c));
            text.remove_prefix(1);
            continue;
        }
        out.append(text.substr(0, n));
        text.remove_prefix(n);
    }
    return out;
}

} // namespace

std::string printable(std::string_view text)
{
    return escaped(text, true);
}

std::string printableLine(std::string_view text)
{
    return escaped(text, false);
}

std::string longWordsCut(std::string_view text, std::size_t most)
{
    std::string out;
    while (!text.empty()) {
        const std::size_t blank = std::min(text.find(' '), text.size());
        out += ertkit::excerpt(text.substr(0, blank), most);
        if (blank < text.size()) out += ' ';
        text.remove_prefix(std::min(blank + 1, text.size()));
    }
    return out;
}

std::string trimmed(std::string_view text)
{
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(" \t");
    return std::string(text.substr(first, last - first + 1));
}

} // namespace ertkit_cli
