#include "platform/windows/wmi/BootTimeText.h"

#include <gtest/gtest.h>

namespace {

// The offset from UTC that a WMI datetime text carries: the boot time in UTC is the
// boot's identity on Windows, whatever the time zone is now.
TEST(BootTimeText, OffsetFromUtcInMinutes)
{
    EXPECT_EQ(utcOffsetMinutes("20060301081500.000000+060"), 60);
    EXPECT_EQ(utcOffsetMinutes("20060301081500.000000-300"), -300);
    EXPECT_EQ(utcOffsetMinutes("20060301081500.000000+330"), 330);
    EXPECT_EQ(utcOffsetMinutes("20060301081500.000000"), 0);
    EXPECT_EQ(utcOffsetMinutes("20060301081500.000000*060"), 0);
}

} // namespace
