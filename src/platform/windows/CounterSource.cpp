#include "platform/CounterSource.h"

#include "platform/windows/wmi/WmiReadings.h"
#include "platform/windows/wmi/WmiSession.h"

namespace platform {

// The Windows build reads WMI of the local or a named computer.
struct CounterSource::State {
    WmiSession session;
};

CounterSource::CounterSource() : state(std::make_unique<State>()) {}

CounterSource::~CounterSource() = default;

void CounterSource::connect(const std::string& server, const std::string& user, const std::string& password)
{
    state->session.connect(server, user, password);
}

FileTime CounterSource::readBootTime() { return ::readBootTime(state->session); }

CounterWidth CounterSource::counterWidth() const { return CounterWidth::bits32; }

void CounterSource::forEachAdapter(bool withCounters, const std::function<void(const AdapterReading&)>& visit)
{
    enumerateAdapters(state->session, withCounters, visit);
}

void CounterSource::close()
{
    state->session.release();
    state->session.com->uninitialize();
}

} // namespace platform
