#include "DownloadHarness.h"

#include <gtest/gtest.h>

#include "support/TestSupport.h"

#include <chrono>
#include <filesystem>

using download_test::MeterOnPort;
using ertkit_sim::MeterBehaviour;
using ertkit_sim::MeterMemory;

namespace {

int openPort(TPortUSB& port, std::function<bool()> retry = {})
{
    return port.open(std::move(retry), 99, 273000, std::string(), false, std::string(), 0);
}

} // namespace

TEST(PortUSB, IdentifiesTheMeterAndReportsTheSpeed)
{
    MeterOnPort meter(MeterMemory::records(2, 1));
    TPortUSB port(meter.sim().devicePath());
    ASSERT_NE(openPort(port), 0);
    EXPECT_TRUE(port.isPortComOpen());
    std::string system = "before";
    std::string speed = "before";
    EXPECT_TRUE(port.setBaud(system, speed));
    EXPECT_EQ(system, "SIM-METER 1.0");
    EXPECT_EQ(speed, "115200 baud");
    // The meter then starts the exchange with its version word.
    unsigned char word[4] = {};
    ASSERT_EQ(port.readBufferTimed(word, 4, 1000), 4);
    EXPECT_EQ(TPortVirt::decodeWord(word), 2u);
}

TEST(PortUSB, ASilentMeterLeavesTheTextsAsGivenAndTimedReadsReturnWhatArrived)
{
    MeterBehaviour behaviour;
    behaviour.silent = true;
    MeterOnPort meter(MeterMemory::records(2, 1), behaviour);
    TPortUSB port(meter.sim().devicePath());
    ASSERT_NE(openPort(port), 0);
    std::string system = "system";
    std::string speed = "speed";
    EXPECT_FALSE(port.setBaud(system, speed));
    EXPECT_EQ(system, "system");
    EXPECT_EQ(speed, "speed");
    EXPECT_EQ(meter.log().identification_requests, TPortUSB::s_speeds.size());
    unsigned char buffer[8];
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(port.readBufferTimed(buffer, 8, 150), 0);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(elapsed, std::chrono::milliseconds(150));
    EXPECT_LT(elapsed, std::chrono::milliseconds(1000));
    EXPECT_EQ(port.readBufferTimed(buffer, 0, 1000), 0);
    EXPECT_EQ(port.readBufferTimed(nullptr, 8, 1000), 0);
    port.close();
    EXPECT_FALSE(port.isPortComOpen());
    EXPECT_EQ(port.readBufferTimed(buffer, 8, 1000), 0);
}

TEST(PortUSB, OpeningAsksWhetherToRetryUntilTold)
{
    TPortUSB port("/nonexistent/ttyACM0");
    int asked = 0;
    EXPECT_EQ(openPort(port, [&] { return ++asked < 3; }), 0);
    EXPECT_EQ(asked, 3);
    EXPECT_EQ(openPort(port), 0);
    EXPECT_FALSE(port.isPortComOpen());
    // A file that is not a terminal is no meter.
    TPortUSB null_device("/dev/null");
    EXPECT_EQ(openPort(null_device), 0);
    EXPECT_FALSE(null_device.isPortComOpen());
}

TEST(PortUSB, ARetryAnsweredAfterTheMeterAppearsOpensIt)
{
    // The device the port names appears once the meter is plugged in.
    ertkit_test::TempDir dir;
    const std::string device = dir.file("ttyACM0");
    std::unique_ptr<MeterOnPort> meter;
    TPortUSB port(device);
    EXPECT_NE(openPort(port, [&] {
                  meter = std::make_unique<MeterOnPort>(MeterMemory::records(2, 1));
                  std::filesystem::create_symlink(meter->sim().devicePath(), device);
                  return true;
              }),
              0);
    EXPECT_TRUE(port.isPortComOpen());
    port.close();
}
