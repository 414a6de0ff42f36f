#pragma once

#include <services/QualityControl.h>
#include <services/ResultValues.h>

#include <host/Result_File.h>

#include <nlohmann/json_fwd.hpp>

#include <cstddef>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ertkit_cli {

// What the viewer's page is given, as JSON. A file is named by its place in the list the
// command was given (0, 1...): the page never names a path, so nothing but those files is read
// on its behalf.
//
// The survey is sent as arrays, one value per reading and one array per quantity, so that the
// page draws tens of thousands of readings from a few typed arrays rather than from as many
// objects.
class ViewData {
public:
    // Reads every file; `recordings` is the folder of the full-wave recordings, empty for each
    // file's own folder. Given, quality control judges each reading on its half cycles too, as
    // `ertkit qc --recordings` does. Throws what opening a file throws.
    ViewData(std::vector<std::string> paths, std::string recordings);
    ~ViewData();
    ViewData(const ViewData&) = delete;
    ViewData& operator=(const ViewData&) = delete;

    std::size_t fileCount() const { return m_files.size(); }

    // {"files": [{"name", "readings", "summary": {...}, "panels": [names], "panel", "x",
    // "depth", "rhoa", "m", "r", "vp", "i", "k", "ignore", "reasons"}], "reasons": [names],
    // "rules": [{name, value, on, rule}]}: `rule` false for a setting that cannot be switched off: each array holds one entry per reading, null where the
    // reading has no such value (no position, no K...).
    // `edit`: whether the page may save, given to it as "edit".
    std::string surveyJson(bool edit) const;

    // One reading in full: its values, stacked signal, windows and decay, fitted model, its
    // injection in the recordings and its quality-control verdict. Throws std::out_of_range
    // for a file or reading that does not exist.
    std::string readingJson(std::size_t file, std::size_t index) const;

    // Runs quality control again with `rules` ({name: number, or false to switch a rule off;
    // a rule not named keeps its default}) and gives {"files": [{"reasons", "counts",
    // "rejected"}], "reasons", "rules"}. Throws std::invalid_argument for a bad rule, and
    // then keeps the rules it had.
    std::string applyRules(const nlohmann::json& rules);

    // Writes `file` with the ignore flag of each reading in `reject` set and of each in `keep`
    // cleared (every other as it is): as NAME-qc.binx beside it, or over it (BINX files only)
    // after copying it to NAME.binx.bak unless that backup already exists (the earliest
    // original is kept). Gives {"written", "backup"}. Throws std::invalid_argument for an
    // index out of range, WriteError when the file cannot be written (then nothing changed).
    std::string save(std::size_t file, const std::vector<std::size_t>& reject, const std::vector<std::size_t>& keep, bool in_place);

    // Where save writes, for a file given as `path`.
    static std::filesystem::path savedPath(const std::filesystem::path& path);
    static std::filesystem::path backupPath(const std::filesystem::path& path);

private:
    struct File;
    void load(File& file) const;
    void check(File& file) const;
    const File& fileAt(std::size_t file) const;

    std::vector<std::unique_ptr<File>> m_files;
    std::string m_recordings;
    ertkit::QcSettings m_settings;
};

} // namespace ertkit_cli
