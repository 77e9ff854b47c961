#include "database/MergeSession.h"

#include "base/ByteCheck.h"
#include "base/Failures.h"
#include "database/ByteOrder.h"
#include "platform/Platform.h"

#include <algorithm>

namespace {

// The state file ends in a check of all its bytes before it: written in place without a
// sync, a state that a power cut tore (part old, part new) is no state at all.
constexpr std::size_t checkSize = 8;

} // namespace

MergeSession loadSession(TrafficDatabase& database, const DatabaseFiles& files, FileTime now)
{
    database.load(files.database, now);
    MergeSession session;
    session.loadedFingerprint = databaseFingerprint(database.fileContent);
    // The state is a cache beside the database: one that can not be read (not a regular
    // file, say) or is torn is not trusted, and the save puts a regular one in its place.
    try {
        platform::FileStamp stamp;
        if (const auto state = platform::readFile(files.state, 0, &stamp)) {
            session.stateFile = stamp;
            const std::string_view content(state->data(), state->size() - std::min(state->size(), checkSize));
            if (state->size() >= checkSize && getLittleEndian(content.data() + content.size(), checkSize) == byteCheck(content))
                session.last = decodeRunState(content, session.loadedFingerprint, &session.numbers);
        }
    } catch (const ProgramError&) {
    }
    return session;
}

void saveSession(TrafficDatabase& database, const MergeSession& session, const DatabaseFiles& files)
{
    std::string state = encodeRunStates(session.next, databaseFingerprint(database.fileContent),
                                        session.last ? &*session.last : nullptr, session.loadedFingerprint,
                                        session.numbers);
    const std::uint64_t check = byteCheck(state);
    state.resize(state.size() + checkSize);
    putLittleEndian(state.data() + state.size() - checkSize, check, checkSize);
    const bool inPlace = database.savesInPlace();
    if (!inPlace)
        platform::removeAbandonedTemporaries({files.database, files.state});
    std::optional<ProgramError> stateFailure;
    try {
        // One write within one span, so that a kill leaves it whole or absent.
        if (!(inPlace && session.stateFile && session.stateFile->size == state.size()
              && state.size() <= platform::wholeWriteSpan
              && platform::overwriteFile(files.state, *session.stateFile, 0, state, false)))
            platform::replaceFile(files.state, state, false);
    } catch (const ProgramError& failure) {
        stateFailure = failure;
    }
    database.save(files.database);
    if (stateFailure)
        throw *stateFailure;
}
