#pragma once

#include <string>

namespace VELT_Utils {

// The longest leading run of whole folders that both paths share. Either separator ('/' or
// '\') splits folders; the result uses the separators of the first path and has no
// trailing one. Paths with nothing in common give an empty string.
std::string getCommonPath(const std::string& first, const std::string& second);

// Files cannot carry a hidden attribute on Linux, and renaming a written file to a dot name
// would lose it for a caller who asked for it by its path: the file is left as written.
void hideFile(const std::string& path);

} // namespace VELT_Utils
