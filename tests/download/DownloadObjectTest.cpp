#include "DownloadHarness.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <stdexcept>

using download_test::MeterOnPort;
using download_test::RecordingProgress;
using download_test::TestDownload;
using ertkit_sim::MeterMemory;

TEST(DownloadObject, WifiIsNotImplementedAndLeavesNoPort)
{
    MeterOnPort meter(MeterMemory::records(2, 1));
    TestDownload download(TPortVirt::WIFI);
    download.setLink(meter.link());
    ASSERT_TRUE(download.initUSB());
    RecordingProgress progress;
    EXPECT_EQ(ertkit_test::failure<std::runtime_error>([&] { download.download(0, 0, progress, "L"); }), "not implemented");
    EXPECT_FALSE(download.hasPort());
    EXPECT_TRUE(download.calls().errors.empty());
}

TEST(DownloadObject, AnUnknownPortTypeDoesNothing)
{
    TestDownload download(static_cast<TPortVirt::TypePort>(7));
    download.measures().push_back(MeterMemory::demoMeasure(0));
    RecordingProgress progress;
    download.download(0, 5, progress, "L");
    EXPECT_FALSE(download.hasPort());
    EXPECT_EQ(download.measures().size(), 1u);
    EXPECT_TRUE(progress.calls.empty());
}

TEST(DownloadObject, AnUnopenableDeviceCallsTheFailureCallbackOnce)
{
    TestDownload download;
    download.setLink({"/nonexistent/ttyUSB9", nullptr, nullptr, 1.0});
    RecordingProgress progress;
    download.download(0, 5, progress, "L");
    EXPECT_EQ(download.calls().open_failures, 1);
    EXPECT_EQ(download.calls().open_successes, 0);
    // The port asked whether to try again, for the USB link, and was told no.
    EXPECT_EQ(download.calls().port_callbacks, std::vector<TPortVirt::TypePort>{TPortVirt::USB});
    EXPECT_TRUE(download.hasPort());
    EXPECT_FALSE(download.portOpen());
    EXPECT_TRUE(progress.calls.empty());
}

TEST(DownloadObject, ALinkTheHostRefusesIsClosedBeforeAnythingIsRead)
{
    MeterOnPort meter(MeterMemory::records(2, 1));
    TestDownload download(TPortVirt::USB, false);
    download.setLink(meter.link());
    RecordingProgress progress;
    download.download(0, 0, progress, "L");
    EXPECT_EQ(download.calls().open_successes, 1);
    EXPECT_FALSE(download.portOpen());
    EXPECT_TRUE(progress.calls.empty());
    EXPECT_EQ(meter.log().identification_requests, 0u);
}

TEST(MeasureRecord, FlagWordAndNameAccessors)
{
    TarvexKesta_File::TMeasureHead head{};
    // The flags set are read through the conversion (ConversionTest); a bit beside them is none.
    head.flags = 0x0200;
    EXPECT_FALSE(head.overload() || head.trigSync() || head.gapFiller());

    head.setName("ABCD");
    EXPECT_EQ(head.nameText(), "ABCD");
    head.setName(std::string(12, 'Z'));
    EXPECT_EQ(head.nameText(), std::string(12, 'Z'));
    head.setName(TarvexKesta_File::NO_DATA_STORED);
    EXPECT_TRUE(head.isEmptySlot());
    head.name[11] = 'x';
    EXPECT_FALSE(head.isEmptySlot());
}

TEST(MeasureRecord, ByteSumCoversOnlyTheSummedBytes)
{
    TarvexKesta_File::TMeasure measure{};
    measure.head.setName("IGNORED");
    EXPECT_EQ(measure.byteSum(), 0u);
    auto* bytes = reinterpret_cast<unsigned char*>(&measure);
    bytes[12] = 0xFF;
    bytes[235] = 0x01;
    EXPECT_EQ(measure.byteSum(), 0x100u);

    TarvexKesta_File::TZMeasure zmeasure{};
    zmeasure.time_stamp = 0xFFFFFFFF;
    auto* zbytes = reinterpret_cast<unsigned char*>(&zmeasure);
    zbytes[11] = 0x7F;
    zbytes[271] = 0x80;
    EXPECT_EQ(zmeasure.byteSum(), 0x80u);
}
