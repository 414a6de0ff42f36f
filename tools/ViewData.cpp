#include "ViewData.h"

#include "TimeText.h"
#include "ViewReading.h"

#include <services/ArrayKind.h>
#include <services/AtomicOutput.h>
#include <services/BinxFromResult.h>
#include <services/BinxOutput.h>
#include <services/FileOpening.h>
#include <services/Geometry.h>
#include <services/LineFrame.h>
#include <services/SectionLayout.h>
#include <services/Reprocessing.h>

#include <binx/BINX_File.h>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <map>
#include <stdexcept>

namespace ertkit_cli {

using nlohmann::json;

struct ViewData::File {
    std::filesystem::path path;
    std::unique_ptr<Result_File> results;
    std::vector<ertkit::ResultValues> values;
    std::vector<ertkit::Reprocessed> recomputed; // with --recordings, as `qc --recordings` judges
    ertkit::QcResult qc;
};

namespace {

json numberOrNull(const std::optional<double>& value)
{
    return value && std::isfinite(*value) ? json(*value) : json(nullptr);
}

json numberOrNull(double value)
{
    return std::isfinite(value) ? json(value) : json(nullptr);
}

json reasonNames()
{
    json names = json::array();
    for (std::size_t r = 0; r < ertkit::s_qc_reason_count; ++r) names.push_back(ertkit::qcReasonName(static_cast<ertkit::QcReason>(r)));
    return names;
}

json rulesJson(const ertkit::QcSettings& settings)
{
    json rules = json::array();
    for (const auto& entry : settings.entries()) {
        // A setting is a rule when it can be switched off.
        bool rule = true;
        try {
            ertkit::QcSettings copy = settings;
            copy.disable(entry.name);
        } catch (const std::invalid_argument&) {
            rule = false;
        }
        rules.push_back({{"name", entry.name}, {"value", numberOrNull(entry.value)}, {"on", entry.on}, {"rule", rule}});
    }
    return rules;
}

json verdictJson(const ertkit::QcResult& qc)
{
    json reasons = json::array();
    for (const ertkit::QcReading& reading : qc.readings) reasons.push_back(reading.reasons);
    return {{"reasons", std::move(reasons)}, {"counts", qc.counts}, {"rejected", qc.rejected}, {"notes", qc.notes}};
}

// The arrays the page draws from: the place of each reading on its panel's pseudo-section and
// its values. Panels and places are those of the tool's pseudo-section (services/
// SectionLayout.h); each reading keeps its own marker, so that it can be kept or rejected
// on its own, repeats included.
json sectionJson(const std::vector<ertkit::ResultValues>& values)
{
    std::vector<ertkit::SectionReading> readings(values.size());
    for (std::size_t n = 0; n < values.size(); ++n) readings[n] = {values[n].electrodes, values[n].ignore, true};
    const ertkit::SectionLayout layout = ertkit::sectionLayout(readings);
    std::vector<std::optional<std::size_t>> panel_of(values.size());
    json panels = json::array();
    for (std::size_t p = 0; p < layout.panels.size(); ++p) {
        panels.push_back(ertkit::panelName(layout.panels[p]));
        for (const std::size_t point : layout.panels[p].points)
            for (const std::size_t reading : layout.points[point].readings) panel_of[reading] = p;
    }
    // A repeat left out of its marker's mean (ignored beside measured ones) belongs to the
    // panel of the marker at its place.
    std::map<std::pair<double, double>, std::size_t> panel_at;
    for (std::size_t p = 0; p < layout.panels.size(); ++p)
        for (const std::size_t point : layout.panels[p].points)
            panel_at.emplace(std::pair(layout.points[point].position.abscissa, layout.points[point].position.depth), p);
    for (std::size_t n = 0; n < values.size(); ++n)
        if (!panel_of[n] && layout.positions[n])
            if (const auto found = panel_at.find({layout.positions[n]->abscissa, layout.positions[n]->depth}); found != panel_at.end())
                panel_of[n] = found->second;
    json panel = json::array(), x = json::array(), depth = json::array();
    json rhoa = json::array(), m = json::array(), r = json::array(), vp = json::array(), i = json::array(), k = json::array(),
         ignore = json::array();
    for (std::size_t n = 0; n < values.size(); ++n) {
        const auto& v = values[n];
        const auto& position = layout.positions[n];
        if (position && panel_of[n]) {
            panel.push_back(*panel_of[n]);
            x.push_back(position->abscissa);
            depth.push_back(position->depth);
        } else {
            panel.push_back(nullptr), x.push_back(nullptr), depth.push_back(nullptr);
        }
        rhoa.push_back(numberOrNull(v.rhoa));
        m.push_back(numberOrNull(v.m));
        r.push_back(numberOrNull(v.resistance));
        vp.push_back(numberOrNull(v.vp));
        i.push_back(numberOrNull(v.current));
        k.push_back(numberOrNull(v.k));
        ignore.push_back(v.ignore ? 1 : 0);
    }
    return {{"panels", panels}, {"panel", panel}, {"x", x},   {"depth", depth}, {"rhoa", rhoa}, {"m", m},
            {"r", r},           {"vp", vp},       {"i", i},   {"k", k},         {"ignore", ignore}, {"axis", ertkit::distanceTitle(layout.line)}};
}

json summaryJson(const std::filesystem::path& path, const std::vector<ertkit::ResultValues>& values)
{
    std::size_t ignored = 0;
    std::optional<HighPrecisionTime> first, last;
    for (const auto& v : values) {
        ignored += v.ignore ? 1 : 0;
        if (const auto time = ertkit::storedTime(v.start_time)) {
            if (!first || *time < *first) first = time;
            if (!last || *time > *last) last = time;
        }
    }
    return {{"path", path.string()},
            {"format", ertkit::lowerExtension(path)},
            {"readings", values.size()},
            {"ignored", ignored},
            {"first_time", first ? json(isoTime(*first, "")) : json(nullptr)},
            {"last_time", last ? json(isoTime(*last, "")) : json(nullptr)}};
}

} // namespace

ViewData::ViewData(std::vector<std::string> paths, std::string recordings) : m_recordings(std::move(recordings))
{
    for (const std::string& path : paths) {
        auto file = std::make_unique<File>();
        file->path = path;
        load(*file);
        m_files.push_back(std::move(file));
    }
}

ViewData::~ViewData() = default;

void ViewData::load(File& file) const
{
    file.results = ertkit::openResults(file.path.string(), noProgress());
    file.values.clear();
    for (const Result_Reader* r : file.results->getResults()) file.values.push_back(ertkit::resultValues(*r));
    file.recomputed.clear();
    if (!m_recordings.empty()) {
        ertkit::ReprocessOptions reprocessing;
        reprocessing.recordings = m_recordings;
        file.recomputed = ertkit::reprocess(file.results->getResults(), file.path, reprocessing, noProgress());
    }
    check(file);
}

void ViewData::check(File& file) const
{
    file.qc = ertkit::runQualityControl(file.results->getResults(), m_settings, file.recomputed.empty() ? nullptr : &file.recomputed);
}

const ViewData::File& ViewData::fileAt(std::size_t file) const
{
    if (file >= m_files.size()) throw std::out_of_range(fmt::format("file {} was not given (there are {})", file, m_files.size()));
    return *m_files[file];
}

std::string ViewData::surveyJson(bool edit) const
{
    json files = json::array();
    for (const auto& file : m_files) {
        json entry = sectionJson(file->values);
        entry["name"] = file->path.filename().string();
        entry["summary"] = summaryJson(file->path, file->values);
        entry["qc"] = verdictJson(file->qc);
        files.push_back(std::move(entry));
    }
    return json{{"files", std::move(files)}, {"reasons", reasonNames()}, {"rules", rulesJson(m_settings)}, {"edit", edit}}.dump();
}

std::string ViewData::readingJson(std::size_t file, std::size_t index) const
{
    const File& f = fileAt(file);
    if (index >= f.values.size()) throw std::out_of_range(fmt::format("reading {} does not exist (the file has {})", index, f.values.size()));
    const std::filesystem::path joined = m_recordings.empty() ? f.path : std::filesystem::path(m_recordings) / f.path.filename();
    json reading = viewReading(*f.results->getResults()[index], f.values[index], joined);
    const ertkit::QcReading& qc = f.qc.readings[index];
    json reasons = json::array();
    for (std::size_t r = 0; r < ertkit::s_qc_reason_count; ++r)
        if (qc.reasons & (ertkit::QcReasons{1} << r)) reasons.push_back(ertkit::qcReasonName(static_cast<ertkit::QcReason>(r)));
    reading["qc"] = {{"reasons", reasons},
                     {"err", numberOrNull(qc.err)},
                     {"ip_err", numberOrNull(qc.ip_err)},
                     {"reciprocal", qc.reciprocal ? json(*qc.reciprocal) : json(nullptr)},
                     {"reciprocal_error", numberOrNull(qc.reciprocal_error)},
                     {"decay_misfit", numberOrNull(qc.decay_misfit)}};
    reading["file"] = file;
    reading["index"] = index;
    return reading.dump();
}

std::string ViewData::applyRules(const json& rules)
{
    if (!rules.is_object()) throw std::invalid_argument("the rules are an object {name: value}");
    ertkit::QcSettings settings;
    for (const auto& [name, value] : rules.items()) {
        if (value.is_boolean() && !value.get<bool>()) settings.disable(name);
        else if (value.is_number()) settings.set(name, value.get<double>());
        else if (!(value.is_boolean() && value.get<bool>())) throw std::invalid_argument(fmt::format("rule {}: expected a number or false", name));
    }
    m_settings = settings;
    json files = json::array();
    for (const auto& file : m_files) {
        check(*file);
        files.push_back(verdictJson(file->qc));
    }
    return json{{"files", std::move(files)}, {"reasons", reasonNames()}, {"rules", rulesJson(m_settings)}}.dump();
}

std::filesystem::path ViewData::savedPath(const std::filesystem::path& path)
{
    std::filesystem::path saved = path;
    return saved.replace_filename(path.stem().string() + "-qc.binx");
}

std::filesystem::path ViewData::backupPath(const std::filesystem::path& path)
{
    std::filesystem::path backup = path;
    return backup += ".bak";
}

std::string ViewData::save(std::size_t file, const std::vector<std::size_t>& reject, const std::vector<std::size_t>& keep, bool in_place)
{
    if (file >= m_files.size()) throw std::invalid_argument(fmt::format("file {} was not given (there are {})", file, m_files.size()));
    File& f = *m_files[file];
    for (const auto* list : {&reject, &keep})
        for (const std::size_t index : *list)
            if (index >= f.values.size()) throw std::invalid_argument(fmt::format("reading {} does not exist (the file has {})", index, f.values.size()));
    if (in_place && ertkit::lowerExtension(f.path) != ".binx")
        throw std::invalid_argument("only a BINX file is written in place; this one is saved as " + savedPath(f.path).filename().string());
    // The file is read again as it is on disk, so that what is written is the file with only
    // the flags chosen changed.
    std::unique_ptr<BINX_File> binx = ertkit::binxFileOf(ertkit::openResults(f.path.string(), noProgress()));
    if (binx->getDatas().size() != f.values.size()) throw std::runtime_error("the file changed on disk since it was opened; nothing written");
    for (const std::size_t index : reject) binx->getDatas()[index]->ignore = 1;
    for (const std::size_t index : keep) binx->getDatas()[index]->ignore = 0;
    const std::filesystem::path destination = in_place ? f.path : savedPath(f.path);
    json answer{{"written", destination.string()}, {"backup", nullptr}};
    if (in_place) {
        const std::filesystem::path backup = backupPath(f.path);
        if (!std::filesystem::exists(backup)) {
            ertkit::AtomicOutput copy(backup);
            std::ifstream original(f.path, std::ios::binary);
            copy.stream() << original.rdbuf();
            copy.commit();
        }
        answer["backup"] = backup.string();
    }
    ertkit::writeBinx(*binx, destination, {}, false);
    if (in_place) load(f);
    return answer.dump();
}

} // namespace ertkit_cli
