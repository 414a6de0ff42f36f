#pragma once

#include <services/AtomicOutput.h>

#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

namespace ertkit_cli {

class Context;

// Checks an output before any input is read (reported against the output): it must not be one
// of the inputs, and must be writable. No path (or "-", standard output) passes.
bool checkOutput(Context& context, const std::string& output, const std::vector<std::string>& inputs);

// Where a command writes what it produces: standard output when no path (or "-") is given,
// otherwise a file that appears only once complete.
class Output {
public:
    explicit Output(const std::string& path);

    std::ostream& stream();
    bool toFile() const { return m_file != nullptr; }
    // Flushes standard output, or finishes and renames the file (AtomicOutput::commit).
    void commit();

private:
    std::unique_ptr<ertkit::AtomicOutput> m_file;
};

} // namespace ertkit_cli
