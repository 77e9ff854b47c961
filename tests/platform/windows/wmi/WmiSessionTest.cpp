#include "ComFakes.h"

#include "base/Failures.h"
#include "platform/windows/wmi/WmiSession.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Calls = std::vector<std::string>;

const std::string initializeCall = "CoInitializeEx null 0";
const std::string securityCall = "CoInitializeSecurity null -1 null null 2 2 null 0 null";
const std::string createCall = "CoCreateInstance WbemLocator null 1 IWbemLocator";
const std::string blanketCall = "CoSetProxyBlanket services 10 0 null 3 3 null 0";

std::string connectCall(const std::string& path, const std::string& user, const std::string& password)
{
    return "ConnectServer " + path + " " + user + " " + password + " (null) 0 (null) null";
}

// Connects and gives the failure's message, or "" when it succeeded.
std::string connect(WmiSession& session, const std::string& server = "", const std::string& user = "",
                    const std::string& password = "")
{
    try {
        session.connect(server, user, password);
        return "";
    } catch (const ProgramError& failure) {
        return failure.what();
    }
}

class WmiSessionTest : public testing::Test, protected FakeWmi {};

TEST_F(WmiSessionTest, ConnectsAndReleasesServicesThenLocator)
{
    {
        WmiSession session(com.calls());
        EXPECT_EQ(connect(session), "");
        EXPECT_EQ(session.locator, &locator);
        EXPECT_EQ(session.services, &services);
        session.release();
        EXPECT_EQ(session.locator, nullptr);
        EXPECT_EQ(session.services, nullptr);
        session.release();
    }
    EXPECT_EQ(log.calls, (Calls{initializeCall, securityCall, createCall, connectCall("root\\CIMV2", "(null)", "(null)"),
                                blanketCall, "Release services", "Release locator"}));
    EXPECT_TRUE(locator.releasedExactly());
    EXPECT_TRUE(services.releasedExactly());
}

TEST_F(WmiSessionTest, PathAndCredentials)
{
    const struct {
        const char* server;
        const char* user;
        const char* password;
        const char* path;
        const char* passedUser;
        const char* passedPassword;
    } cases[] = {
        {"", "", "", "root\\CIMV2", "(null)", "(null)"},
        {"fileserver", "", "", "\\\\fileserver\\root\\CIMV2", "(null)", "(null)"},
        {"FileServer ", "", "", "\\\\FileServer \\root\\CIMV2", "(null)", "(null)"},
        // Credentials go only as a pair, to a named server or the local computer alike.
        {"", "Admin", "MySecretPw42", "root\\CIMV2", "Admin", "MySecretPw42"},
        {"MyServer", "Admin", "MySecretPw42", "\\\\MyServer\\root\\CIMV2", "Admin", "MySecretPw42"},
        {"MyServer", "Admin", "", "\\\\MyServer\\root\\CIMV2", "(null)", "(null)"},
        {"", "", "MySecretPw42", "root\\CIMV2", "(null)", "(null)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.server) + "|" + c.user + "|" + c.password);
        log.calls.clear();
        com.created = 0;
        {
            WmiSession session(com.calls());
            EXPECT_EQ(connect(session, c.server, c.user, c.password), "");
        }
        ASSERT_EQ(log.calls.size(), 7u);
        EXPECT_EQ(log.calls[3], connectCall(c.path, c.passedUser, c.passedPassword));
        EXPECT_TRUE(locator.releasedExactly());
        EXPECT_TRUE(services.releasedExactly());
    }
    EXPECT_EQ(namespacePath("fileserver").size(), 23u);
}

TEST_F(WmiSessionTest, EachFailureAtItsStep)
{
    enum Step { initialize, security, create, connectServer, blanket };
    const struct {
        Step failing;
        HRESULT result;
        const char* message;
        Calls calls; // the calls after CoInitializeEx
    } cases[] = {
        {initialize, E_OUTOFMEMORY, "Failed to initialize COM library", {}},
        {security, E_ACCESSDENIED, "Failed to initialize COM Security library", {securityCall}},
        // Too late for the first connection of a run means that something else set it.
        {security, RPC_E_TOO_LATE, "Failed to initialize COM Security library", {securityCall}},
        {create, REGDB_E_CLASSNOTREG, "Failed to create IWbemLocator object.", {securityCall, createCall}},
        {connectServer, wbem(WBEM_E_ACCESS_DENIED), "Failed to connect server.",
         {securityCall, createCall, connectCall("root\\CIMV2", "(null)", "(null)"), "Release locator"}},
        {blanket, E_ACCESSDENIED, "Can not set proxy blank.",
         {securityCall, createCall, connectCall("root\\CIMV2", "(null)", "(null)"), blanketCall, "Release locator",
          "Release services"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        FakeWmi step;
        step.com.initializeResult = c.failing == initialize ? c.result : S_OK;
        if (c.failing == security)
            step.com.securityResults = {c.result};
        step.com.createResult = c.failing == create ? c.result : S_OK;
        step.locator.connectResult = c.failing == connectServer ? c.result : wbem(WBEM_S_NO_ERROR);
        step.com.blanketResult = c.failing == blanket ? c.result : S_OK;

        WmiSession session(step.com.calls());
        EXPECT_EQ(connect(session), c.message);
        EXPECT_EQ(session.locator, nullptr);
        EXPECT_EQ(session.services, nullptr);
        session.release(); // the driver's final release finds nothing left
        Calls expected{initializeCall};
        expected.insert(expected.end(), c.calls.begin(), c.calls.end());
        EXPECT_EQ(step.log.calls, expected);
        EXPECT_TRUE(step.locator.releasedExactly());
        EXPECT_TRUE(step.services.releasedExactly());
    }
}

TEST_F(WmiSessionTest, SecondConnectionOfARunReplacesTheFirst)
{
    // The help page connects to the local computer, then list mode connects again; COM
    // then answers that the process security was set already, by this run.
    FakeServices secondServices{log, "second services"};
    FakeLocator secondLocator{log, "second locator"};
    secondLocator.services = &secondServices;
    com.locators = {&locator, &secondLocator};
    com.securityResults = {S_OK, RPC_E_TOO_LATE};
    {
        WmiSession session(com.calls());
        EXPECT_EQ(connect(session), "");
        log.calls.clear();
        EXPECT_EQ(connect(session, "MyServer"), "");
        EXPECT_EQ(session.locator, &secondLocator);
        EXPECT_EQ(session.services, &secondServices);
    }
    EXPECT_EQ(log.calls,
              (Calls{initializeCall, securityCall, "Release services", "Release locator", createCall,
                     connectCall("\\\\MyServer\\root\\CIMV2", "(null)", "(null)"),
                     "CoSetProxyBlanket second services 10 0 null 3 3 null 0", "Release second services",
                     "Release second locator"}));
    for (const auto* fake : {&services, &secondServices})
        EXPECT_TRUE(fake->releasedExactly()) << fake->name;
    for (const auto* fake : {&locator, &secondLocator})
        EXPECT_TRUE(fake->releasedExactly()) << fake->name;
}

TEST_F(WmiSessionTest, FailedSecondConnectionLeavesNothingBehind)
{
    com.securityResults = {S_OK, E_ACCESSDENIED};
    WmiSession session(com.calls());
    EXPECT_EQ(connect(session), "");
    EXPECT_EQ(connect(session), "Failed to initialize COM Security library");
    // The first connection stays for the driver's final release.
    session.release();
    EXPECT_TRUE(locator.releasedExactly());
    EXPECT_TRUE(services.releasedExactly());
}

} // namespace
