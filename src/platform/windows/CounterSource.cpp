#include "platform/CounterSource.h"

#include "platform/windows/wmi/BootTimeText.h"
#include "platform/windows/wmi/WmiReadings.h"
#include "platform/windows/wmi/WmiSession.h"

namespace platform {

namespace {

// WMI of the local or a named computer; COM is given up with the source.
struct WmiSource : CounterSource {
    WmiSession session;

    ~WmiSource() override
    {
        session.release();
        session.com->uninitialize();
    }

    Reading read(const ClockReading&) override
    {
        Reading reading;
        // Windows names no boot; the boot time in UTC stands for it, which the text's own
        // offset gives whatever the time zone is now.
        const std::string text = readBootTimeText(session);
        reading.boot.localBootTime = toFileTime(parseBootTimeText(text)).value_or(0);
        const auto offset = static_cast<std::int64_t>(utcOffsetMinutes(text)) * 60
                            * static_cast<std::int64_t>(fileTimeSecond);
        if (reading.boot.localBootTime != 0)
            reading.boot.utcBootTime = reading.boot.localBootTime - static_cast<FileTime>(offset);
        // No uptime: GetTickCount64 corrupts the caller's registers under Wine 8, where
        // this build is tested, so the time between readings goes by UTC.
        reading.adapters = readAdapters(session);
        return reading;
    }
};

} // namespace

std::unique_ptr<CounterSource> connect(const std::string& server, const std::string& user,
                                       const std::string& password)
{
    auto source = std::make_unique<WmiSource>();
    source->session.connect(server, user, password);
    return source;
}

} // namespace platform
