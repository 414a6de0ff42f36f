#pragma once

#include <host/ProgressCallback.h>

#include <chrono>
#include <iosfwd>
#include <string>

namespace ertkit_cli {

// A one-line progress bar drawn on a terminal from what the library reports through its
// progress sink. Redraws at most ten times a second, and ends its line when destroyed.
// Readers announce the range (10000, 0) and then step without knowing their total: that is
// shown as a running count. Ranges given low bound first (downloads, conversions, exports)
// are shown as a bar.
class TerminalProgress final : public ProgressCallback {
public:
    TerminalProgress(std::ostream& out, std::string label);
    ~TerminalProgress() override;
    TerminalProgress(const TerminalProgress&) = delete;
    TerminalProgress& operator=(const TerminalProgress&) = delete;

    void setRange(unsigned int first, unsigned int second, unsigned int step) override;
    void setPosition(unsigned int position) override;
    void setFormattedText(std::uint32_t text_id, const std::string& first, const std::string& second) override;
    void setText(const std::string& text) override;
    void step() override;
    // Asks the work to stop once the tool was interrupted (SIGINT, SIGTERM).
    bool isCancelled() override;

    // The work is done: the bar shows its end, whatever the last position reported was (a
    // download's position is that of the last record, one short of its range).
    void finish();

    // A reader that counts without a total reads a file of `total` units, `per_step(steps)` of
    // them read after so many steps: its count is then shown as a share of the file.
    void countShareOf(std::uint64_t total, std::uint64_t (*per_step)(std::uint64_t));

    // The line as it would be drawn now, without the carriage return.
    std::string line() const;

private:
    void draw(bool force);

    std::ostream& m_out;
    std::string m_label;
    std::string m_detail;
    unsigned int m_low = 0;
    unsigned int m_high = 0;
    unsigned int m_step = 1;
    unsigned long long m_position = 0;
    bool m_counting = false;
    std::uint64_t m_count_total = 0;
    std::uint64_t (*m_count_units)(std::uint64_t) = nullptr;
    bool m_drawn = false;
    std::chrono::steady_clock::time_point m_last_draw{};
};

} // namespace ertkit_cli
