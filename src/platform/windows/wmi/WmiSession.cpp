#include "platform/windows/wmi/WmiSession.h"

#include "base/Failures.h"
#include "platform/windows/wmi/ComHolders.h"
#include "platform/windows/wmi/TextConversion.h"

#include <optional>

namespace {

// Creates the locator, connects it and secures the services proxy. Returns the
// result of the step that failed, with its message, or the last step's result.
HRESULT connectServices(const ComCalls& com, IWbemLocator*& locator, IWbemServices*& services,
                        const std::string& path, const std::string& user, const std::string& password,
                        const char*& message)
{
    HRESULT result = com.createInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                                        reinterpret_cast<void**>(&locator));
    if (FAILED(result)) {
        message = "Failed to create IWbemLocator object.";
        return result;
    }

    const BStr pathText(path);
    {
        // Credentials go only as a pair; otherwise the caller's own security context
        // is used.
        std::optional<BStr> userText;
        std::optional<BStr> passwordText;
        if (!user.empty() && !password.empty()) {
            userText.emplace(user);
            passwordText.emplace(password);
        }
        result = locator->ConnectServer(pathText.get(), userText ? userText->get() : nullptr,
                                        passwordText ? passwordText->get() : nullptr, nullptr, 0, nullptr, nullptr,
                                        &services);
        if (passwordText)
            SecureZeroMemory(passwordText->get(), SysStringByteLen(passwordText->get()));
    }
    if (FAILED(result)) {
        releaseInterface(locator);
        message = "Failed to connect server.";
        return result;
    }

    result = com.setProxyBlanket(services, RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr, RPC_C_AUTHN_LEVEL_CALL,
                                 RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
    if (FAILED(result)) {
        releaseInterface(locator);
        releaseInterface(services);
        message = "Can not set proxy blank.";
    }
    return result;
}

} // namespace

std::string namespacePath(const std::string& server)
{
    if (server.empty())
        return "root\\CIMV2";
    return "\\\\" + server + "\\root\\CIMV2";
}

void WmiSession::connect(const std::string& server, const std::string& user, const std::string& password)
{
    if (FAILED(com->initialize(nullptr, COINIT_MULTITHREADED)))
        throw ProgramError("Failed to initialize COM library");

    // COM takes the process security once per process: when this run has already set
    // it (the help page's connection before the list), it answers "too late".
    const HRESULT security = com->initializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_CONNECT,
                                                     RPC_C_IMP_LEVEL_IDENTIFY, nullptr, EOAC_NONE, nullptr);
    if (FAILED(security) && !(security == RPC_E_TOO_LATE && securitySet))
        throw ProgramError("Failed to initialize COM Security library");
    securitySet = true;

    release(); // a second connection in the run replaces the first
    const char* message = "";
    if (FAILED(connectServices(*com, locator, services, namespacePath(server), user, password, message)))
        throw ProgramError(message);
}

void WmiSession::release()
{
    releaseInterface(services);
    releaseInterface(locator);
}
