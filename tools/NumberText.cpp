#include "NumberText.h"

#include <nlohmann/json.hpp>

namespace ertkit_cli {

std::string jsonText(std::string_view text)
{
    return nlohmann::json(std::string(text)).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

} // namespace ertkit_cli
