#pragma once

#include <services/AtomicOutput.h>
#include <services/OutputGroup.h>

#include <iosfwd>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace ertkit_cli {

class Context;

// Checks an output before any input is read (reported against the output): it must not be one
// of the inputs, and must be writable. No path (or "-", standard output) passes.
bool checkOutput(Context& context, const std::string& output, const std::vector<std::string>& inputs);
// The same for the outputs of one command (empty ones left out), which must also be files of
// their own: two outputs given the same file are refused, against the second.
bool checkOutputs(Context& context, const std::vector<std::string>& outputs, const std::vector<std::string>& inputs);

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

// Outputs of one command that appear together or not at all (ertkit::OutputGroup). Standard
// output may be one of them: what goes there is held until every file is finished, then
// written before the files are put in place.
//
//     OutputSet outputs;
//     ertkit::writeBinx(file, outputs.file(binx_path), {}, false);
//     writeCsv(outputs.add(csv_path));   // "-": standard output
//     outputs.commit();                  // throws WriteError or Interrupted; then nothing is replaced
class OutputSet {
public:
    // The stream of the output at `path`: standard output when no path or "-" is given.
    std::ostream& add(const std::string& path);
    // The stream of the file at `path`, whatever its name ("-" is a file named so).
    std::ostream& file(const std::string& path);
    void commit();

private:
    ertkit::OutputGroup m_files;
    std::ostringstream m_standard;
    bool m_to_standard = false;
};

} // namespace ertkit_cli
