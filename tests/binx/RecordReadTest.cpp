#include "BinxTestHelpers.h"
#include "support/CivilTime.h"

#include <binx/BINX_Data.h>

#include <gtest/gtest.h>

#include <cmath>

using binx_test::ByteFile;
using binx_test::readRecord;
using binx_test::written;
using ertkit_test::Bytes;
using ertkit_test::LogCapture;
using ertkit_test::sampleBinxRecord;

namespace {

constexpr BINX_Data::Dipole AB{ElectrodeName::A, ElectrodeName::B};
constexpr BINX_Data::Dipole MN{ElectrodeName::M, ElectrodeName::N};

BINX_GeoSpec southern(const BINX_GeoSpec& s)
{
    return BINX_GeoSpec(s.get_unused_node(), static_cast<short>(s.get_geo_type()), s.getUtmGridChar(), s.get_utm_zone(),
                        s.get_elec_index(), true);
}

// What reading a record written in an old layout must give: the members the version
// lacks at their defaults, and the values derived from the others.
BINX_Data expectedAfterReading(const BINX_Data& w, int v)
{
    BINX_Data e = w;
    e.recordVersion = v;
    if (v <= 0) e.keyText1 = e.keyText2 = "";
    if (v < 3) {
        e.vabMaxTx = static_cast<std::int32_t>(w.vabMaxTx);
        e.nInjection = e.multiTxKey = 0;
        e.abUsed = e.mnUsed = e.auxByte4 = e.auxByte5 = e.switchTerraOn = e.auxByte6 = e.auxByte7 = e.auxByte8 = 0;
        e.ppsFlag2 = e.typeOfSyncMultiSeq = 0;
        e.copyOrMoveOnUsb = e.numberOfTarvex = e.m_tarvexNumber = 0;
        e.switchFirstElectrodeId = e.switchLastElectrodeId = 0;
        e.txStatus = BINX_TxStatus();
    }
    if (v < 4) {
        e.m_waterDepth = e.m_waterResistivity = 0.0f;
        e.m_spacing10cm = e.m_offsetSounderCm = e.m_delayBeforeAcquisition = 0;
        e.continuousSurvey = e.continuousSurveyGps = 0;
        e.auxByte9 = e.continousSurveyMarker = e.auxByte10 = e.externalTxBat = 0;
    }
    if (v < 5) {
        for (unsigned int i = 0; i < 4; ++i)
            e.quadrupole.setGeoSpec(static_cast<ElectrodeName>(i), southern(w.quadrupole.getGeoSpec(i)));
        const auto& g = w.grid;
        e.grid = BINX_GridGeo(g.getX(), g.getY(), g.getZ(), g.getOrientation(), southern(g.getGeoSpec()), g.getLocalX(), g.getLocalY());
    }
    if (v < 7) e.auxWord4 = 0;
    if (v < 8) e.serialNumberV = e.serialNumberI = e.userSerialNumberI = 0;
    if (v < 10) {
        e.gpsXI = e.gpsYI = 0.0;
        e.txVersion = 0;
        e.resultId = BINX_Data::NO_RESULT_ID;
    }
    if (v < 11) {
        e.computationType = 0;
        e.associatedResultIds.clear();
        e.curves = {{AB, BINX_Data::Curve{w.mppx, w.polarizationVoltage}}};
    } else if (v <= 14) {
        const auto& ab = w.curves.at(AB);
        const auto& mn = w.curves.at(MN);
        e.curves = {{AB, BINX_Data::Curve{ab.values, v >= 12 ? ab.extra : w.polarizationVoltage}},
                    {MN, BINX_Data::Curve{mn.values, v >= 12 ? mn.extra : w.polarizationVoltage}}};
    }
    if (v < 14) e.polarizationComputeType = 1;
    if (v < 16) e.auxByte11 = 0;
    if (v != 13 && v < 15) e.m_isGlobalGrid = 1; // the sample's grid point is UTM
    return e;
}

class EveryRecordVersion : public testing::TestWithParam<int> {};

} // namespace

TEST_P(EveryRecordVersion, ReadsItsLayoutExactly)
{
    const int version = GetParam();
    BINX_Data sample = sampleBinxRecord(3);
    sample.m_isGlobalGrid = 0; // stored versions give 0, the others derive 1 from the grid
    LogCapture log;
    ByteFile file(ertkit_test::binxRecordBytes(sample, version).u32(0xC0FFEE));
    const BINX_Data read(file.in(), {});
    BINX_Data expected = expectedAfterReading(sample, version);
    if (version == 13 || version >= 15) expected.m_isGlobalGrid = 0;

    EXPECT_EQ(file.in().get(), 0xEE) << "the stream stands right after the record";
    EXPECT_EQ(read.recordVersion, version);
    EXPECT_EQ(read.nTM, 10u);
    EXPECT_EQ(written(read), written(expected));
    // Before version 8 the current side has no serials: the fill-in from an empty name list fails.
    const auto errors = log.lines(VELTLogger::Level::Error);
    if (version < 8) {
        EXPECT_EQ(errors, std::vector<std::string>{"BINX_Data::BINX_Data : get serial i invalid vector subscript"});
    } else {
        EXPECT_TRUE(errors.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(BinxRecord, EveryRecordVersion,
                         testing::Values(-2, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 40));

TEST(BinxRecord, VersionOneKeyTextsAreFixedBlocks)
{
    BINX_Data sample = sampleBinxRecord(1);
    sample.keyText1 = std::string(40, 'k'); // cut to its block
    const BINX_Data read = readRecord(ertkit_test::binxRecordBytes(sample, 1));
    EXPECT_EQ(read.keyText1, std::string(28, 'k'));
    EXPECT_EQ(read.keyText2, sample.keyText2);
}

TEST(BinxRecord, WindowsCountOnlyTheLeadingPositiveOnes)
{
    struct Case {
        std::vector<std::int32_t> windows;
        std::uint32_t n_tm;
        std::vector<std::string> warnings;
    };
    const std::vector<Case> cases = {
        {{5, 0, 7}, 1, {"non zero TM2 found after zero one, ignoring"}},
        {{5, -1, 3}, 1, {"negative TM1 found, skipping next", "non zero TM2 found after zero one, ignoring"}},
        {std::vector<std::int32_t>(20, 4), 20, {}},
        {{}, 0, {}},
        {{-5}, 0, {"negative TM0 found, skipping next"}},
    };
    for (const Case& c : cases) {
        BINX_Data sample = sampleBinxRecord(2);
        sample.tm.fill(0);
        std::copy(c.windows.begin(), c.windows.end(), sample.tm.begin());
        LogCapture log;
        const BINX_Data read = readRecord(ertkit_test::binxRecordBytes(sample, 16));
        EXPECT_EQ(read.nTM, c.n_tm);
        EXPECT_EQ(read.tm, sample.tm) << "windows are kept as read";
        EXPECT_EQ(log.lines(VELTLogger::Level::Warning), c.warnings);
    }
}

TEST(BinxRecord, TextsEndAtAZeroByteButConsumeTheirLength)
{
    BINX_Data sample = sampleBinxRecord(4);
    sample.origFile = std::string("ab\0cd", 5);
    sample.seqFile = std::string(3000, 's'); // longer than the old fixed buffer: read whole
    const BINX_Data read = readRecord(ertkit_test::binxRecordBytes(sample, 16));
    EXPECT_EQ(read.origFile, "ab");
    EXPECT_EQ(read.seqFile, sample.seqFile);
    EXPECT_EQ(read.txCurrent, sample.txCurrent);
    EXPECT_EQ(read.keyText2, sample.keyText2);
}

TEST(BinxRecord, ShortStatusWordUnpacksBitByBit)
{
    ByteFile file(Bytes().u32(0xE0000000u | (1u << 24) | (1u << 28) | 0x332211u));
    BINX_TxStatus expected;
    expected.statRegC = 0x11;
    expected.statRegI = 0x22;
    expected.statRegP = 0x33;
    expected.emergency = expected.lowBattery = true;
    EXPECT_EQ(BINX_TxStatus(file.in(), 5), expected);
}

TEST(BinxRecord, GlobalGridIsDerivedWhereNotStored)
{
    struct Case {
        short type;
        double x;
        double y;
        std::uint8_t expected;
    };
    const Case cases[] = {{2, 0, 0, 1}, {4, 0, 0, 0}, {4, 0, 1.5, 1}, {4, std::nan(""), 0, 1}, {1, 5, 5, 0}, {0, 5, 5, 0}};
    for (const Case& c : cases) {
        for (const int version : {10, 12, 14}) {
            BINX_Data sample = sampleBinxRecord(5);
            sample.grid = BINX_GridGeo(c.x, c.y, 0, 90, BINX_GeoSpec(0, c.type, 0, 0, 0, false), 0, 0);
            EXPECT_EQ(readRecord(ertkit_test::binxRecordBytes(sample, version)).m_isGlobalGrid, c.expected)
                << c.type << " " << c.x << " " << c.y << " v" << version;
        }
    }
}

TEST(BinxRecord, SerialNumbersComeFromRecordingNames)
{
    BINX_Data sample = sampleBinxRecord(7);
    sample.vmnPathIndex = 1;
    sample.iabPathIndex = 0;
    sample.userSerialNumberV = 0;
    const std::vector<std::string> names = {"C:\\dat\\in77-8888@120523_143015.iab", "vp123-4567@010224_080000.vmn"};
    LogCapture log;
    const BINX_Data read = readRecord(ertkit_test::binxRecordBytes(sample, 7), names);
    EXPECT_TRUE(log.lines().empty());
    EXPECT_EQ(read.serialNumberV, 4567u);
    EXPECT_EQ(read.userSerialNumberV, 123);
    EXPECT_EQ(read.serialNumberI, 8888u);
    EXPECT_EQ(read.userSerialNumberI, 77);
    EXPECT_EQ(read.startTimeI, HighPrecisionTime::convertDateTime(ertkit_test::civilTime(2023, 12, 5, 14, 30, 15)));
    EXPECT_EQ(read.getSerialNumber(true), 4567);
}

TEST(BinxRecord, SerialFillInFailuresAreLoggedAndLeaveTheRecord)
{
    BINX_Data sample = sampleBinxRecord(8);
    sample.serialNumberV = sample.serialNumberI = 0;
    sample.userSerialNumberV = sample.userSerialNumberI = 0;
    sample.vmnPathIndex = 3;
    sample.iabPathIndex = 0;
    LogCapture log;
    const BINX_Data read = readRecord(ertkit_test::binxRecordBytes(sample, 16), {"notes.txt", "b.vmn"});
    EXPECT_EQ(log.lines(VELTLogger::Level::Error),
              (std::vector<std::string>{"BINX_Data::BINX_Data : get serial v invalid vector subscript",
                                        "BINX_Data::BINX_Data : get serial i invalid file: notes.txt"}));
    EXPECT_EQ(read.serialNumberV, 0u);
    EXPECT_EQ(read.serialNumberI, 0u);
    EXPECT_EQ(read.startTimeI, sample.startTimeI);
}

TEST(BinxRecord, ShortStreamsThrowTheReadingError)
{
    const Bytes whole = ertkit_test::binxRecordBytes(sampleBinxRecord(9), 16);
    // Cut inside the stack, inside a text, inside the geometry, inside the curves.
    for (const std::size_t keep : {std::size_t{4}, std::size_t{1000}, std::size_t{3490}, std::size_t{3800}, whole.size() - 10}) {
        Bytes cut;
        cut.raw(whole.data().data(), keep);
        EXPECT_EQ(binx_test::failure<std::runtime_error>([&] { readRecord(cut); }), "error reading file") << keep;
    }
}

TEST(BinxRecord, HostileCountsAndLengthsCostOnlyTheBytesThere)
{
    // A text length, an id count and a curve count of 0xFFFFFFFF in a record that then ends.
    const BINX_Data sample = sampleBinxRecord(10);
    Bytes text = ertkit_test::binxRecordBytes(sample, 16);
    text.data().resize(4 + 3476);
    text.u32(0xFFFFFFFFu).text("short");
    EXPECT_THROW(readRecord(text), std::runtime_error);

    for (const int version : {11, 15}) {
        BINX_Data empty = sample;
        empty.associatedResultIds.clear();
        empty.curves.clear();
        Bytes ids = ertkit_test::binxRecordBytes(empty, version);
        const std::size_t tail = version == 11 ? 4 + 40 * 8 : 4 + 4 + 1;
        ids.data().resize(ids.size() - tail);
        ids.u32(0xFFFFFFFFu).u64(1).u64(2);
        EXPECT_THROW(readRecord(ids), std::runtime_error) << version;
    }
}
