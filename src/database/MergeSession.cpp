#include "database/MergeSession.h"

#include "base/Failures.h"
#include "platform/Platform.h"

MergeSession loadSession(TrafficDatabase& database, const DatabaseFiles& files, FileTime now)
{
    database.load(files.database, now);
    MergeSession session;
    session.loadedFingerprint = databaseFingerprint(database.fileContent);
    platform::FileStamp stamp;
    if (const auto state = platform::readFile(files.state, 0, &stamp)) {
        session.last = decodeRunState(*state, session.loadedFingerprint);
        session.stateFile = stamp;
    }
    return session;
}

void saveSession(TrafficDatabase& database, const MergeSession& session, const DatabaseFiles& files)
{
    const std::string state = encodeRunStates(session.next, databaseFingerprint(database.fileContent),
                                              session.last ? &*session.last : nullptr, session.loadedFingerprint);
    try {
        // One write within one span, so that a kill leaves it whole or absent.
        if (!(database.savesInPlace() && session.stateFile && session.stateFile->size == state.size()
              && state.size() <= platform::wholeWriteSpan
              && platform::overwriteFile(files.state, *session.stateFile, 0, state, false)))
            platform::replaceFile(files.state, state, false);
    } catch (const ProgramError&) {
    }
    database.save(files.database);
}

void removeAbandonedSaves(const DatabaseFiles& files)
{
    platform::removeAbandonedTemporaries({files.database, files.state});
}
