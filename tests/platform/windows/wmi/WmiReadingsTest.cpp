#include "base/Failures.h"
#include "platform/windows/wmi/BootTimeText.h"
#include "platform/windows/wmi/WmiReadings.h"

#include <gtest/gtest.h>

#include <map>

namespace {

// An instance with the given properties; any other is not found. It keeps the names read.
struct Instance : WmiInstance {
    std::map<std::wstring, WmiProperty> properties;
    mutable std::vector<std::wstring> read;

    WmiProperty property(const wchar_t* name) const override
    {
        read.push_back(name);
        return properties.contains(name) ? properties.at(name) : WmiProperty{};
    }
};

WmiProperty read(WBEMSTATUS result, VARTYPE type, const wchar_t* text = L"", std::int32_t number = 0)
{
    return {static_cast<HRESULT>(result), type, text, number};
}
WmiProperty text(const wchar_t* value) { return read(WBEM_S_NO_ERROR, VT_BSTR, value); }
WmiProperty number(std::int32_t value) { return read(WBEM_S_NO_ERROR, VT_I4, L"", value); }
const WmiProperty notFound = read(WBEM_E_NOT_FOUND, VT_EMPTY);

TEST(WmiReadings, AdapterOfAnInstance)
{
    struct Case {
        WmiProperty name, received, sent;
        std::optional<AdapterReading> expected; // with counters
    };
    const Case cases[] = {
        {text(L"Ethernet Adapter"), number(static_cast<std::int32_t>(3000000000u)), number(1500), AdapterReading{"Ethernet Adapter", 0, 1500, 3000000000u}},
        {read(WBEM_S_NO_ERROR, VT_NULL), number(1), number(1), std::nullopt}, // a name that is not a string takes no number
        {text(L"MS TCP Loopback interface"), number(1), number(1), std::nullopt},
        {text(L"MS TCP Loopback Interface"), number(-1), number(0), AdapterReading{"MS TCP Loopback Interface", 0, 0, 4294967295u}},
        {text(L"Wireless"), read(WBEM_S_NO_ERROR, VT_UI8), notFound, AdapterReading{"Wireless", 0, std::nullopt, std::nullopt}},
        {text(L""), notFound, read(WBEM_E_FAILED, VT_I4), AdapterReading{"", 0, std::nullopt, std::nullopt}},
        {read(WBEM_E_FAILED, VT_BSTR), number(1), number(1), std::nullopt},
    };
    for (const Case& c : cases) {
        Instance instance;
        instance.properties = {{L"Name", c.name}, {L"BytesReceivedPerSec", c.received}, {L"BytesSentPerSec", c.sent}};
        const auto reading = adapterOf(instance, true);
        SCOPED_TRACE(reading ? reading->name : "none");
        ASSERT_EQ(reading.has_value(), c.expected.has_value());
        if (reading) {
            EXPECT_EQ(reading->name, c.expected->name);
            EXPECT_EQ(reading->sent, c.expected->sent);
            EXPECT_EQ(reading->received, c.expected->received);
            // Only the name when no counters are asked for.
            instance.read.clear();
            EXPECT_EQ(adapterOf(instance, false)->sent, std::nullopt);
            EXPECT_EQ(instance.read, std::vector<std::wstring>{L"Name"});
        }
    }
}

TEST(WmiReadings, BootTimeOfAnInstance)
{
    const std::pair<WmiProperty, std::string> cases[] = { // the property, and the failure's message or the stamp
        {text(L"20060301081500.000000+060"), std::to_string(*toFileTime({2006, 3, 0, 1, 8, 15, 0, 0}))},
        {text(L"20061301081500.000000+060"), "0"}, // no date
        {notFound, "can't get LastBootUpTime from object"}, {read(WBEM_S_FALSE, VT_BSTR), "can't get LastBootUpTime from object"},
        {number(20060301), "can't get LastBootUpTime from object"}, {text(L"20060301081500"), "Unknown"}, // too short
    };
    for (const auto& [property, expected] : cases) {
        SCOPED_TRACE(expected);
        Instance system;
        system.properties = {{L"LastBootUpTime", property}};
        try {
            EXPECT_EQ(std::to_string(toFileTime(parseBootTimeText(bootTimeTextOf(system))).value_or(0)), expected);
        } catch (const ProgramError& failure) {
            EXPECT_EQ(failure.what(), expected);
        } catch (const UnknownFailure&) {
            EXPECT_EQ("Unknown", expected);
        }
    }
}

} // namespace
