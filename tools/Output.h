#pragma once

#include <services/AtomicOutput.h>

#include <iosfwd>
#include <memory>
#include <string>

namespace ertkit_cli {

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
