#include "platform/CounterSource.h"

#include "platform/AdapterChoice.h"
#include "platform/windows/wmi/BootTimeText.h"
#include "platform/windows/wmi/WmiReadings.h"
#include "platform/windows/wmi/WmiSession.h"

namespace platform {

// The Windows build reads WMI of the local or a named computer.
struct CounterSource::State {
    WmiSession session;
    std::string bootTimeText; // as the last boot time query gave it
};

CounterSource::CounterSource() : state(std::make_unique<State>()) {}

CounterSource::~CounterSource() = default;

void CounterSource::connect(const std::string& server, const std::string& user, const std::string& password)
{
    state->session.connect(server, user, password);
}

FileTime CounterSource::readBootTime()
{
    state->bootTimeText = readBootTimeText(state->session);
    return toFileTime(parseBootTimeText(state->bootTimeText)).value_or(0);
}

BootIdentity CounterSource::readBootIdentity()
{
    // Windows names no boot; the boot time in UTC stands for it, which the text's own
    // offset gives whatever the time zone is now.
    if (state->bootTimeText.empty())
        state->bootTimeText = readBootTimeText(state->session);
    BootIdentity identity;
    const FileTime local = toFileTime(parseBootTimeText(state->bootTimeText)).value_or(0);
    const auto offset = static_cast<std::int64_t>(utcOffsetMinutes(state->bootTimeText)) * 60
                        * static_cast<std::int64_t>(fileTimeSecond);
    if (local != 0)
        identity.utcBootTime = local - static_cast<FileTime>(offset);
    return identity;
}

CounterWidth CounterSource::counterWidth() const { return CounterWidth::bits32; }

void CounterSource::forEachAdapter(bool withCounters, const std::function<void(const AdapterReading&)>& visit)
{
    const auto patterns = adapterPatterns();
    if (!patterns) {
        enumerateAdapters(state->session, withCounters, visit);
        return;
    }
    enumerateAdapters(state->session, withCounters, [&](const AdapterReading& reading) {
        if (matchesAny(*patterns, reading.name))
            visit(reading);
    });
}

void CounterSource::close()
{
    state->session.release();
    state->session.com->uninitialize();
}

} // namespace platform
