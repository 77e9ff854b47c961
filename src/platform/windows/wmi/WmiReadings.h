#pragma once

#include "base/FileTime.h"
#include "platform/CounterSource.h"

#include <windows.h>
#include <wbemcli.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct WmiSession;

// One property of an instance: what reading it answered and, once read, its type and
// its value as a string (VT_BSTR) or a 32-bit integer (VT_I4).
struct WmiProperty {
    HRESULT result = static_cast<HRESULT>(WBEM_E_NOT_FOUND);
    VARTYPE type = VT_EMPTY;
    std::wstring text;
    std::int32_t number = 0;
};

// An instance that a query delivered; its properties are read one at a time, as asked.
struct WmiInstance {
    virtual ~WmiInstance() = default;
    virtual WmiProperty property(const wchar_t* name) const = 0;
};

// The text of LastBootUpTime of an instance of Win32_OperatingSystem. Raises a
// ProgramError when the property can not be read as a string.
std::string bootTimeTextOf(const WmiInstance& system);

// The adapter an instance of Win32_PerfRawData_Tcpip_NetworkInterface stands for, or
// nothing for an instance whose name is not a string. A counter that is missing or not a
// 32-bit integer stays absent.
std::optional<AdapterReading> adapterOf(const WmiInstance& instance);

// The text of LastBootUpTime of the first Win32_OperatingSystem. Raises a ProgramError
// when the query, the enumeration or the property fails.
std::string readBootTimeText(WmiSession& session);

// Every adapter that Win32_PerfRawData_Tcpip_NetworkInterface enumerates, in enumeration
// order (see adapterOf). When the query or the first step of the enumeration fails, the
// session's interfaces are released and a ProgramError raised.
std::vector<AdapterReading> readAdapters(WmiSession& session);
