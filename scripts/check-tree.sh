#!/usr/bin/env bash
# Fails when a tracked file holds a merge-conflict marker, when a file under src/
# includes a floor above its own, or when one outside src/platform includes an
# operating-system header (any <....h>: the C++ standard headers have no extension).
set -euo pipefail
cd "$(dirname "$0")/.."

floors=(base platform database pattern driver)
floorOf() {
    local i
    for i in "${!floors[@]}"; do [[ ${floors[$i]} == "$1" ]] && { echo "$i"; return; }; done
    echo -1
}

faults=0
if git grep -n -I -E '^(<<<<<<<|=======|>>>>>>>)( |$)' -- . ':!*.md' ':!*.txt' \
   || git grep -n -I -E '^(<<<<<<<|>>>>>>>) ' -- '*.md' '*.txt'; then
    echo "check-tree: merge-conflict markers above" >&2
    faults=1
fi

while IFS= read -r file; do
    own=$(floorOf "$(cut -d/ -f2 <<<"$file")")
    while IFS=: read -r line target; do
        floor=$(floorOf "${target%%/*}")
        if ((floor > own)); then
            echo "$file:$line: includes $target from a floor above" >&2
            faults=1
        fi
    done < <(grep -n -o -E '^#include "[a-z]+/[^"]+"' "$file" | sed -E 's/#include "([^"]+)"/\1/')
    if [[ $file != src/platform/* ]] && grep -n -E '^#include <[^>]+\.h>' "$file" >&2; then
        echo "$file: operating-system header outside src/platform" >&2
        faults=1
    fi
done < <(git ls-files 'src/*.h' 'src/*.cpp')
exit "$faults"
