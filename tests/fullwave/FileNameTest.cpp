#include <fullwave/IAB_VMN_File.h>

#include "support/CivilTime.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <ctime>

namespace {

struct NameCase {
    const char* path;
    bool is_vmn;
    unsigned short serial;
    unsigned short user_serial;
    bool dated;
};

} // namespace

TEST(GetSerials, ReadsKindSerialsAndDateFromTheName)
{
    const NameCase cases[] = {
        {"C:\\dat\\vp123-4567@120523_143015.vmn", true, 4567, 123, true},
        {"C:\\dat\\f4567dat\\in123@120523_143015.irw", false, 4567, 123, true},
        {"/data/f4567dat/IN123@120523_143015.IAB", false, 4567, 123, true},
        {"/data/vp7-9@120523_143015.vrw", true, 9, 7, true},
        {"/data/vp7-70000@120523_143015.vrw", true, 70000 % 65536, 7, true},
        {"/data/vp12@120523-143015x.vmn", true, 99, 12, false}, // 18 characters after '@': no date
        {"x.IAB", false, 99, 98, false},
        {"/survey/line1.vmn", true, 99, 98, false},
    };
    for (const NameCase& c : cases) {
        unsigned short serial = 99, user = 98;
        bool is_vmn = !c.is_vmn;
        HighPrecisionTime time = HighPrecisionTime::s_second;
        IAB_VMN_File::GetSerials(c.path, serial, user, is_vmn, time);
        EXPECT_EQ(is_vmn, c.is_vmn) << c.path;
        EXPECT_EQ(serial, c.serial) << c.path;
        EXPECT_EQ(user, c.user_serial) << c.path;
        EXPECT_EQ(time, c.dated ? ertkit_test::civilTime(2023, 12, 5, 14, 30, 15) : HighPrecisionTime::s_second) << c.path;
    }
}

TEST(GetSerials, TwoDigitYearsAbove79AreLastCentury)
{
    unsigned short serial = 0, user = 0;
    bool is_vmn = false;
    HighPrecisionTime time;
    IAB_VMN_File::GetSerials("in1-2@010285_000001.iab", serial, user, is_vmn, time);
    EXPECT_EQ(time, ertkit_test::civilTime(1985, 1, 2, 0, 0, 1));
    IAB_VMN_File::GetSerials("in1-2@010279_000001.iab", serial, user, is_vmn, time);
    EXPECT_EQ(time, ertkit_test::civilTime(2079, 1, 2, 0, 0, 1));
}

TEST(GetSerials, RejectsWhatIsNotARecordingName)
{
    unsigned short serial = 0, user = 0;
    bool is_vmn = false;
    EXPECT_EQ(ertkit_test::failure<std::invalid_argument>([&] { IAB_VMN_File::GetSerials("a.txt", serial, user, is_vmn); }),
              "invalid file: a.txt");
    EXPECT_THROW(IAB_VMN_File::GetSerials("vmn", serial, user, is_vmn), std::invalid_argument);
    // Non-numeric serial digits raise the standard conversion errors.
    EXPECT_THROW(IAB_VMN_File::GetSerials("vpab-cd@x.vmn", serial, user, is_vmn), std::invalid_argument);
    EXPECT_THROW(IAB_VMN_File::GetSerials("vp1-99999999999@x.vmn", serial, user, is_vmn), std::out_of_range);
    EXPECT_THROW(IAB_VMN_File::GetSerials("vp1-2@ab0523_143015.vmn", serial, user, is_vmn), std::invalid_argument);
}
