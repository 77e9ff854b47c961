#include "platform/AdapterChoice.h"

#include <gtest/gtest.h>

namespace {

// BRIMLET_ADAPTERS patterns match whole names as a shell matches file names, in both builds.
TEST(AdapterChoice, PatternsMatchWholeNamesAsAShellDoes)
{
    struct Case {
        const char* pattern;
        const char* name;
        bool matches;
    };
    const Case cases[] = {
        {"*", "eth0", true},          {"eth0", "eth0", true},        {"eth0", "eth01", false},
        {"wlan*", "wlan0", true},     {"wlan*", "wwlan0", false},    {"*0", "tun10", true},
        {"e?h0", "eth0", true},       {"e?h0", "eh0", false},        {"lan[0-2]", "lan2", true},
        {"lan[0-2]", "lan3", false},  {"lan[!0-2]", "lan3", true},   {"lan[!0-2]", "lan1", false},
        {"lan[]]", "lan]", true},     {"lan[0", "lan[0", true},      {"*Intel*", "Intel[R] PRO_1000", true},
        {"", "", true},               {"a*b*c", "aXbYc", true},      {"a*b*c", "aXbY", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(platform::matchesPattern(c.pattern, c.name), c.matches) << c.pattern << " ~ " << c.name;
    EXPECT_TRUE(platform::matchesAny({"eth0", "wlan*"}, "wlan1"));
    EXPECT_FALSE(platform::matchesAny({"eth0", "wlan*"}, "tun0"));
}

} // namespace
