#pragma once

#include <filesystem>

namespace ertkit_tools_test {

// A sample survey written once per test program by `ertkit sample` (seed 1), in a folder
// removed when the program ends. Tests must not change its files.
const std::filesystem::path& sampleFolder();

} // namespace ertkit_tools_test
