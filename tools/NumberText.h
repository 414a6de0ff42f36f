#pragma once

#include <fmt/format.h>

#include <cmath>
#include <optional>
#include <string>
#include <string_view>

namespace ertkit_cli {

// Numbers in the shortest form that reads back to the same value. JSON has no NaN or
// infinity: there they become null; in CSV they stay as "nan"/"inf", and a missing value is
// an empty cell.
template <typename Number>
void appendNumber(fmt::memory_buffer& out, Number value, bool json)
{
    if (json && !std::isfinite(value)) {
        fmt::format_to(std::back_inserter(out), "null");
        return;
    }
    fmt::format_to(std::back_inserter(out), "{}", value);
}

template <typename Number>
void appendNumber(fmt::memory_buffer& out, const std::optional<Number>& value, bool json)
{
    if (value)
        appendNumber(out, *value, json);
    else if (json)
        fmt::format_to(std::back_inserter(out), "null");
}

// A real number that always reads back as one: the shortest form, with ".0" added to a whole
// number, so that a column of positions 5 and 5.5 is read as floats in every file. A missing
// value is an empty cell.
void appendReal(fmt::memory_buffer& out, double value);
void appendReal(fmt::memory_buffer& out, const std::optional<double>& value);

// A JSON string literal, quotes included; bytes that are not UTF-8 become U+FFFD.
std::string jsonText(std::string_view text);

} // namespace ertkit_cli
