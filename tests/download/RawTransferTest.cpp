#include "DownloadHarness.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

using download_test::MeterOnPort;
using download_test::RecordingProgress;
using download_test::sameBytes;
using download_test::TemporaryFolderOverride;
using download_test::TestDownload;
using ertkit_sim::MeterBehaviour;
using ertkit_sim::MeterMemory;
namespace fs = std::filesystem;

namespace {

constexpr std::uint32_t s_measures = 3;

std::string asString(const std::vector<std::uint8_t>& bytes)
{
    return std::string(bytes.begin(), bytes.end());
}

class RawTransfer : public testing::Test {
protected:
    ertkit_test::TempDir m_temp;
    TemporaryFolderOverride m_tmpdir{m_temp.path().string()};
    RecordingProgress m_progress;

    // Neither the transfer's file nor its folder stays in the temporary folder.
    bool nothingLeft() const { return fs::is_empty(m_temp.path()); }
};

} // namespace

class RawTransferKind : public RawTransfer, public testing::WithParamInterface<bool> {};

TEST_P(RawTransferKind, KeepsTheRecordingFindsItsMeasuresAndLeavesNoFileBehind)
{
    const bool voltage = GetParam();
    MeterOnPort meter(MeterMemory::rawTransfer(voltage, s_measures));
    TestDownload download;
    download.setLink(meter.link());
    download.download(0, 100, m_progress, "ignored");

    EXPECT_TRUE(download.calls().errors.empty());
    const auto& served = meter.sim().memory().raw;
    EXPECT_EQ(download.rawStream(), asString(served));
    EXPECT_TRUE(download.isContainFW());
    EXPECT_EQ(download.isV(), voltage);
    // Every measure page but the empty slot at the end.
    ASSERT_EQ(download.zmeasures().size(), s_measures);
    for (std::uint32_t k = 0; k < s_measures; ++k)
        EXPECT_TRUE(sameBytes(download.zmeasures()[k], MeterMemory::rawZMeasure(k))) << "measure " << k;
    EXPECT_TRUE(nothingLeft());
    EXPECT_FALSE(download.portOpen());
    const auto log = meter.logAfterHangUp();
    EXPECT_EQ(log.received.back(), TarvexKesta_File::END_BYTE);
    EXPECT_TRUE(log.sessions.at(0).name.empty());

    const unsigned int pages = static_cast<unsigned int>(served.size() / 528);
    EXPECT_EQ(m_progress.calls.at(2), "range 0 " + std::to_string(pages) + " 1");
    EXPECT_EQ(m_progress.calls.back(), "position " + std::to_string(pages));

    download.writeFullWave(m_temp.path() / "line1.binx");
    const fs::path written = m_temp.path() / (voltage ? "line1.vmn" : "line1.iab");
    EXPECT_EQ(ertkit_test::readFile(written.string()), served);
    download.writeFullWave(m_temp.path() / "line1.binx");
    EXPECT_EQ(fs::file_size(written), 0u);
}

INSTANTIATE_TEST_SUITE_P(VoltageAndCurrent, RawTransferKind, testing::Bool());

TEST_F(RawTransfer, UsesAnExistingTemporaryFolder)
{
    fs::create_directory(m_temp.path() / "Kelmor");
    MeterOnPort meter(MeterMemory::rawTransfer(false, 1));
    TestDownload download;
    download.setLink(meter.link());
    download.download(0, 0, m_progress, "L");
    EXPECT_TRUE(download.calls().errors.empty());
    EXPECT_EQ(download.zmeasures().size(), 1u);
    EXPECT_TRUE(nothingLeft());
}

TEST_F(RawTransfer, ARecordTransferAfterwardsForgetsTheRecording)
{
    TestDownload download;
    {
        MeterOnPort meter(MeterMemory::rawTransfer(true, 1));
        download.setLink(meter.link());
        download.download(0, 0, m_progress, "L");
    }
    ASSERT_TRUE(download.isContainFW());
    MeterOnPort meter(MeterMemory::records(2, 1));
    download.setLink(meter.link());
    download.download(0, 0, m_progress, "L");
    EXPECT_FALSE(download.isContainFW());
    download.writeFullWave(m_temp.path() / "line1.binx");
    EXPECT_FALSE(fs::exists(m_temp.path() / "line1.vmn"));
    EXPECT_FALSE(fs::exists(m_temp.path() / "line1.iab"));
}

struct HostileRaw {
    const char* label;
    std::optional<std::uint32_t> count;
    std::optional<std::size_t> limit;
    bool hang_up;
    std::string message;
};

std::ostream& operator<<(std::ostream& out, const HostileRaw& c)
{
    return out << c.label;
}

class HostileRawTransfer : public RawTransfer, public testing::WithParamInterface<HostileRaw> {};

TEST_P(HostileRawTransfer, FailsCleanlyWithoutAllocatingWhatWasAnnounced)
{
    MeterBehaviour behaviour;
    behaviour.raw_count = GetParam().count;
    behaviour.raw_limit = GetParam().limit;
    behaviour.hang_up_after_raw_limit = GetParam().hang_up;
    MeterOnPort meter(MeterMemory::rawTransfer(true, 2), behaviour);
    TestDownload download;
    const auto start = std::chrono::steady_clock::now();
    download.setLink(meter.link());
    download.download(0, 0, m_progress, "L");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(8));

    ASSERT_EQ(download.calls().errors.size(), 1u);
    EXPECT_EQ(download.calls().errors[0].second, GetParam().message);
    EXPECT_FALSE(download.portOpen());
    EXPECT_TRUE(download.zmeasures().empty());
    // No temporary file is made for a transfer that never completed.
    EXPECT_FALSE(fs::exists(m_temp.path() / "Kelmor" / "tmp"));
    if (!GetParam().hang_up) {
        EXPECT_EQ(meter.logAfterHangUp().received.back(), TarvexKesta_File::END_BYTE);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Transfers, HostileRawTransfer,
    testing::Values(HostileRaw{"absurd count", 0xFFFFFFFFu, std::nullopt, false,
                               "Raw transfer too large: 4294967295 bytes announced"},
                    HostileRaw{"count just above the bound", TPortVirt::s_max_raw_transfer + 1, std::nullopt, false,
                               "Raw transfer too large: 1073741825 bytes announced"},
                    HostileRaw{"device gone mid-transfer", std::nullopt, 1000, true,
                               "Time out raw transfer: 1000 of 4224 bytes received"},
                    HostileRaw{"meter falls silent mid-transfer", std::nullopt, 2000, false,
                               "Time out raw transfer: 2000 of 4224 bytes received"},
                    HostileRaw{"count far above what comes", 100000000u, 4224, true,
                               "Time out raw transfer: 4224 of 100000000 bytes received"}));

struct Extension {
    std::string given;
    int version;
    std::string written; // empty: nothing written
};

class WriteFullWave : public RawTransfer, public testing::WithParamInterface<Extension> {};

TEST_P(WriteFullWave, ReplacesTheExtensionByTheKindOfRecording)
{
    TestDownload download;
    download.setTransfer(GetParam().version, "PAGES");
    download.writeFullWave(m_temp.path() / GetParam().given);
    std::vector<std::string> files;
    for (const auto& entry : fs::directory_iterator(m_temp.path())) files.push_back(entry.path().filename().string());
    if (GetParam().written.empty()) {
        EXPECT_TRUE(files.empty());
        return;
    }
    EXPECT_EQ(files, std::vector<std::string>{GetParam().written});
    EXPECT_EQ(asString(ertkit_test::readFile(m_temp.file(GetParam().written))), "PAGES");
}

INSTANTIATE_TEST_SUITE_P(
    Names, WriteFullWave,
    testing::Values(Extension{"line1.binx", TarvexKesta_File::RAW_DOWNLOAD_VERSION, "line1.vmn"},
                    Extension{"line1.binx", TarvexKesta_File::CURRAW_DOWNLOAD_VERSION, "line1.iab"},
                    Extension{"line1", TarvexKesta_File::RAW_DOWNLOAD_VERSION, "line1.vmn"},
                    Extension{"a.b.c", TarvexKesta_File::CURRAW_DOWNLOAD_VERSION, "a.b.iab"},
                    Extension{"line1.vmn", TarvexKesta_File::RAW_DOWNLOAD_VERSION, "line1.vmn"},
                    Extension{"line1.binx", 2, ""}, Extension{"line1.binx", 0, ""}));
