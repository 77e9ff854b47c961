#include "database/MergeSession.h"

#include "base/Failures.h"
#include "platform/Platform.h"

MergeSession loadSession(TrafficDatabase& database, const DatabaseFiles& files, FileTime now)
{
    database.load(files.database, now);
    MergeSession session;
    session.loadedFingerprint = databaseFingerprint(database.fileContent);
    if (const auto state = platform::readFile(files.state))
        session.last = decodeRunState(*state, session.loadedFingerprint);
    return session;
}

void saveSession(TrafficDatabase& database, const MergeSession& session, const DatabaseFiles& files)
{
    try {
        platform::replaceFile(files.state,
                              encodeRunStates(session.next, databaseFingerprint(database.fileContent),
                                              session.last ? &*session.last : nullptr, session.loadedFingerprint),
                              false);
    } catch (const ProgramError&) {
    }
    database.save(files.database);
}

void removeAbandonedSaves(const DatabaseFiles& files)
{
    platform::removeAbandonedTemporaries({files.database, files.state});
}
