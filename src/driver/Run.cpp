#include "driver/Run.h"

#include "database/TrafficDatabase.h"
#include "driver/DiagnosticLog.h"
#include "driver/HelpPage.h"
#include "driver/ProgramError.h"
#include "driver/RunSettings.h"
#include "platform/CounterSource.h"
#include "platform/Platform.h"
#include "wmi/ReadAdapters.h"

#include <ostream>

namespace {

constexpr int lockTimeoutMilliseconds = 5000;

FileTime localNow() { return toFileTime(platform::localNow()).value_or(0); }

void runMode(const RunSettings& settings, const std::filesystem::path& folder, TrafficDatabase& database,
             platform::CounterSource& source, DiagnosticLog& log, std::ostream& out)
{
    for (int i = 0; i < settings.logOpenings; ++i)
        log.open(platform::localNow());
    // A server name that can not name the database is refused before anything connects.
    const std::filesystem::path path = databasePath(folder, settings.server);
    if (settings.helpPage)
        printHelpPage(database, source, settings, log, out, localNow());
    log.line();

    if (settings.patternMode) {
        if (settings.pattern.empty()) {
            printHelpPage(database, source, settings, log, out, localNow());
            return;
        }
        source.connect(settings.server, settings.user, settings.password);
        database.load(path, localNow());
        readAdapters(database, source, false, log, out, localNow());
        database.printPattern(settings.pattern, platform::localNow(), out);
        database.save();
    } else if (settings.listMode) {
        source.connect(settings.server, settings.user, settings.password);
        database.load(path, localNow());
        database.printList(source, out);
    }
}

} // namespace

int runBrimlet(const std::vector<std::string>& arguments, std::ostream& out)
{
    platform::InstanceLock lock;
    if (lock.acquire(lockTimeoutMilliseconds) == platform::InstanceLock::Result::timedOut)
        return -1;

    DiagnosticLog log;
    platform::CounterSource source;
    {
        TrafficDatabase database;
        try {
            const std::filesystem::path folder = platform::executableFolder();
            runMode(readArguments(arguments), folder, database, source, log, out);
        } catch (const ProgramError& failure) {
            out << "Program Exception: " << failure.what();
        } catch (...) {
            out << "Unknown Program Exception";
        }
        log.close();
        source.close();
    }
    lock.release();
    return 0;
}
