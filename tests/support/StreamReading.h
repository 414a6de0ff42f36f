#pragma once

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

namespace ertkit_test {

// Reads the bytes as a file at a path named `name` and from a stream given that path: a stream
// constructor must read them as the path constructor reads the file, to the log line and progress call.
template <typename File, typename Describe>
void expectSameReadingFromAStream(const std::vector<std::uint8_t>& bytes, const std::string& name, Describe describe,
                                  const std::string& what)
{
    const TempDir dir;
    const std::string path = dir.file(name);
    writeFile(path, bytes);
    const auto by_path = readingOutcome([&](ProgressCallback& p) { return File(path, p); }, describe);
    const auto by_stream = readingOutcome(
        [&](ProgressCallback& p) {
            std::istringstream in(std::string(bytes.begin(), bytes.end()));
            return File(in, path, p);
        },
        describe);
    EXPECT_EQ(by_path, by_stream) << what;
}

} // namespace ertkit_test
