#include "NumberText.h"

#include <nlohmann/json.hpp>

namespace ertkit_cli {

void appendReal(fmt::memory_buffer& out, double value)
{
    const std::size_t from = out.size();
    fmt::format_to(std::back_inserter(out), "{}", value);
    if (!std::isfinite(value)) return;
    for (std::size_t i = from; i < out.size(); ++i)
        if (out[i] == '.' || out[i] == 'e') return;
    fmt::format_to(std::back_inserter(out), ".0");
}

void appendReal(fmt::memory_buffer& out, const std::optional<double>& value)
{
    if (value) appendReal(out, *value);
}

std::string jsonText(std::string_view text)
{
    return nlohmann::json(std::string(text)).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

} // namespace ertkit_cli
