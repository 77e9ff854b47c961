#include "platform/linux/LocalTime.h"

#include "base/ByteCheck.h"
#include "platform/linux/SourceMark.h"

#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace platform {

namespace {

CalendarTime calendarTime(const tm& local)
{
    CalendarTime time;
    time.year = local.tm_year + 1900;
    time.month = local.tm_mon + 1;
    time.dayOfWeek = local.tm_wday;
    time.day = local.tm_mday;
    time.hour = local.tm_hour;
    time.minute = local.tm_min;
    time.second = local.tm_sec == 60 ? 59 : local.tm_sec; // a leap second stays in its minute
    return time;
}

// A memo holds the clock's offset for a day ahead at most. The C library is asked a
// minute apart and a change of offset found to the second: zones change their offset
// months apart, and only two changes within one minute that cancel out would go unseen.
constexpr std::int64_t memoAhead = 86'400;
constexpr std::int64_t probeStep = 60;

// The local wall clock's offset from UTC in seconds over [from, until), and at one boot
// time, as the C library gave them, with the mark of what it read the zone from.
struct ZoneMemo {
    std::uint64_t source = 0;
    std::int64_t from = 0;
    std::int64_t until = 0;
    std::int64_t offset = 0;
    std::int64_t boot = 0;
    std::int64_t bootOffset = 0;
    bool bootKnown = false;
};

// In the lock file: a format byte, the memo's seven fields of 8 bytes, little-endian,
// and a check of the bytes before it, which a write torn by a power cut fails.
constexpr unsigned char memoFormat = 1;
constexpr std::size_t memoFields = 7;
constexpr std::size_t memoSize = 1 + memoFields * 8 + 8;

struct Zone {
    bool kept = false;    // a lock file of the user's own keeps the memo
    bool changed = false; // the memo holds what the lock file does not yet
    bool marked = false;  // source is the mark of this process's zone
    std::uint64_t source = 0;
    ZoneMemo memo;
};

Zone zone;

// A mark of all the C library reads the zone from: TZ and TZDIR, the file TZ names (an
// empty TZ names "Universal", none /etc/localtime), and where TZ is set, the file that
// completes a rule in TZ that gives no dates of change.
std::uint64_t zoneSource()
{
    const char* tz = std::getenv("TZ");
    const char* tzdir = std::getenv("TZDIR");
    const std::string folder = tzdir && *tzdir ? tzdir : "/usr/share/zoneinfo";
    std::string_view name = !tz ? "/etc/localtime" : *tz ? tz : "Universal";
    if (name.front() == ':')
        name.remove_prefix(1);
    const std::string file = name.empty() || name.front() == '/' ? std::string(name) : folder + "/" + std::string(name);
    const std::uint64_t mark = markFile(file.c_str(), markText(tzdir, markText(tz, byteCheckStart)));
    return tz ? markFile((folder + "/posixrules").c_str(), mark) : mark;
}

// The seconds the local fields lie ahead of UTC at t; nothing for fields without a stamp.
std::optional<std::int64_t> offsetOf(time_t t, const CalendarTime& local)
{
    const std::optional<FileTime> stamp = toFileTime(local);
    if (!stamp)
        return std::nullopt;
    return static_cast<std::int64_t>(*stamp / fileTimeSecond) - secondsFrom1601To1970 - static_cast<std::int64_t>(t);
}

std::optional<std::int64_t> libraryOffset(time_t t)
{
    tm fields{};
    if (!localtime_r(&t, &fields))
        return std::nullopt;
    return offsetOf(t, calendarTime(fields));
}

std::optional<CalendarTime> shifted(time_t t, std::int64_t offset)
{
    const std::int64_t seconds = static_cast<std::int64_t>(t) + offset + secondsFrom1601To1970;
    if (seconds < 0)
        return std::nullopt;
    return toCalendarTime(static_cast<FileTime>(seconds) * fileTimeSecond);
}

// Keeps the library's answer at t: for the boot, that one offset; for the clock, the
// offset up to the first second that has another.
void learn(time_t t, LocalInstant instant, const CalendarTime& local)
{
    const std::optional<std::int64_t> offset = offsetOf(t, local);
    if (!offset)
        return;
    ZoneMemo& memo = zone.memo;
    zone.changed = true;
    if (instant == LocalInstant::boot) {
        memo.boot = t;
        memo.bootOffset = *offset;
        memo.bootKnown = true;
        return;
    }
    std::int64_t holds = t;
    std::int64_t until = t + memoAhead;
    for (std::int64_t probe = t + probeStep; probe <= t + memoAhead; probe += probeStep) {
        if (libraryOffset(static_cast<time_t>(probe)) == offset) {
            holds = probe;
            continue;
        }
        while (probe - holds > 1) {
            const std::int64_t middle = holds + (probe - holds) / 2;
            (libraryOffset(static_cast<time_t>(middle)) == offset ? holds : probe) = middle;
        }
        until = probe;
        break;
    }
    memo.from = t;
    memo.until = until;
    memo.offset = *offset;
}

void putField(unsigned char* at, std::uint64_t value)
{
    for (int i = 0; i < 8; ++i)
        at[i] = static_cast<unsigned char>(value >> (8 * i));
}

std::uint64_t getField(const unsigned char* at)
{
    std::uint64_t value = 0;
    for (int i = 7; i >= 0; --i)
        value = value << 8 | at[i];
    return value;
}

std::string_view checkedPart(const std::array<unsigned char, memoSize>& bytes)
{
    return {reinterpret_cast<const char*>(bytes.data()), memoSize - 8};
}

} // namespace

std::optional<CalendarTime> localCalendar(time_t t, LocalInstant instant)
{
    if (zone.kept && !zone.marked) {
        zone.source = zoneSource();
        zone.marked = true;
        if (zone.memo.source != zone.source)
            zone.memo = ZoneMemo{zone.source};
    }
    const ZoneMemo& memo = zone.memo;
    if (zone.kept) {
        if (instant == LocalInstant::clock && memo.from <= t && t < memo.until)
            if (auto local = shifted(t, memo.offset))
                return local;
        if (instant == LocalInstant::boot && memo.bootKnown && memo.boot == t)
            if (auto local = shifted(t, memo.bootOffset))
                return local;
    }
    tm fields{};
    if (!localtime_r(&t, &fields))
        return std::nullopt;
    const CalendarTime local = calendarTime(fields);
    if (zone.kept)
        learn(t, instant, local);
    return local;
}

void readZoneMemo(int lockFile)
{
    zone = Zone{};
    zone.kept = true;
    std::array<unsigned char, memoSize> bytes{};
    if (::pread(lockFile, bytes.data(), bytes.size(), 0) != static_cast<ssize_t>(bytes.size()) || bytes[0] != memoFormat
        || getField(bytes.data() + memoSize - 8) != byteCheck(checkedPart(bytes)))
        return;
    std::array<std::uint64_t, memoFields> fields{};
    for (std::size_t i = 0; i < memoFields; ++i)
        fields[i] = getField(bytes.data() + 1 + 8 * i);
    const auto as = [](std::uint64_t value) { return static_cast<std::int64_t>(value); };
    zone.memo = {fields[0], as(fields[1]), as(fields[2]), as(fields[3]), as(fields[4]), as(fields[5]), fields[6] != 0};
}

void writeZoneMemo(int lockFile)
{
    if (zone.kept && zone.changed) {
        const ZoneMemo& memo = zone.memo;
        const auto as = [](std::int64_t value) { return static_cast<std::uint64_t>(value); };
        const std::array<std::uint64_t, memoFields> fields{
            memo.source, as(memo.from), as(memo.until), as(memo.offset), as(memo.boot), as(memo.bootOffset), memo.bootKnown};
        std::array<unsigned char, memoSize> bytes{};
        bytes[0] = memoFormat;
        for (std::size_t i = 0; i < memoFields; ++i)
            putField(bytes.data() + 1 + 8 * i, fields[i]);
        putField(bytes.data() + memoSize - 8, byteCheck(checkedPart(bytes)));
        // A cache: a write that fails leaves the old memo, which the next run checks as this one did.
        [[maybe_unused]] const ssize_t written = ::pwrite(lockFile, bytes.data(), bytes.size(), 0);
    }
    zone = Zone{}; // the memo goes with the lock
}

} // namespace platform
