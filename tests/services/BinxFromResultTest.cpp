// A BINX record made from a result of another format answers the queries as that result does.
#include <services/BinxFromResult.h>

#include "support/BinxRecordBuilder.h"
#include "support/TestSupport.h"

#include <bin/BIN_File.h>
#include <binx/BINX_Data.h>
#include <writers/BinFileWriter.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace ertkit;
using ertkit_writers::BinFileContents;
using ertkit_writers::BinFileWriter;
using ertkit_writers::BinRecordFields;

namespace {

// What the made record must answer as its source does, each query as text.
std::vector<std::pair<std::string, std::string>> answers(const Result_Reader& r)
{
    std::vector<std::pair<std::string, std::string>> out;
    const auto add = [&out](const char* name, auto value) { out.emplace_back(name, testing::PrintToString(value)); };
    for (int e = 0; e < 4; ++e) {
        const auto n = static_cast<ElectrodeName>(e);
        add("xyz", std::vector<double>{r.getElectrodeX(n), r.getElectrodeY(n), r.getElectrodeZ(n), r.getElectrodeDepth(n)});
        const GeoSpec spec = r.getElectrodeSpec(n);
        add("spec", std::vector<int>{spec.get_unused_node(), static_cast<int>(spec.get_elec_index()), spec.get_geo_type(),
                                     spec.get_north_hemisphere(), spec.get_utm_zone()});
    }
    for (const bool side : {true, false}) {
        add("start time", r.getStartTime(side).ticks());
        add("serial", r.getSerialNumber(side));
        add("user serial", r.getUserSerialNumber(side));
        add("channel", r.getChan(side));
        add("vp", r.getPolarizationVoltage(side));
        add("i", r.getInjectedCurrent(side));
        add("stacks", r.getNStack(side));
        add("period", r.getPeriod(side));
        add("sample time", r.getSampleTime(side).ticks());
    }
    std::vector<double> values;
    const bool full = r.getInjectionType() == InjectionType::FullDutyCycle;
    add("injection", static_cast<int>(r.getInjectionType()));
    add("receiver only", r.isRXOnly());
    add("ip", r.getIp(true, full));
    add("ignore m", r.getIgnoreM());
    r.fillMIp(true, full, values);
    add("windows", values);
    std::vector<std::uint64_t> tm;
    r.fillTM(tm);
    add("window times", tm);
    add("v delay", r.getVDelay());
    add("sp", r.getSpontaneousPotential());
    add("ignore", r.getIgnore());
    add("overload", r.getOverloadedSamples(true));
    add("gap filler", r.isGapFiller(true));
    add("noisy", r.isNoisy());
    add("array", static_cast<int>(r.getElectrodeDisposition()));
    add("gps", std::vector<double>{r.getGpsX(true), r.getGpsY(true), r.getGpsX(false), r.getGpsY(false)});
    add("state", std::vector<double>{r.getVAB(), r.getRsCheck(), r.getTxBat(true), r.getRxBat(true), r.getTxTemp(true), r.getRxTemp(true)});
    return out;
}

void expectSameAnswers(const Result_Reader& source, const BINX_Data& made)
{
    const auto expected = answers(source);
    const auto got = answers(made);
    ASSERT_EQ(expected.size(), got.size());
    for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(got[i].second, expected[i].second) << expected[i].first;
}

} // namespace

TEST(BinxFromResult, ALegacyRecordIsAnsweredAlikeAsBinx)
{
    ertkit_test::TempDir dir;
    BinFileContents contents;
    BinRecordFields plain;
    plain.start_time = 45265.6043402778; // 2023-12-05 14:30:15, the time of the names
    BinRecordFields odd = plain;
    odd.ignore = 1;
    odd.m = 9999.0f;
    odd.flags = 0x01 | 0x08; // overloaded, noisy, gap filler
    odd.channel_byte = 7;
    odd.x = {0.0f, 9999999.0f, 10.0f, 20.0f};
    odd.tm = {20.0f, 40.0f, 80.0f};
    odd.window_m = {3.0f, 2.0f, 1.0f};
    odd.disposition_code = 9;
    contents.records = {plain, odd};
    BinFileWriter::write(dir.file("line.bin"), contents);
    const BIN_File file(dir.file("line.bin"));
    ASSERT_EQ(file.getDatas().size(), 2u);
    for (const BIN_Data* record : file.getDatas()) {
        BINX_Data made;
        fillBinxFromResult(*record, made);
        expectSameAnswers(*record, made);
        EXPECT_EQ(made.origFile, "LINE1.SEQ");
        EXPECT_EQ(made.pulseDurationMs, 2000);
        // A legacy record keeps no stacked signal.
        std::vector<double> stack;
        made.fillStackData(true, stack);
        EXPECT_EQ(std::count(stack.begin(), stack.end(), 0.0), static_cast<std::ptrdiff_t>(stack.size()));
    }
}

TEST(BinxFromResult, ABinxRecordIsAnsweredAlike)
{
    for (const int seed : {1, 2, 3}) {
        BINX_Data source = ertkit_test::sampleBinxRecord(seed);
        // Periods the record can store, and a stacked half cycle to carry over (of at most 800
        // samples: see fillBinxFromResult for longer ones).
        source.samplingRateCode = static_cast<std::uint32_t>(BINX_Data::SR_10MS + seed % 3);
        source.pulseDurationMs = 500 * seed;
        source.tmDelay = 400 + 10 * seed;
        for (std::size_t k = 0; k < source.stackData.size(); ++k) source.stackData[k] = static_cast<float>(k % 37) - 18.0f;
        BINX_Data made;
        fillBinxFromResult(source, made);
        expectSameAnswers(source, made);
        std::vector<double> expected, got;
        source.fillStackData(true, expected);
        made.fillStackData(true, got);
        ASSERT_EQ(got.size(), expected.size()) << seed;
        for (std::size_t k = 0; k < got.size(); ++k) ASSERT_EQ(got[k], expected[k]) << seed << " " << k;
    }
}
