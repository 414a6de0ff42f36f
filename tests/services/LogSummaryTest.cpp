// Repeated log lines: the first few of a kind pass, the rest become one summary line.
#include <services/LogSummary.h>

#include <gtest/gtest.h>

using ertkit::LogSummary;
using Level = VELTLogger::Level;

namespace {

TEST(LogSummary, LinesThatDifferOnlyInTheirNumbersAreOneKind)
{
    LogSummary summary;
    int shown = 0;
    for (int page = 0; page < 1000; ++page) shown += summary.admit(Level::Warning, "page " + std::to_string(page) + " is not complete");
    shown += summary.admit(Level::Warning, "found page before first header");
    shown += summary.admit(Level::Error, "page 7 is not complete"); // another level: another kind
    EXPECT_EQ(shown, 5);
    const auto lines = summary.close();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].level, Level::Warning);
    EXPECT_EQ(lines[0].text, "\u2026 997 more like this: page 0 is not complete");
    EXPECT_TRUE(summary.close().empty()) << "closing starts afresh";
    EXPECT_TRUE(summary.admit(Level::Warning, "page 1 is not complete"));
}

TEST(LogSummary, KindsBeyondTheBoundAreCountedTogether)
{
    // Lines that never repeat (a hostile file's texts) cannot grow the summary without bound.
    LogSummary summary;
    std::size_t shown = 0;
    for (std::size_t i = 0; i < LogSummary::s_max_kinds + 50; ++i) shown += summary.admit(Level::Debug, "name " + std::string(1 + i % 26, 'a') + std::string(i / 26 + 1, 'b'));
    EXPECT_EQ(shown, LogSummary::s_max_kinds);
    const auto lines = summary.close();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].text, "\u2026 50 more log lines of other kinds");
}

} // namespace
