#include "ResultInfo.h"

namespace ertkit_cli {

std::vector<std::pair<std::string, std::string>> resultFileDetails(const Result_File& file)
{
    return {{"format", file.getTypeName()}};
}

} // namespace ertkit_cli
