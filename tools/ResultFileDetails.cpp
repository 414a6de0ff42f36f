#include "ResultInfo.h"

#include <bin/BIN_File.h>
#include <binx/BINX_File.h>

#include <fmt/format.h>

namespace ertkit_cli {

namespace {

// A summary stays a line: a long list of names (a legacy file names a pair of recordings per
// injection) shows its first few.
std::string nameList(const std::vector<std::string>& names)
{
    constexpr std::size_t shown = 6;
    if (names.empty()) return "none";
    std::string text = std::to_string(names.size()) + ":";
    for (std::size_t i = 0; i < names.size() && i < shown; ++i) text += " " + names[i];
    if (names.size() > shown) text += fmt::format(" ... {} more", names.size() - shown);
    return text;
}

} // namespace

std::vector<std::pair<std::string, std::string>> resultFileDetails(const Result_File& file)
{
    if (const auto* binx = dynamic_cast<const BINX_File*>(&file)) {
        const auto version = binx->getSoftwareVersion();
        return {{"format", fmt::format("BINX version {}, header byte {}", static_cast<std::uint32_t>(binx->getVersion()), binx->getHeaderByte())},
                {"software", fmt::format("{} version {}.{}.{}", static_cast<int>(binx->getSoftware()), version[0], version[1], version[2])},
                {"folder", binx->getFolderPath().empty() ? "none" : binx->getFolderPath()},
                {"recordings", nameList(binx->getFileNamesIabOrVmn())},
                {"project files", nameList(binx->getFileNamesProject())}};
    }
    if (const auto* bin = dynamic_cast<const BIN_File*>(&file)) {
        return {{"format", fmt::format("BIN (legacy), version {:#x}", BIN_File::s_version)},
                {"folder", bin->getFolderPath()},
                {"recordings", nameList(bin->getFileNames())}};
    }
    return {{"format", file.getTypeName()}};
}

} // namespace ertkit_cli
