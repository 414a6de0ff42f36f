// The reprocessing report: stored beside recomputed values, by column name.
#include <services/ReprocessReport.h>
#include <services/WindowTimes.h>

#include <binx/BINX_Data.h>

#include <gtest/gtest.h>

#include <numbers>
#include <string>

using namespace ertkit;

namespace {

// A Wenner record (a = 5 m, so K = 2 pi a) with two windows.
BINX_Data storedRecord()
{
    BINX_Data r;
    const double x[4] = {0.0, 15.0, 5.0, 10.0};
    for (int e = 0; e < 4; ++e) r.quadrupole.setXYZ(static_cast<ElectrodeName>(e), x[e], 0.0, 0.0);
    r.polarizationVoltage = 40.0;
    r.injectedCurrent = 100.0;
    r.ip = 8.0;
    r.setMppx({10.0, 6.0});
    r.samplingRateCode = BINX_Data::SR_10MS;
    writeWindowTimes(r, {20.0, 40.0, 80.0});
    return r;
}

Reprocessed recomputed()
{
    Reprocessed v;
    v.ok = true;
    v.voltage_recording = "v.vmn";
    v.current_recording = "i.iab";
    v.voltage_start = 2;
    v.voltage_channel = 3;
    v.current_start = 1;
    v.halves_used = 7;
    v.halves_dropped = 1;
    v.vp = 42.0;
    v.vp_deviation = 0.5;
    v.current = 80.0;
    v.current_deviation = 0.25;
    v.window_times = {20.0, 40.0, 80.0};
    v.window_m = {11.0, 7.0};
    v.m = 6.0;
    v.m_deviation = 0.125;
    return v;
}

class Row {
public:
    explicit Row(const std::vector<ReportCell>& cells) : m_cells(cells) {}
    const ReportCell& operator[](const std::string& name) const
    {
        const auto& columns = reprocessReportColumns();
        for (std::size_t c = 0; c < columns.size(); ++c)
            if (columns[c].name == name) return m_cells.at(c);
        throw std::out_of_range(name);
    }
    double real(const std::string& name) const { return std::get<double>((*this)[name]); }
    std::int64_t whole(const std::string& name) const { return std::get<std::int64_t>((*this)[name]); }
    bool undefined(const std::string& name) const { return std::holds_alternative<std::monostate>((*this)[name]); }

private:
    const std::vector<ReportCell>& m_cells;
};

} // namespace

TEST(ReprocessReport, StoredBesideRecomputedWithRelativeDifferencesAndResistivities)
{
    ReprocessReport report;
    const BINX_Data stored = storedRecord();
    const Row row(report.row(5, stored, recomputed()));
    for (const auto& [name, value] : {std::pair{"index", 5}, {"ok", 1}, {"voltage_start", 2}, {"voltage_channel", 3}, {"current_start", 1},
                                      {"halves_used", 7}, {"halves_dropped", 1}})
        EXPECT_EQ(row.whole(name), value) << name;
    EXPECT_EQ(std::get<std::string>(row["failure"]), "");
    EXPECT_EQ(std::get<std::string>(row["voltage_recording"]), "v.vmn");
    struct Case {
        const char* name;
        double value;
    };
    const double k = 2.0 * std::numbers::pi * 5.0;
    const Case cases[] = {
        {"vp_stored_mV", 40.0}, {"vp_new_mV", 42.0}, {"vp_rel_diff", 0.05}, {"vp_std_mV", 0.5},
        {"i_stored_mA", 100.0}, {"i_new_mA", 80.0}, {"i_rel_diff", -0.2}, {"i_std_mA", 0.25},
        {"m_stored_mV_V", 8.0}, {"m_new_mV_V", 6.0}, {"m_rel_diff", -0.25}, {"m_std_mV_V", 0.125},
        {"r_stored_ohm", 0.4}, {"r_new_ohm", 42.0 / 80.0}, {"rhoa_stored_ohm_m", 0.4 * k}, {"rhoa_new_ohm_m", 42.0 / 80.0 * k},
    };
    for (const Case& c : cases) EXPECT_NEAR(row.real(c.name), c.value, 1e-12) << c.name;
}

TEST(ReprocessReport, AFailureKeepsTheStoredValuesAndLeavesTheRecomputedOnesUndefined)
{
    ReprocessReport report;
    BINX_Data stored = storedRecord();
    Reprocessed failed;
    failed.failure = "voltage recording missing";
    const Row row(report.row(1, stored, failed));
    EXPECT_EQ(row.whole("ok"), 0);
    EXPECT_EQ(std::get<std::string>(row["failure"]), "voltage recording missing");
    for (const char* name : {"voltage_start", "voltage_channel", "current_start", "current_channel", "vp_new_mV", "vp_rel_diff",
                             "i_new_mA", "m_new_mV_V", "m_std_mV_V", "r_new_ohm", "rhoa_new_ohm_m"})
        EXPECT_TRUE(row.undefined(name)) << name;
    EXPECT_EQ(row.real("vp_stored_mV"), 40.0);

    // Recomputed without windows: no M; a stored value of 0 gives no relative difference.
    stored.polarizationVoltage = 0.0;
    Reprocessed no_windows = recomputed();
    no_windows.window_m.clear();
    const Row other(report.row(1, stored, no_windows));
    EXPECT_TRUE(other.undefined("m_new_mV_V"));
    EXPECT_TRUE(other.undefined("m_rel_diff"));
    EXPECT_TRUE(other.undefined("vp_rel_diff"));
    EXPECT_EQ(std::get<std::string>(other["failure"]), "");
}
