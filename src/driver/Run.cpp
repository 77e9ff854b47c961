#include "driver/Run.h"

#include "base/DatabaseFiles.h"
#include "base/Failures.h"
#include "database/MergeSession.h"
#include "driver/HelpPage.h"
#include "driver/ListDump.h"
#include "driver/RunSettings.h"
#include "driver/TakeReading.h"
#include "pattern/PatternPrinter.h"
#include "platform/AdapterChoice.h"
#include "platform/CounterSource.h"
#include "platform/DiagnosticLog.h"
#include "platform/Platform.h"

#include <cstdlib>
#include <exception>

namespace {

constexpr int lockTimeoutMilliseconds = 5000;

// The password leaves no copy behind in memory the run gives back.
struct PasswordCleared {
    std::string& password;
    ~PasswordCleared() { platform::clearSecret(password); }
};

// The source lives until the run's clean-up, which gives it up after the log is closed.
void runMode(const RunSettings& settings, const std::filesystem::path& folder, const ClockReading& clock,
             std::unique_ptr<platform::CounterSource>& source, DiagnosticLog& log, StandardOutput& out)
{
    for (int i = 0; i < settings.logOpenings; ++i)
        log.open(clock.local);
    // A server name that can not name the database is refused before anything connects.
    const DatabaseFiles files = databaseFiles(folder, settings.server);
    const auto patterns = platform::adapterPatterns();
    auto helpPage = [&] {
        printUsage(out.stream());
        source = platform::connect(settings.server, settings.user, settings.password);
        const Reading reading = source->read(clock);
        printAdapters(reading, platform::chooseAdapters(reading.adapters, patterns), out.stream());
    };
    if (settings.helpPage)
        helpPage();
    log.line();

    if (settings.patternMode) {
        if (settings.pattern.empty()) {
            helpPage();
            return;
        }
        source = platform::connect(settings.server, settings.user, settings.password);
        TrafficDatabase database;
        MergeSession session = loadSession(database, files, clock.localTime);
        takeReading(database, session, *source, patterns, clock, log);
        session.numbers = platform::userNumbers(session.numbers);
        printPattern(database, settings.pattern, clock.local, out, monthStartDay(std::getenv("BRIMLET_MONTH_START")),
                     {session.elapsed, session.counted});
        saveSession(database, session, files);
    } else if (settings.listMode) {
        source = platform::connect(settings.server, settings.user, settings.password);
        TrafficDatabase database;
        database.load(files.database, clock.localTime);
        const Reading reading = source->read(clock);
        printList(database, reading, platform::chooseAdapters(reading.adapters, patterns), out.stream());
    }
}

// Takes the lock of the database the arguments name. Every mode locks, the help page as
// well: a run that begins its work holds its database's lock, the list shows the
// database between two runs, and the lines that runs of one database append to a log
// stay in whole blocks. A name that can not name a database locks nothing: runMode
// refuses it after the log's opening and the help page.
platform::InstanceLock::Result lockDatabase(platform::InstanceLock& lock, const std::filesystem::path& folder,
                                            const RunSettings& settings)
{
    DatabaseFiles files;
    try {
        files = databaseFiles(folder, settings.server);
    } catch (const UnknownFailure&) {
        return platform::InstanceLock::Result::unavailable;
    }
    return lock.acquire(files.lock, lockTimeoutMilliseconds);
}

} // namespace

int runBrimlet(const std::vector<std::string>& arguments, StandardOutput& out)
{
    RunSettings settings = readArguments(arguments);
    const PasswordCleared cleared{settings.password};
    takeCredentials(settings, std::getenv("BRIMLET_USER"), std::getenv("BRIMLET_PASSWORD"));
    if (settings.versionLine) {
        out.write("brimlet " BRIMLET_VERSION " " BRIMLET_PLATFORM "\n");
        return out.finish() ? 0 : 1;
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

    // The clock is read once: every step sees the same moment, so that a run across
    // midnight merges into and prints the same day.
    const ClockReading clock = platform::readClock();
    int status = 0;
    DiagnosticLog log;
    std::unique_ptr<platform::CounterSource> source;
    try {
        if (noFolder)
            std::rethrow_exception(noFolder);
        runMode(settings, folder, clock, source, log, out);
    } catch (const ProgramError& failure) {
        out.write("Program Exception: ");
        out.write(failure.what());
        status = 1;
    } catch (...) {
        out.write("Unknown Program Exception");
        status = 1;
    }
    log.close();
    source.reset();
    lock.release();
    // A figure that could not be written is lost to the caller, who learns it here; the
    // reading is merged and saved all the same.
    if (!out.finish() && status == 0)
        status = 1;
    return status;
}
