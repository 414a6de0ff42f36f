#include "DownloadHarness.h"

#include <gtest/gtest.h>

#include <functional>

using download_test::DownloadRun;
using ertkit_sim::MeterBehaviour;
using ertkit_sim::MeterMemory;

namespace {

struct FailureCase {
    const char* label;
    std::function<void(MeterBehaviour&)> spoil;
    std::string message;
    bool device_stays = true; // false: the meter vanished and cannot see the end byte
};

std::ostream& operator<<(std::ostream& out, const FailureCase& c)
{
    return out << c.label;
}

const std::string s_bad_version = "Bad Version, Upload and Install new version.";

} // namespace

class HandshakeFailure : public testing::TestWithParam<FailureCase> {};

TEST_P(HandshakeFailure, ReachesTheErrorCallbackThenEndsTheLink)
{
    MeterBehaviour behaviour;
    GetParam().spoil(behaviour);
    DownloadRun test(MeterMemory::records(2, 3), behaviour);
    test.run(0, 2);
    // The error callback once, with the sink's error code and the message; then the end byte
    // goes out and the port is closed.
    ASSERT_EQ(test.download.calls().errors.size(), 1u);
    EXPECT_EQ(test.download.calls().errors[0], std::make_pair(test.progress.error_code, GetParam().message));
    EXPECT_EQ(test.progress.calls.back(), "error code");
    EXPECT_TRUE(test.download.hasPort());
    EXPECT_FALSE(test.download.portOpen());
    EXPECT_TRUE(test.download.zmeasures().empty());
    // The range is never sent after a refused handshake; a refused version is not kept.
    EXPECT_FALSE(test.session().range_received);
    if (GetParam().message == s_bad_version) {
        EXPECT_EQ(test.download.version(), 0);
        EXPECT_FALSE(test.download.isContainFW());
    }
    if (GetParam().device_stays) {
        const auto log = test.meter.logAfterHangUp();
        ASSERT_FALSE(log.received.empty());
        EXPECT_EQ(log.received.back(), TarvexKesta_File::END_BYTE);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Handshakes, HandshakeFailure,
    testing::Values(
        FailureCase{"version 2 with the size of version 1", [](MeterBehaviour& b) { b.size = 224; }, s_bad_version},
        FailureCase{"version 1 with the size of version 2", [](MeterBehaviour& b) { b.version = 1; b.size = 260; },
                    s_bad_version},
        FailureCase{"version 0", [](MeterBehaviour& b) { b.version = 0; b.size = 260; }, s_bad_version},
        FailureCase{"version 4", [](MeterBehaviour& b) { b.version = 4; b.size = 260; }, s_bad_version},
        FailureCase{"negative version", [](MeterBehaviour& b) { b.version = 0xFFFFFFFE; }, s_bad_version},
        FailureCase{"raw version of another family", [](MeterBehaviour& b) { b.version = 0x60000003; }, s_bad_version},
        // A hang-up in the handshake is told as one, not as a meter that never answered.
        FailureCase{"device gone before the version", [](MeterBehaviour& b) { b.hang_up_before_version = true; },
                    "The meter's device has gone (unplugged?)", false},
        FailureCase{"device gone in the size", [](MeterBehaviour& b) { b.hang_up_in_size = true; },
                    "The meter's device has gone (unplugged?)", false}));

TEST(HandshakeFailure, AnEmptyErrorCallbackLetsTheBadFunctionCallOut)
{
    MeterBehaviour behaviour;
    behaviour.version = 9;
    DownloadRun test(MeterMemory::records(2, 1), behaviour);
    test.download.clearErrorCallback();
    EXPECT_THROW(test.run(0, 0), std::bad_function_call);
}
