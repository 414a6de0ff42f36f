#include "SampleFolder.h"

#include "ToolRunner.h"

#include "support/TestSupport.h"

#include <memory>
#include <stdexcept>

namespace ertkit_tools_test {

const std::filesystem::path& sampleFolder()
{
    static const auto dir = std::make_unique<ertkit_test::TempDir>();
    static const std::filesystem::path folder = [] {
        const ToolRun run = runTool({"sample", "survey"}, dir->path());
        if (run.status != 0) throw std::runtime_error("ertkit sample failed: " + run.err);
        return dir->path() / "survey";
    }();
    return folder;
}

} // namespace ertkit_tools_test
