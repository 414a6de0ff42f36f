#include "TerminalProgress.h"

#include "TerminalText.h"

#include <services/Interruption.h>

#include <fmt/format.h>

#include <algorithm>
#include <ostream>

namespace ertkit_cli {

namespace {
constexpr int s_bar_width = 30;
constexpr auto s_redraw_interval = std::chrono::milliseconds(100);
} // namespace

TerminalProgress::TerminalProgress(std::ostream& out, std::string label) : m_out(out), m_label(std::move(label)) {}

TerminalProgress::~TerminalProgress()
{
    if (!m_drawn) return;
    draw(true);
    m_out << '\n' << std::flush;
}

void TerminalProgress::setRange(unsigned int first, unsigned int second, unsigned int step)
{
    m_counting = first > second;
    m_low = std::min(first, second);
    m_high = std::max(first, second);
    m_step = step == 0 ? 1 : step;
    m_position = m_low;
    draw(false);
}

void TerminalProgress::setPosition(unsigned int position)
{
    m_position = position;
    draw(false);
}

void TerminalProgress::setFormattedText(std::uint32_t /*text_id*/, const std::string& first, const std::string& second)
{
    // The library pads its texts with blanks (an unidentified meter's speed is 40 of them).
    const std::string a = trimmed(first), b = trimmed(second);
    m_detail = b.empty() ? a : a + " " + b;
    draw(true);
}

bool TerminalProgress::isCancelled()
{
    return ertkit::interruptionSignal() != 0;
}

void TerminalProgress::finish()
{
    if (m_counting || m_high <= m_low) return;
    m_position = m_high;
    draw(true);
}

void TerminalProgress::setText(const std::string& text)
{
    m_detail = trimmed(text);
    draw(true);
}

void TerminalProgress::step()
{
    m_position += m_step;
    draw(false);
}

void TerminalProgress::countShareOf(std::uint64_t total, std::uint64_t (*per_step)(std::uint64_t))
{
    m_count_total = total;
    m_count_units = per_step;
}

std::string TerminalProgress::line() const
{
    std::string text = m_label;
    if (!m_detail.empty()) text += " (" + m_detail + ")";
    const bool share = m_counting && m_count_total > 0 && m_count_units != nullptr;
    if (!share && (m_counting || m_high <= m_low)) return fmt::format("{} {}", text, m_position);
    const double done = share ? std::clamp(static_cast<double>(m_count_units(m_position)) / static_cast<double>(m_count_total), 0.0, 1.0)
                              : std::clamp(static_cast<double>(m_position - std::min<unsigned long long>(m_position, m_low)) /
                                               static_cast<double>(m_high - m_low),
                                           0.0, 1.0);
    const int filled = static_cast<int>(done * s_bar_width + 0.5);
    return fmt::format("{} [{}{}] {:3.0f}%", text, std::string(static_cast<std::size_t>(filled), '#'),
                       std::string(static_cast<std::size_t>(s_bar_width - filled), '.'), done * 100.0);
}

void TerminalProgress::draw(bool force)
{
    const auto now = std::chrono::steady_clock::now();
    if (!force && m_drawn && now - m_last_draw < s_redraw_interval) return;
    m_last_draw = now;
    m_drawn = true;
    m_out << '\r' << printable(line()) << "\x1b[K" << std::flush;
}

} // namespace ertkit_cli
