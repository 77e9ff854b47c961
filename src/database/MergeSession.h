#pragma once

#include "base/DatabaseFiles.h"
#include "database/RunState.h"
#include "database/TrafficDatabase.h"

#include <cstdint>
#include <optional>

// What the merge of one run knows beyond the records: the run state that the last run
// left beside the database, where it belongs to the database as loaded, and the state
// this run leaves for the next.
struct MergeSession {
    std::optional<RunState> last;
    std::uint64_t loadedFingerprint = 0;
    RunState next;
    // Whether last was left by a reading of the boot now running.
    bool sameBoot = false;
    // How long after last this reading was taken: by the boot's uptime where both have
    // one, else by UTC; 0 without a reading of this boot before it.
    FileTime elapsed = 0;
    // The bytes this reading added, by adapter number.
    std::vector<AdapterCounters> counted;
    // The state file as the load found it; none where there was none.
    std::optional<platform::FileStamp> stateFile;
    // The user's number settings as the last run handed them on; the run puts the ones
    // it used in their place, for the next.
    platform::UserNumbers numbers;
};

// Loads the database and the run state beside it. A state is trusted only beside the
// database it was written with.
MergeSession loadSession(TrafficDatabase& database, const DatabaseFiles& files, FileTime now);

// Saves the run state, then the database. The state holds what the databases before and
// after this save need, so whichever of the two a crash leaves, one state matches it;
// the database's save syncs the folder for both. Beside a database saved in place the
// state of unchanged size goes in place too, unsynced: it matters only within one boot,
// and a state a power cut leaves old matches no database but its own. Where the state
// can not be saved the old one stays, which no database but its own matches (the next
// run then falls back on the session's sums); the database is saved all the same, then
// the state's failure raised. A save that replaces the database first removes what saves
// killed before left behind (the temporary files of database and state whose process no
// longer runs); a save in place writes no temporary file and looks for none, so such a
// leftover stays until the next save that replaces the file, one a day at the latest.
void saveSession(TrafficDatabase& database, const MergeSession& session, const DatabaseFiles& files);
