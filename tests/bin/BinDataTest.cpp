#include "BinTestFiles.h"
#include "support/CivilTime.h"

#include <host/HostDefaults.h>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>

using namespace bin_test;
using ertkit_test::LogCapture;
using ertkit_test::civilTime;

namespace {

std::vector<std::uint64_t> tmOf(const BIN_Data& data)
{
    std::vector<std::uint64_t> out{99};
    data.fillTM(out);
    return out;
}

// A file with only names, whose records are then read straight from bytes.
BIN_File namesOnly()
{
    return openBin(BinFileContents{});
}

std::string constructionError(const BinRecordFields& fields)
{
    const BIN_File names = namesOnly();
    return ertkit_test::failure([&] { readRecordBytes(BinFileWriter::record(fields).data(), names); });
}

} // namespace

TEST(BinData, WindowDurationsCountUntilTheFirstZeroOrNegative)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Case {
        std::vector<float> tm;
        float delay;
        std::vector<std::uint64_t> boundaries;
        std::vector<std::string> warnings;
    };
    const std::vector<Case> cases = {
        {{100, 200, 0, 300}, 40, {4, 14, 34}, {"non zero TM3 found after zero one, ignoring"}},
        {{100, -5, 200}, 40, {4, 14}, {"negative TM1 found, skipping next", "non zero TM2 found after zero one, ignoring"}},
        {{-1, -2}, 40, {4}, {"negative TM0 found, skipping next", "negative TM1 found, skipping next"}},
        {{}, 40, {4}, {}},
        // Boundaries truncate each duration before dividing it.
        {{109.9f, 19.99f, 5}, 49.9f, {4, 14, 15, 15}, {}},
        // Not a number counts as a window (of no length).
        {{nan, 100}, 0, {0, 0, 10}, {}},
        {std::vector<float>(20, 10.0f), 0, std::vector<std::uint64_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10,
                                                                       11, 12, 13, 14, 15, 16, 17, 18, 19, 20},
         {}},
    };
    for (const Case& c : cases) {
        BinRecordFields fields;
        fields.tm = {};
        std::copy(c.tm.begin(), c.tm.end(), fields.tm.begin());
        fields.delay_ms = c.delay;
        LogCapture log;
        const BIN_Data data = readRecord(fields);
        EXPECT_EQ(tmOf(data), c.boundaries) << c.tm.size() << " durations, first " << (c.tm.empty() ? 0.0f : c.tm[0]);
        EXPECT_EQ(data.getNTM() + std::size_t{1}, c.boundaries.size());
        EXPECT_EQ(log.lines(VELTLogger::Level::Warning), c.warnings);
    }
}

TEST(BinData, StackCountIsStoredTwoBelowAndSplitBySidePeriodIsFourPulses)
{
    struct Case {
        float stored;
        std::uint64_t voltage, current;
        float pulse_ms;
        std::uint64_t period; // in 10 ms samples
    };
    const Case cases[] = {{5.0f, 4, 3, 2000.0f, 800}, {6.0f, 4, 4, 250.0f, 100}, {0.0f, 1, 1, 1000.0f, 400}, {-1.0f, 1, 0, 24.0f, 9},
                          {-2.0f, 0, 0, 0.0f, 0},     {6.7f, 4, 4, 2000.0f, 800}, {-1.5f, 0, 0, 2000.0f, 800}};
    for (const Case& c : cases) {
        BinRecordFields fields;
        fields.stack_stored = c.stored;
        fields.pulse_duration_ms = c.pulse_ms;
        const BIN_Data data = readRecord(fields);
        EXPECT_EQ(data.getNStack(true), c.voltage) << c.stored;
        EXPECT_EQ(data.getNStack(false), c.current) << c.stored;
        EXPECT_EQ(data.getPeriod(true), c.period) << c.pulse_ms;
        EXPECT_EQ(data.getPeriod(false), c.period) << c.pulse_ms;
    }
}

TEST(BinData, MapsDispositionCodes)
{
    const int expected[] = {10, 11, 12, 17, 4, 5, 7, 8, 20, 1, 2, 9, 18, 13, 1, 14};
    for (int code = -2; code <= 17; ++code) {
        BinRecordFields fields;
        fields.disposition_code = static_cast<std::int16_t>(code);
        const int value = static_cast<int>(readRecord(fields).getElectrodeDisposition());
        EXPECT_EQ(value, code >= 0 && code < 16 ? expected[code] : 0) << "code " << code;
    }
}

TEST(BinData, ChargeabilityAnswersOnlyForTheSecondSideFalse)
{
    BinRecordFields fields;
    fields.m = 9999.0f;
    fields.tm = {100, 200, 300};
    fields.window_m = {10, 20, 30, 40};
    const BIN_Data data = readRecord(fields);
    EXPECT_TRUE(data.getIgnoreM());
    EXPECT_DOUBLE_EQ(data.getIp(false, false), 9.999);
    EXPECT_DOUBLE_EQ(data.getIp(true, false), 9.999);
    EXPECT_EQ(data.getIp(false, true), 0.0);
    EXPECT_EQ(data.getIpError(false, false), 0.0);

    std::vector<double> m{1, 2, 3, 4, 5, 6};
    data.fillMIp(true, false, m);
    EXPECT_EQ(m, (std::vector<double>{10 / 1000.0, 20 / 1000.0, 30 / 1000.0}));
    data.fillMIp(false, true, m);
    EXPECT_EQ(m, std::vector<double>(3, 0.0));
    m = {7};
    data.fillMIpError(true, false, m);
    EXPECT_EQ(m, std::vector<double>(3, 0.0));

    fields.m = 9998.0f;
    EXPECT_FALSE(readRecord(fields).getIgnoreM());
}

TEST(BinData, StoredValuesSidesAndElectrodes)
{
    BinRecordFields fields;
    fields.ignore = 2;
    fields.x = {1, 2, 3, 4};
    fields.y = {5, 6, 7, 8};
    fields.z = {-1, -2, -3, -4};
    fields.gps_x = 600000.5f;
    fields.gps_y = 4500000.0f;
    fields.injected_current = 120.5f;
    fields.polarization_voltage = -33.25f;
    fields.channel_byte = 0xA3;
    fields.flags = 0x0F;
    const BIN_Data data = readRecord(fields);
    EXPECT_EQ(data.getInjectedCurrent(true), 120.5);
    EXPECT_EQ(data.getInjectedCurrent(false), -120.5);
    EXPECT_EQ(data.getTxCurrent(false), 120.5);
    EXPECT_EQ(data.getPolarizationVoltage(true), -33.25);
    EXPECT_EQ(data.getPolarizationVoltage(false), 33.25);
    EXPECT_EQ(data.getChan(true), 3u);
    EXPECT_EQ(data.getChan(false), 0u);
    for (const auto& [e, number] : {std::pair{ElectrodeName::A, 0u}, {ElectrodeName::B, 1u}, {ElectrodeName::M, 5u}, {ElectrodeName::N, 6u}})
        EXPECT_EQ(data.getElectrodeNum(e), number) << static_cast<int>(e);
    EXPECT_EQ(data.getOverloadedSamples(true), 1u);
    EXPECT_EQ(data.getOverloadedSamples(false), 0u);
    EXPECT_TRUE(data.isGapFiller(true));
    EXPECT_FALSE(data.isGapFiller(false));
    EXPECT_FALSE(data.isNoisy());

    fields.flags = 0x02;
    const BIN_Data quiet = readRecord(fields);
    EXPECT_EQ(quiet.getOverloadedSamples(true), 0u);
    EXPECT_FALSE(quiet.isGapFiller(true));
    EXPECT_TRUE(quiet.isNoisy());

    EXPECT_TRUE(data.getIgnore());
    EXPECT_EQ(data.getVAB(), 48.0);
    EXPECT_EQ(data.getRsCheck(), 1.25);
    EXPECT_EQ(data.getSpontaneousPotential(), 1.5);
    EXPECT_DOUBLE_EQ(data.getTxBat(true), 12.4);
    EXPECT_DOUBLE_EQ(data.getRxBat(false), 11.8);
    EXPECT_EQ(data.getRxTemp(true), 21.5);
    EXPECT_EQ(data.getTxTemp(false), 21.5);
    EXPECT_EQ(data.getGpsX(false), 600000.5);
    EXPECT_EQ(data.getGpsY(true), 4500000.0);
    const ElectrodeName all[] = {ElectrodeName::A, ElectrodeName::B, ElectrodeName::M, ElectrodeName::N};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(data.getElectrodeX(all[i]), fields.x[i]);
        EXPECT_EQ(data.getElectrodeY(all[i]), fields.y[i]);
        EXPECT_EQ(data.getElectrodeZ(all[i]), fields.z[i]);
        EXPECT_EQ(data.getElectrodeRawX(all[i]), fields.x[i]);
        EXPECT_EQ(data.getElectrodeSpec(all[i]), GeoSpec(false, static_cast<std::uint32_t>(i), 1, false, 0));
    }
    EXPECT_THROW(data.getElectrodeX(static_cast<ElectrodeName>(4)), std::out_of_range);
    EXPECT_FALSE(readRecord(BinRecordFields{}).getIgnore());
}

TEST(BinData, OrigFileKeepsAllTwelveBytes)
{
    BinRecordFields fields;
    fields.orig_file = {'A', 0, 'B', 'C', 0, 0, 'D', 'E', 'F', 'G', 'H', 0};
    EXPECT_EQ(readRecord(fields).getOrigFile(), std::string("A\0BC\0\0DEFGH\0", 12)); // twelve letters: the golden exports
}

TEST(BinData, SerialNumbersComeFromTheCompanionNames)
{
    BinFileContents contents;
    contents.folder = "E:\\field\\f4567dat";
    contents.names = {"x.vmn", "in12@120523_143015.iab", "vp34-890@120523_143015.vmn", "vp56@120523_143015.vmn"};
    struct Case {
        std::int16_t i_index, v_index;
        unsigned short serial_i, user_i, serial_v, user_v;
    };
    const Case cases[] = {{1, 2, 4567, 12, 890, 34}, {1, 3, 4567, 12, 4567, 56}, {1, 0, 4567, 12, 0, 0}};
    for (const Case& c : cases) {
        BinRecordFields fields;
        fields.i_index = c.i_index;
        fields.v_index = c.v_index;
        const BIN_Data data = readRecord(fields, contents);
        EXPECT_EQ(data.getSerialNumber(false), c.serial_i);
        EXPECT_EQ(data.getUserSerialNumber(false), c.user_i);
        EXPECT_EQ(data.getSerialNumber(true), c.serial_v);
        EXPECT_EQ(data.getUserSerialNumber(true), c.user_v);
    }
}

// A time as it reads back once stored as a date-time number.
HighPrecisionTime asStored(const HighPrecisionTime& t)
{
    return HighPrecisionTime::convertDateTime(HighPrecisionTime::convertDateTime(t));
}

TEST(BinData, StartTimeTakesACompanionTimeWithinOneDay)
{
    const HighPrecisionTime v_time = civilTime(2023, 12, 5, 14, 30, 15);
    const HighPrecisionTime i_time = civilTime(2023, 12, 7, 9, 0, 0);
    BinFileContents contents;
    contents.names = {"in123@120723_090000.iab", "vp123-4567@120523_143015.vmn"};
    struct Case {
        const char* what;
        HighPrecisionTime stored;
        HighPrecisionTime expected;
    };
    const HighPrecisionTime hour = HighPrecisionTime::s_second * 3600;
    const HighPrecisionTime day = HighPrecisionTime::s_day;
    const HighPrecisionTime ms = HighPrecisionTime::s_millisecond;
    const HighPrecisionTime far = civilTime(2023, 12, 12, 0, 0, 0);
    const Case cases[] = {
        {"half a day after V", v_time + hour * 12, v_time},
        {"just under a day before V", v_time - day + ms, v_time},
        {"just over a day before V, more from I", v_time - day - ms, v_time - day - ms},
        {"near I only", i_time - hour, i_time},
        {"within a day of both: V wins", v_time + hour * 20, v_time},
        {"days away from both", far, far},
    };
    for (const Case& c : cases) {
        BinRecordFields fields;
        fields.start_time = HighPrecisionTime::convertDateTime(c.stored);
        const BIN_Data data = readRecord(fields, contents);
        EXPECT_EQ(data.getStartTime(true), asStored(c.expected)) << c.what;
        EXPECT_EQ(data.getStartTime(false), asStored(c.expected)) << c.what;
    }
}

TEST(BinData, UndatedCompanionNamesCountAsTimeZero)
{
    BinFileContents contents;
    contents.names = {"in1@x.iab", "vp1-2@y.vmn"};
    struct Case {
        double stored, expected;
    };
    // One day is not within one day; times far from any day, and no number, stay as stored.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const Case cases[] = {{0.75, 0.0}, {-0.999, 0.0}, {1.0, 1.0}, {-1.0, -1.0}, {45000.25, 45000.25},
                          {-1e300, -1e300}, {1e300, 1e300}, {nan, nan}};
    for (const Case& c : cases) {
        BinRecordFields fields;
        fields.start_time = c.stored;
        EXPECT_EQ(readRecord(fields, contents).getStartTime(true), HighPrecisionTime::convertDateTime(c.expected)) << c.stored;
    }
}

TEST(BinData, ConstructionFailures)
{
    const BIN_File names = namesOnly();
    // The version is checked right after its four bytes.
    BinRecordFields version;
    version.version = 4;
    const std::vector<std::uint8_t> bytes = BinFileWriter::record(version).data();
    std::istringstream stream(std::string(bytes.begin(), bytes.end()));
    EXPECT_EQ(ertkit_test::failure<std::runtime_error>([&] { BIN_Data(stream, &names); }), "bin data version not implemented");
    EXPECT_EQ(stream.tellg(), 4);
    BinRecordFields i_name;
    i_name.i_index = 1;
    EXPECT_EQ(constructionError(i_name), "problem with I file name");
    BinRecordFields v_name;
    v_name.v_index = 0;
    EXPECT_EQ(constructionError(v_name), "problem with V file name");

    BinRecordFields far;
    far.v_index = 7;
    EXPECT_THROW(readRecordBytes(BinFileWriter::record(far).data(), names), std::out_of_range);
    const std::vector<std::uint8_t> valid = BinFileWriter::record(BinRecordFields{}).data();
    std::istringstream no_names(std::string(valid.begin(), valid.end()));
    EXPECT_THROW((BIN_Data{no_names, nullptr}), std::out_of_range);
}

TEST(BinData, ShortRecordsAreReadingErrors)
{
    const std::vector<std::uint8_t> bytes = BinFileWriter::record(BinRecordFields{}).data();
    const BIN_File names = namesOnly();
    for (std::size_t size : {0, 1, 4, 5, 100, 251, 252, 300, 305}) {
        const std::vector<std::uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size));
        EXPECT_EQ(ertkit_test::failure<std::runtime_error>([&] { readRecordBytes(cut, names); }), "error reading file") << size;
    }
}

