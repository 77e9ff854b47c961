#pragma once

// What pattern-mode runs leave beside the program: the database and the hidden run
// state file that goes with it. Together they are the state a run must either
// leave as it found it or replace whole.

#include "Harness.h"

#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace proof {

struct SavedState {
    std::optional<std::string> database; // nothing: no file
    std::optional<std::string> runState;

    bool operator==(const SavedState&) const = default;
};

SavedState savedState(const e2e::TestFolder& folder);
// Puts the state back, and removes whatever else a run left beside the program.
void restoreState(const e2e::TestFolder& folder, const SavedState& state);
// Files beside the program other than the program itself and the state.
std::vector<std::string> leftovers(const e2e::TestFolder& folder);

// Whether the database decodes, by the tests' own decoder, into whole records and nothing else.
bool databaseIsSound(const SavedState& state);

std::ostream& operator<<(std::ostream& out, const SavedState& state);

} // namespace proof
