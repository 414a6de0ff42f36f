#pragma once

#include <host/VELTLogger.h>

#include <cstddef>
#include <string>
#include <unordered_map>
#include <vector>

namespace ertkit {

// Log lines summarised by kind, so that a damaged file cannot flood a terminal or a log:
// lines that differ only in their numbers are of one kind; the first few of each kind pass,
// the others are counted, and close() gives one line for each kind that had more:
// "… N more like this: FIRST LINE". At most s_max_kinds kinds are told apart; lines of kinds
// beyond them are counted together. Not synchronised: the caller serialises its use.
class LogSummary {
public:
    static constexpr std::size_t s_shown_per_kind = 3;
    static constexpr std::size_t s_max_kinds = 256;

    struct Line {
        VELTLogger::Level level;
        std::string text;
    };

    // Whether the line is to be shown; otherwise it is counted.
    bool admit(VELTLogger::Level level, const std::string& line);
    // The summary lines, in the order their kinds first appeared; starts afresh.
    std::vector<Line> close();

private:
    struct Kind {
        VELTLogger::Level level;
        std::string first;
        unsigned long long seen = 0;
    };

    std::unordered_map<std::string, std::size_t> m_index; // normalised line -> position in m_kinds
    std::vector<Kind> m_kinds;
    unsigned long long m_others = 0;
    VELTLogger::Level m_others_level = VELTLogger::Level::Warning;
    std::string m_key; // reused, so that admitting a line allocates nothing once warm
};

} // namespace ertkit
