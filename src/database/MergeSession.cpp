#include "database/MergeSession.h"

#include "base/Failures.h"
#include "platform/Platform.h"

MergeSession loadSession(TrafficDatabase& database, const DatabaseFiles& files, FileTime now)
{
    database.load(files.database, now);
    MergeSession session;
    session.loadedFingerprint = databaseFingerprint(database.fileContent);
    // The state is a cache beside the database: one that can not be read (not a regular
    // file, say) is not trusted, and the save puts a regular one in its place.
    try {
        if (const auto state = platform::readFile(files.state))
            session.last = decodeRunState(*state, session.loadedFingerprint);
    } catch (const ProgramError&) {
    }
    return session;
}

void saveSession(TrafficDatabase& database, const MergeSession& session, const DatabaseFiles& files)
{
    std::optional<ProgramError> stateFailure;
    try {
        platform::replaceFile(files.state,
                              encodeRunStates(session.next, databaseFingerprint(database.fileContent),
                                              session.last ? &*session.last : nullptr, session.loadedFingerprint),
                              false);
    } catch (const ProgramError& failure) {
        stateFailure = failure;
    }
    database.save(files.database);
    if (stateFailure)
        throw *stateFailure;
}

void removeAbandonedSaves(const DatabaseFiles& files)
{
    platform::removeAbandonedTemporaries({files.database, files.state});
}
