#include "platform/windows/wmi/WmiReadings.h"

#include "base/Failures.h"
#include "platform/windows/wmi/BootTimeText.h"
#include "platform/windows/wmi/ComHolders.h"
#include "platform/windows/wmi/TextConversion.h"
#include "platform/windows/wmi/WmiSession.h"

#include <cstdint>
#include <optional>
#include <string>

namespace {

constexpr LONG queryFlags = WBEM_FLAG_RETURN_IMMEDIATELY | WBEM_FLAG_FORWARD_ONLY;
static_assert(queryFlags == 48);

constexpr const char* loopbackName = "MS TCP Loopback interface";

HRESULT execQuery(IWbemServices* services, const wchar_t* query, ComRef<IEnumWbemClassObject>& enumerator)
{
    const BStr language(L"WQL");
    const BStr text(query);
    return services->ExecQuery(language.get(), text.get(), queryFlags, nullptr, enumerator.out());
}

// Takes the next instance; a result other than WBEM_S_NO_ERROR delivers none.
HRESULT next(IEnumWbemClassObject* enumerator, ComRef<IWbemClassObject>& instance)
{
    ULONG returned = 0;
    const HRESULT result = enumerator->Next(static_cast<LONG>(WBEM_INFINITE), 1, instance.out(), &returned);
    return result == WBEM_S_NO_ERROR && returned != 1 ? static_cast<HRESULT>(WBEM_S_FALSE) : result;
}

// A 32-bit counter property, its bits read unsigned; absent unless it reads as VT_I4.
std::optional<std::uint64_t> readCounter(IWbemClassObject* instance, const wchar_t* property)
{
    Variant value;
    if (FAILED(instance->Get(property, 0, value.out(), nullptr, nullptr)) || (*value).vt != VT_I4)
        return std::nullopt;
    return static_cast<std::uint32_t>((*value).lVal);
}

// The adapter name of an instance, or nothing for an instance that takes no number.
std::optional<std::string> adapterName(IWbemClassObject* instance)
{
    Variant value;
    if (FAILED(instance->Get(L"Name", 0, value.out(), nullptr, nullptr)) || (*value).vt != VT_BSTR)
        return std::nullopt;
    std::string name = narrowText((*value).bstrVal);
    if (name == loopbackName)
        return std::nullopt;
    return name;
}

} // namespace

std::string readBootTimeText(WmiSession& session)
{
    ComRef<IEnumWbemClassObject> enumerator;
    if (FAILED(execQuery(session.services, L"Select * from Win32_OperatingSystem", enumerator)))
        throw ProgramError("can't select Win32_OperatingSystem object");
    ComRef<IWbemClassObject> instance;
    if (next(enumerator.get(), instance) != WBEM_S_NO_ERROR)
        throw ProgramError("Win32_OperatingSystem enum empty");
    Variant value;
    if (instance->Get(L"LastBootUpTime", 0, value.out(), nullptr, nullptr) != WBEM_S_NO_ERROR
        || (*value).vt != VT_BSTR)
        throw ProgramError("can't get LastBootUpTime from object");
    return narrowText((*value).bstrVal);
}

FileTime readBootTime(WmiSession& session)
{
    return toFileTime(parseBootTimeText(readBootTimeText(session))).value_or(0);
}

void enumerateAdapters(WmiSession& session, bool withCounters, const std::function<void(const AdapterReading&)>& visit)
{
    ComRef<IEnumWbemClassObject> enumerator;
    if (FAILED(execQuery(session.services, L"Select * from Win32_PerfRawData_Tcpip_NetworkInterface", enumerator))) {
        session.release();
        throw ProgramError("can't select Win32_PerfRawData");
    }
    ComRef<IWbemClassObject> instance;
    HRESULT result = next(enumerator.get(), instance);
    if (FAILED(result)) {
        enumerator.reset();
        session.release();
        throw ProgramError("Win32_PerfRawData enum empty");
    }
    while (result == WBEM_S_NO_ERROR) {
        if (std::optional<std::string> name = adapterName(instance.get())) {
            AdapterReading reading;
            reading.name = std::move(*name);
            if (withCounters) {
                reading.received = readCounter(instance.get(), L"BytesReceivedPerSec");
                reading.sent = readCounter(instance.get(), L"BytesSentPerSec");
            }
            visit(reading);
        }
        instance.reset();
        result = next(enumerator.get(), instance);
    }
}
