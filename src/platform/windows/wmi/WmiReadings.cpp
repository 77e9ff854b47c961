#include "platform/windows/wmi/WmiReadings.h"

#include "base/Failures.h"
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

// An instance as COM delivers it.
struct ComInstance : WmiInstance {
    IWbemClassObject* object;

    explicit ComInstance(IWbemClassObject* object) : object(object) {}

    WmiProperty property(const wchar_t* name) const override
    {
        Variant value;
        WmiProperty read;
        read.result = object->Get(name, 0, value.out(), nullptr, nullptr);
        read.type = (*value).vt;
        if (SUCCEEDED(read.result) && read.type == VT_BSTR && (*value).bstrVal)
            read.text.assign((*value).bstrVal, SysStringLen((*value).bstrVal));
        if (SUCCEEDED(read.result) && read.type == VT_I4)
            read.number = (*value).lVal;
        return read;
    }
};

} // namespace

std::string bootTimeTextOf(const WmiInstance& system)
{
    const WmiProperty value = system.property(L"LastBootUpTime");
    if (value.result != WBEM_S_NO_ERROR || value.type != VT_BSTR)
        throw ProgramError("can't get LastBootUpTime from object");
    return narrowText(value.text);
}

std::optional<AdapterReading> adapterOf(const WmiInstance& instance)
{
    const WmiProperty name = instance.property(L"Name");
    if (FAILED(name.result) || name.type != VT_BSTR)
        return std::nullopt;
    AdapterReading reading;
    reading.name = narrowText(name.text);
    reading.loopback = reading.name == loopbackName;
    reading.width = CounterWidth::bits32;
    // A 32-bit counter, its bits read unsigned.
    const auto counter = [&](const wchar_t* property) -> std::optional<std::uint64_t> {
        const WmiProperty value = instance.property(property);
        if (FAILED(value.result) || value.type != VT_I4)
            return std::nullopt;
        return static_cast<std::uint32_t>(value.number);
    };
    reading.received = counter(L"BytesReceivedPerSec");
    reading.sent = counter(L"BytesSentPerSec");
    return reading;
}

std::string readBootTimeText(WmiSession& session)
{
    ComRef<IEnumWbemClassObject> enumerator;
    if (FAILED(execQuery(session.services, L"Select * from Win32_OperatingSystem", enumerator)))
        throw ProgramError("can't select Win32_OperatingSystem object");
    ComRef<IWbemClassObject> instance;
    if (next(enumerator.get(), instance) != WBEM_S_NO_ERROR)
        throw ProgramError("Win32_OperatingSystem enum empty");
    return bootTimeTextOf(ComInstance(instance.get()));
}

std::vector<AdapterReading> readAdapters(WmiSession& session)
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
    std::vector<AdapterReading> adapters;
    while (result == WBEM_S_NO_ERROR) {
        if (std::optional<AdapterReading> reading = adapterOf(ComInstance(instance.get())))
            adapters.push_back(std::move(*reading));
        instance.reset();
        result = next(enumerator.get(), instance);
    }
    return adapters;
}
