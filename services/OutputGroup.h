#pragma once

#include <services/AtomicOutput.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

namespace ertkit {

// Output files that appear together or not at all: a command writing several files (a BINX
// file and its report) must not leave one replaced and the other not. Each is written under
// its own temporary name (AtomicOutput); commit() first finishes every one of them, so that a
// full disk, a failed check or an interruption replaces nothing, and only then puts them in
// place, the ones written through (pipes, devices: the copy may still fail) before the renames
// (which do not fail on a file system that took the temporary file). Without commit(), every
// temporary file is removed, and a second signal removes them too (removeTemporaryOutputs).
class OutputGroup {
public:
    using Check = std::function<void(const std::filesystem::path&)>;

    // The output to write to `destination`; `check` runs on its finished temporary file and
    // throws to refuse it (AtomicOutput::commit). Throws std::invalid_argument when
    // `destination` is the same file as an output already added (sameFile).
    AtomicOutput& add(const std::filesystem::path& destination, Check check = {});

    // Finishes every output, runs `before_publish` (for what must go out first, such as text
    // on standard output), then puts every output in place. Throws WriteError (naming the
    // output at fault) or Interrupted; nothing is replaced when it throws before the first
    // rename.
    void commit(const std::function<void()>& before_publish = {});

private:
    struct Entry {
        std::unique_ptr<AtomicOutput> output;
        Check check;
    };
    std::vector<Entry> m_outputs;
};

} // namespace ertkit
