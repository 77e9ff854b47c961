#include "ComFakes.h"

#include "base/Failures.h"
#include "platform/windows/wmi/WmiReadings.h"
#include "platform/windows/wmi/WmiSession.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Calls = std::vector<std::string>;

const std::string bootQuery = "ExecQuery WQL Select * from Win32_OperatingSystem 48 null";
const std::string adapterQuery = "ExecQuery WQL Select * from Win32_PerfRawData_Tcpip_NetworkInterface 48 null";
const std::string next = "Next -1 1";

// A connected session on fakes, with one enumerator for the query to hand out.
// The session is connected from the start.
class WmiReadingsTest : public testing::Test, protected FakeWmi {
protected:
    std::vector<std::unique_ptr<FakeObject>> objects;
    WmiSession session{com.calls()};

    WmiReadingsTest()
    {
        session.locator = locator.handOut();
        session.services = services.handOut();
    }

    FakeObject* object(const std::string& name)
    {
        objects.push_back(std::make_unique<FakeObject>(log, name));
        return objects.back().get();
    }

    // Every interface handed out in the reading came back exactly once, while the
    // session's own stayed with it, or came back exactly once when the session lost them.
    void expectReleased(bool sessionKept)
    {
        EXPECT_TRUE(enumerator.releasedExactly());
        for (const auto& o : objects)
            EXPECT_TRUE(o->releasedExactly()) << o->name;
        if (sessionKept) {
            EXPECT_EQ(session.services, &services);
            EXPECT_EQ(services.references, 1);
            EXPECT_EQ(locator.references, 1);
        } else {
            EXPECT_EQ(session.services, nullptr);
            EXPECT_EQ(session.locator, nullptr);
            EXPECT_TRUE(services.releasedExactly());
            EXPECT_TRUE(locator.releasedExactly());
        }
    }

};

// The message of the failure that call raises, or "" when it raises none.
std::string failureOf(const std::function<void()>& call)
{
    try {
        call();
        return "";
    } catch (const ProgramError& failure) {
        return failure.what();
    }
}

FileTime stamp(int year, int month, int day, int hour, int minute)
{
    CalendarTime t;
    t.year = year;
    t.month = month;
    t.day = day;
    t.hour = hour;
    t.minute = minute;
    return toFileTime(t).value();
}

TEST_F(WmiReadingsTest, BootTimeFromTheFirstOperatingSystem)
{
    FakeObject* system = object("system");
    system->properties[L"LastBootUpTime"] = stringProperty(L"20060301081500.000000+060");
    enumerator.steps = {{wbem(WBEM_S_NO_ERROR), system}, {wbem(WBEM_S_NO_ERROR), object("second system")}};

    EXPECT_EQ(readBootTime(session), stamp(2006, 3, 1, 8, 15));
    EXPECT_EQ(log.calls,
              (Calls{bootQuery, next, "Get system LastBootUpTime 0", "Release system", "Release enumerator"}));
    expectReleased(true);
}

TEST_F(WmiReadingsTest, BootTimeThatIsNoDateIsZero)
{
    FakeObject* system = object("system");
    system->properties[L"LastBootUpTime"] = stringProperty(L"20061301081500.000000+060");
    enumerator.steps = {{wbem(WBEM_S_NO_ERROR), system}};
    EXPECT_EQ(readBootTime(session), 0u);
    expectReleased(true);
}

TEST_F(WmiReadingsTest, BootTimeFailures)
{
    enum Failing { query, nextFails, nextEmpty, getFails, getNotZero, notAString };
    const struct {
        Failing failing;
        const char* message;
    } cases[] = {
        {query, "can't select Win32_OperatingSystem object"},
        {nextFails, "Win32_OperatingSystem enum empty"},
        {nextEmpty, "Win32_OperatingSystem enum empty"},
        {getFails, "can't get LastBootUpTime from object"},
        {getNotZero, "can't get LastBootUpTime from object"},
        {notAString, "can't get LastBootUpTime from object"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.failing);
        FakeWmi wmi;
        FakeObject system(wmi.log, "system");
        wmi.services.queryResult = c.failing == query ? wbem(WBEM_E_INVALID_CLASS) : wbem(WBEM_S_NO_ERROR);
        if (c.failing == nextFails)
            wmi.enumerator.steps = {{wbem(WBEM_E_FAILED), nullptr}};
        else if (c.failing != nextEmpty)
            wmi.enumerator.steps = {{wbem(WBEM_S_NO_ERROR), &system}};
        system.properties[L"LastBootUpTime"] = c.failing == getFails     ? failedProperty(wbem(WBEM_E_NOT_FOUND))
                                               : c.failing == getNotZero ? failedProperty(wbem(WBEM_S_FALSE))
                                               : c.failing == notAString ? numberProperty(20060301)
                                                                         : stringProperty(L"x");
        WmiSession caseSession(wmi.com.calls());
        caseSession.services = wmi.services.handOut();

        EXPECT_EQ(failureOf([&] { readBootTime(caseSession); }), c.message);
        EXPECT_TRUE(wmi.enumerator.releasedExactly());
        EXPECT_TRUE(system.releasedExactly());
        // The session keeps its services for the driver's final release.
        EXPECT_EQ(wmi.services.references, 1);
        EXPECT_EQ(wmi.log.calls.front(), bootQuery);
    }
}

TEST_F(WmiReadingsTest, BootTimeTextTooShortFailsWithoutMessage)
{
    FakeObject* system = object("system");
    system->properties[L"LastBootUpTime"] = stringProperty(L"20060301081500");
    enumerator.steps = {{wbem(WBEM_S_NO_ERROR), system}};
    EXPECT_THROW(readBootTime(session), UnknownFailure);
    expectReleased(true);
}

struct Visit {
    std::string name;
    std::optional<std::uint64_t> sent;
    std::optional<std::uint64_t> received;
    bool operator==(const Visit&) const = default;
};

TEST_F(WmiReadingsTest, AdaptersInEnumerationOrder)
{
    FakeObject* ethernet = object("ethernet");
    ethernet->properties[L"Name"] = stringProperty(L"Ethernet Adapter");
    ethernet->properties[L"BytesReceivedPerSec"] = numberProperty(static_cast<LONG>(3000000000u));
    ethernet->properties[L"BytesSentPerSec"] = numberProperty(1500);
    FakeObject* unnamed = object("unnamed"); // a name that is not a string takes no number
    unnamed->properties[L"Name"] = typedProperty(VT_NULL);
    FakeObject* loopback = object("loopback");
    loopback->properties[L"Name"] = stringProperty(L"MS TCP Loopback interface");
    FakeObject* lookalike = object("lookalike"); // only the exact name is the loopback
    lookalike->properties[L"Name"] = stringProperty(L"MS TCP Loopback Interface");
    lookalike->properties[L"BytesReceivedPerSec"] = numberProperty(-1);
    lookalike->properties[L"BytesSentPerSec"] = numberProperty(0);
    FakeObject* oddCounters = object("odd counters");
    oddCounters->properties[L"Name"] = stringProperty(L"Wireless");
    oddCounters->properties[L"BytesReceivedPerSec"] = typedProperty(VT_UI8);
    oddCounters->properties[L"BytesSentPerSec"] = failedProperty(wbem(WBEM_E_NOT_FOUND));
    FakeObject* nullName = object("null name");
    nullName->properties[L"Name"] = stringProperty(L"");
    nullName->properties[L"Name"].nullText = true;
    FakeObject* failingName = object("failing name");
    failingName->properties[L"Name"] = failedProperty(wbem(WBEM_E_FAILED));
    enumerator.steps = {{wbem(WBEM_S_NO_ERROR), ethernet}, {wbem(WBEM_S_NO_ERROR), unnamed},     {wbem(WBEM_S_NO_ERROR), loopback},
                        {wbem(WBEM_S_NO_ERROR), lookalike}, {wbem(WBEM_S_NO_ERROR), oddCounters}, {wbem(WBEM_S_NO_ERROR), nullName},
                        {wbem(WBEM_S_NO_ERROR), failingName}};

    std::vector<Visit> visits;
    enumerateAdapters(session, true, [&](const AdapterReading& reading) {
        log.add("visit " + reading.name);
        visits.push_back({reading.name, reading.sent, reading.received});
    });

    EXPECT_EQ(visits, (std::vector<Visit>{{"Ethernet Adapter", 1500, 3000000000u},
                                          {"MS TCP Loopback Interface", 0, 4294967295u},
                                          {"Wireless", std::nullopt, std::nullopt},
                                          {"", std::nullopt, std::nullopt}}));
    // Each adapter is delivered once its counters are read, before the next instance.
    EXPECT_EQ(log.calls,
              (Calls{adapterQuery,
                     next,
                     "Get ethernet Name 0",
                     "Get ethernet BytesReceivedPerSec 0",
                     "Get ethernet BytesSentPerSec 0",
                     "visit Ethernet Adapter",
                     "Release ethernet",
                     next,
                     "Get unnamed Name 0",
                     "Release unnamed",
                     next,
                     "Get loopback Name 0",
                     "Release loopback",
                     next,
                     "Get lookalike Name 0",
                     "Get lookalike BytesReceivedPerSec 0",
                     "Get lookalike BytesSentPerSec 0",
                     "visit MS TCP Loopback Interface",
                     "Release lookalike",
                     next,
                     "Get odd counters Name 0",
                     "Get odd counters BytesReceivedPerSec 0",
                     "Get odd counters BytesSentPerSec 0",
                     "visit Wireless",
                     "Release odd counters",
                     next,
                     "Get null name Name 0",
                     "Get null name BytesReceivedPerSec 0",
                     "Get null name BytesSentPerSec 0",
                     "visit ",
                     "Release null name",
                     next,
                     "Get failing name Name 0",
                     "Release failing name",
                     next,
                     "Release enumerator"}));
    expectReleased(true);
}

TEST_F(WmiReadingsTest, NamesOnlyReadsNoCounters)
{
    FakeObject* ethernet = object("ethernet");
    ethernet->properties[L"Name"] = stringProperty(L"Ethernet Adapter");
    ethernet->properties[L"BytesReceivedPerSec"] = numberProperty(1);
    enumerator.steps = {{wbem(WBEM_S_NO_ERROR), ethernet}};
    std::vector<Visit> visits;
    enumerateAdapters(session, false, [&](const AdapterReading& r) { visits.push_back({r.name, r.sent, r.received}); });
    EXPECT_EQ(visits, (std::vector<Visit>{{"Ethernet Adapter", std::nullopt, std::nullopt}}));
    EXPECT_EQ(log.calls, (Calls{adapterQuery, next, "Get ethernet Name 0", "Release ethernet", next,
                                "Release enumerator"}));
    expectReleased(true);
}

TEST_F(WmiReadingsTest, EnumerationEnds)
{
    const struct {
        const char* title;
        HRESULT queryResult;
        std::vector<HRESULT> nextResults; // wbem(WBEM_S_NO_ERROR) delivers an adapter
        const char* message;
        std::size_t visits;
        bool sessionKept;
    } cases[] = {
        {"query fails", wbem(WBEM_E_INVALID_QUERY), {}, "can't select Win32_PerfRawData", 0, false},
        {"first Next fails", wbem(WBEM_S_NO_ERROR), {wbem(WBEM_E_FAILED)}, "Win32_PerfRawData enum empty", 0, false},
        {"no instance at all", wbem(WBEM_S_NO_ERROR), {wbem(WBEM_S_FALSE)}, "", 0, true},
        {"Next fails midway", wbem(WBEM_S_NO_ERROR), {wbem(WBEM_S_NO_ERROR), wbem(WBEM_E_TRANSPORT_FAILURE), wbem(WBEM_S_NO_ERROR)}, "", 1, true},
        {"Next times out midway", wbem(WBEM_S_NO_ERROR), {wbem(WBEM_S_NO_ERROR), wbem(WBEM_S_NO_ERROR), wbem(WBEM_S_TIMEDOUT)}, "", 2, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        FakeWmi wmi;
        std::vector<std::unique_ptr<FakeObject>> adapters;
        wmi.services.queryResult = c.queryResult;
        for (const HRESULT result : c.nextResults) {
            adapters.push_back(std::make_unique<FakeObject>(wmi.log, "adapter"));
            adapters.back()->properties[L"Name"] = stringProperty(L"Adapter");
            wmi.enumerator.steps.push_back({result, result == wbem(WBEM_S_NO_ERROR) ? adapters.back().get() : nullptr});
        }
        WmiSession caseSession(wmi.com.calls());
        caseSession.locator = wmi.locator.handOut();
        caseSession.services = wmi.services.handOut();

        std::size_t visits = 0;
        EXPECT_EQ(failureOf([&] { enumerateAdapters(caseSession, true, [&](const AdapterReading&) { ++visits; }); }),
                  c.message);
        EXPECT_EQ(visits, c.visits);
        EXPECT_TRUE(wmi.enumerator.releasedExactly());
        for (const auto& adapter : adapters)
            EXPECT_TRUE(adapter->releasedExactly());
        if (c.sessionKept) {
            EXPECT_EQ(wmi.services.references, 1);
            EXPECT_EQ(wmi.locator.references, 1);
        } else {
            // Released on the failure path and cleared, so the final release skips them.
            EXPECT_EQ(caseSession.services, nullptr);
            EXPECT_EQ(caseSession.locator, nullptr);
            caseSession.release();
            EXPECT_TRUE(wmi.services.releasedExactly());
            EXPECT_TRUE(wmi.locator.releasedExactly());
        }
    }
}

TEST_F(WmiReadingsTest, FailureWhileDeliveringReleasesEverything)
{
    FakeObject* ethernet = object("ethernet");
    ethernet->properties[L"Name"] = stringProperty(L"Ethernet Adapter");
    enumerator.steps = {{wbem(WBEM_S_NO_ERROR), ethernet}, {wbem(WBEM_S_NO_ERROR), object("never read")}};
    EXPECT_THROW(enumerateAdapters(session, true, [](const AdapterReading&) { throw std::bad_alloc(); }),
                 std::bad_alloc);
    expectReleased(true);
}

} // namespace
