#pragma once

#include "base/FileTime.h"
#include "platform/CounterSource.h"

#include <functional>
#include <string>

struct WmiSession;

// The text of Win32_OperatingSystem.LastBootUpTime. Raises a ProgramError when the
// query, the enumeration or the property fails.
std::string readBootTimeText(WmiSession& session);

// The measured computer's last start, from Win32_OperatingSystem.LastBootUpTime, on
// the local wall clock; 0 when its digits form no valid date. Raises a ProgramError
// when the query, the enumeration or the property fails.
FileTime readBootTime(WmiSession& session);

// Calls visit for every adapter that Win32_PerfRawData_Tcpip_NetworkInterface
// enumerates, in enumeration order, leaving out instances whose name is not a string
// and the loopback adapter. Without withCounters only the names are read; a counter
// that is missing or not a 32-bit integer stays absent. When the query or the first
// step of the enumeration fails, the session's interfaces are released and a
// ProgramError raised.
void enumerateAdapters(WmiSession& session, bool withCounters, const std::function<void(const AdapterReading&)>& visit);
