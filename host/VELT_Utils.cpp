#include <host/VELT_Utils.h>

#include <algorithm>

namespace VELT_Utils {

namespace {

bool isSeparator(char c)
{
    return c == '/' || c == '\\';
}

// End of the folder that starts at `begin` (the next separator or the end).
std::size_t folderEnd(const std::string& path, std::size_t begin)
{
    const auto it = std::find_if(path.begin() + static_cast<std::ptrdiff_t>(begin), path.end(), isSeparator);
    return static_cast<std::size_t>(it - path.begin());
}

} // namespace

std::string getCommonPath(const std::string& first, const std::string& second)
{
    std::size_t common = 0; // length of the shared prefix made of whole folders
    std::size_t pos = 0;
    while (pos <= first.size() && pos <= second.size()) {
        const std::size_t end_first = folderEnd(first, pos);
        const std::size_t end_second = folderEnd(second, pos);
        if (end_first != end_second || first.compare(pos, end_first - pos, second, pos, end_second - pos) != 0) break;
        common = end_first;
        if (end_first == first.size() || end_second == second.size()) break;
        if (!isSeparator(second[end_second])) break;
        pos = end_first + 1;
    }
    return first.substr(0, common);
}

void hideFile(const std::string& /*path*/) {}

} // namespace VELT_Utils
