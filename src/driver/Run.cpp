#include "driver/Run.h"

#include "base/Failures.h"
#include "database/TrafficDatabase.h"
#include "driver/HelpPage.h"
#include "driver/ListDump.h"
#include "driver/ReadAdapters.h"
#include "driver/RunSettings.h"
#include "pattern/PatternPrinter.h"
#include "platform/CounterSource.h"
#include "platform/DiagnosticLog.h"
#include "platform/Platform.h"

#include <cstdlib>
#include <exception>
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
        printPattern(database, settings.pattern, platform::localNow(), out,
                     monthStartDay(std::getenv("BRIMLET_MONTH_START")));
        database.save();
    } else if (settings.listMode) {
        source.connect(settings.server, settings.user, settings.password);
        database.load(path, localNow());
        printList(database, source, out);
    }
}

// Takes the lock of the database the arguments name, and, once it holds it, clears away
// what saves of that database that were killed left behind. Every mode locks, the help
// page as well: so a run that begins its work holds its database's lock, as every run
// held the user's lock before, the list shows the database between two runs, and the
// lines that runs of one database append to a log stay in whole blocks. A name that can
// not name a database locks nothing: runMode refuses it where it always has, after the
// log's opening and the help page.
platform::InstanceLock::Result lockDatabase(platform::InstanceLock& lock, const std::filesystem::path& folder,
                                            const RunSettings& settings)
{
    std::filesystem::path path;
    try {
        path = databasePath(folder, settings.server);
    } catch (const UnknownFailure&) {
        return platform::InstanceLock::Result::unavailable;
    }
    const auto result = lock.acquire(lockPath(path), lockTimeoutMilliseconds);
    if (result == platform::InstanceLock::Result::acquired)
        removeAbandonedSaves(path);
    return result;
}

} // namespace

int runBrimlet(const std::vector<std::string>& arguments, std::ostream& out)
{
    const RunSettings settings = readArguments(arguments);
    if (settings.versionLine) {
        out << "brimlet " BRIMLET_VERSION " " BRIMLET_PLATFORM "\n" << std::flush;
        return 0;
    }

    // The lock belongs to the database, whose place the arguments and the program's
    // folder tell. A failure to find the folder is reported as the run's first step.
    platform::InstanceLock lock;
    std::filesystem::path folder;
    std::exception_ptr noFolder;
    try {
        folder = platform::executableFolder();
        if (lockDatabase(lock, folder, settings) == platform::InstanceLock::Result::timedOut)
            return -1;
    } catch (...) {
        noFolder = std::current_exception();
    }

    int status = 0;
    DiagnosticLog log;
    platform::CounterSource source;
    {
        TrafficDatabase database;
        try {
            if (noFolder)
                std::rethrow_exception(noFolder);
            runMode(settings, folder, database, source, log, out);
        } catch (const ProgramError& failure) {
            out << "Program Exception: " << failure.what();
            status = 1;
        } catch (...) {
            out << "Unknown Program Exception";
            status = 1;
        }
        log.close();
        source.close();
    }
    lock.release();
    return status;
}
