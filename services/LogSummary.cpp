#include <services/LogSummary.h>

#include <cctype>

namespace ertkit {

bool LogSummary::admit(VELTLogger::Level level, const std::string& line)
{
    m_key.clear();
    m_key.push_back(static_cast<char>('0' + static_cast<int>(level)));
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (std::isdigit(static_cast<unsigned char>(line[i])) == 0) {
            m_key.push_back(line[i]);
            continue;
        }
        m_key.push_back('#');
        while (i + 1 < line.size() && std::isdigit(static_cast<unsigned char>(line[i + 1])) != 0) ++i;
    }
    const auto found = m_index.find(m_key);
    if (found == m_index.end()) {
        if (m_kinds.size() >= s_max_kinds) {
            if (m_others++ == 0) m_others_level = level;
            return false;
        }
        m_index.emplace(m_key, m_kinds.size());
        m_kinds.push_back({level, line, 1});
        return true;
    }
    return ++m_kinds[found->second].seen <= s_shown_per_kind;
}

std::vector<LogSummary::Line> LogSummary::close()
{
    std::vector<Line> lines;
    for (const Kind& kind : m_kinds)
        if (kind.seen > s_shown_per_kind)
            lines.push_back({kind.level, "\u2026 " + std::to_string(kind.seen - s_shown_per_kind) + " more like this: " + kind.first});
    if (m_others != 0) lines.push_back({m_others_level, "\u2026 " + std::to_string(m_others) + " more log lines of other kinds"});
    m_index.clear();
    m_kinds.clear();
    m_others = 0;
    return lines;
}

} // namespace ertkit
