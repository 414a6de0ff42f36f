#include "DownloadHarness.h"

#include "support/TestSupport.h"

#include <sim/FullWavePageWriter.h>
#include <sim/MeterMemory.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>

using download_test::sameBytes;
using download_test::TestDownload;
using ertkit_sim::FullWavePageWriter;
using ertkit_sim::MeterMemory;

namespace {

constexpr std::int32_t s_date = 1650000000;

class ImportRawFile : public testing::Test {
protected:
    std::string write(const FullWavePageWriter& writer, const std::string& name = "raw.vrw")
    {
        const std::string path = m_temp.file(name);
        ertkit_test::writeFile(path, writer.bytes());
        return path;
    }

    ertkit_test::TempDir m_temp;
    TestDownload m_download;
};

} // namespace

TEST_F(ImportRawFile, TakesTheMeasureOfTheMeasurePageOnly)
{
    FullWavePageWriter writer;
    writer.configPage(s_date, {});
    auto measure = MeterMemory::demoZMeasure(4);
    measure.time_stamp = 0x01020304;
    writer.measurePage(measure);
    writer.dataPages(s_date, 3, 0, 10, [](std::uint32_t, std::uint32_t) { return 1.0f; });
    m_download.importRawFile(write(writer));
    ASSERT_EQ(m_download.zmeasures().size(), 1u);
    EXPECT_TRUE(sameBytes(m_download.zmeasures()[0], measure));
    EXPECT_EQ(m_download.zmeasures()[0].time_stamp, 0x01020304u);
}

TEST_F(ImportRawFile, ReplacesEarlierMeasuresButLeavesVersionOneAlone)
{
    FullWavePageWriter writer;
    writer.measurePage(MeterMemory::demoZMeasure(1));
    writer.measurePage(MeterMemory::demoZMeasure(2));
    const std::string path = write(writer);
    m_download.measures().push_back(MeterMemory::demoMeasure(9));
    m_download.importRawFile(path);
    m_download.importRawFile(path);
    EXPECT_EQ(m_download.zmeasures().size(), 2u);
    EXPECT_EQ(m_download.measures().size(), 1u);
}

TEST_F(ImportRawFile, SkipsEmptySlotsAndUnknownPages)
{
    FullWavePageWriter writer;
    writer.emptySlotPage();
    writer.page('X', "RAW", s_date);
    writer.measurePage(MeterMemory::demoZMeasure(0));
    writer.emptySlotPage();
    m_download.importRawFile(write(writer));
    ASSERT_EQ(m_download.zmeasures().size(), 1u);
    EXPECT_EQ(m_download.zmeasures()[0].head.nameText(), MeterMemory::demoZMeasure(0).head.nameText());
}

TEST_F(ImportRawFile, ANameFillingAllElevenBytesIsKeptWithTheTwelfthForcedToZero)
{
    FullWavePageWriter writer;
    auto measure = MeterMemory::demoZMeasure(0);
    measure.head.setName("ABCDEFGHIJKL");
    writer.measurePage(measure);
    m_download.importRawFile(write(writer));
    ASSERT_EQ(m_download.zmeasures().size(), 1u);
    EXPECT_EQ(m_download.zmeasures()[0].head.nameText(), "ABCDEFGHIJK");
}

struct PartialPage {
    std::size_t kept; // bytes of the last (measure) page present in the file
    std::size_t measures;
};

class ImportPartialLastPage : public ImportRawFile, public testing::WithParamInterface<PartialPage> {};

TEST_P(ImportPartialLastPage, UsesTheLastPageOnlyIfTheMeasureIsWhole)
{
    FullWavePageWriter writer;
    writer.measurePage(MeterMemory::demoZMeasure(0));
    writer.measurePage(MeterMemory::demoZMeasure(1));
    writer.cut(FullWavePageWriter::s_page_size - GetParam().kept);
    m_download.importRawFile(write(writer));
    EXPECT_EQ(m_download.zmeasures().size(), GetParam().measures);
}

INSTANTIATE_TEST_SUITE_P(Cuts, ImportPartialLastPage,
                         testing::Values(PartialPage{528, 2}, PartialPage{300, 2}, PartialPage{276, 2},
                                         PartialPage{275, 1}, PartialPage{16, 1}, PartialPage{15, 1},
                                         PartialPage{0, 1}));

TEST_F(ImportRawFile, RefusesAnEmptyOrMissingPath)
{
    EXPECT_EQ(ertkit_test::failure<std::runtime_error>([&] { m_download.importRawFile(""); }), "filename is empty");
    const std::string missing = m_temp.file("missing.vrw");
    EXPECT_EQ(ertkit_test::failure<std::runtime_error>([&] { m_download.importRawFile(missing); }), missing + " not exist");
}

TEST_F(ImportRawFile, AnUnreadableFileGivesNoMeasuresAndNoError)
{
    m_download.importRawFile(m_temp.path().string());
    EXPECT_TRUE(m_download.zmeasures().empty());
    m_download.importRawFile(write(FullWavePageWriter(), "empty.vrw"));
    EXPECT_TRUE(m_download.zmeasures().empty());
}
