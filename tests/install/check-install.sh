#!/usr/bin/env bash
# Installs the build for one user (--prefix) and staged for a package (DESTDIR), and
# checks each the way its user meets it. The trace shows the check that failed.
#   check-install.sh BUILD_DIR PROGRAM_DIR
set -euxo pipefail
build=$1 program=$2 page=share/man/man1/brimlet.1 units=share/systemd/user docs=share/doc/brimlet/contrib
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
prefix=$work/home/.local
cmake --install "$build" --prefix "$prefix" >/dev/null
DESTDIR=$work/stage cmake --install "$build" --prefix /usr >/dev/null
for root in "$prefix" "$work/stage/usr"; do
    cat "$root"/{"$program"/brimlet,bin/brimlet-report,$page,$units/brimlet{,-cap}.{service,timer}} >/dev/null
    cat "$root/$docs"/{tmux,waybar,i3blocks,conky}/brimlet.* >/dev/null
    # A relative link stays valid when the tree moves, as a staged one does.
    test "$(readlink "$root/bin/brimlet")" = "$(realpath -m --relative-to="$root/bin" "$root/$program/brimlet")"
    # The service names the program by its final path: the prefix, never the stage.
    grep -qx "ExecStart=${root#"$work/stage"}/$program/brimlet %%" "$root/$units/brimlet.service"
done

# Started through its link from another folder, the program keeps its database beside
# the real executable, where the report on the PATH finds it.
mkdir -m 700 "$work/elsewhere" "$work/runtime"; cd "$work/elsewhere"
out=$(LC_ALL=C "$prefix/bin/brimlet" "%Dat today"); [[ $out =~ ^[0-9.]+[KMGT]?\ today$ ]]
test -f "$prefix/$program/traffic" && test ! -e traffic && test ! -e "$prefix/bin/traffic" || exit 1
export PATH=$prefix/bin:$PATH
out=$(brimlet-report --days 1); [[ $out == Day\ * ]]

# The waybar module prints JSON that carries the text, whatever the number settings.
command=$(python3 -c 'import json, sys; print(json.load(sys.stdin)["custom/brimlet"]["exec"])' \
    <"$prefix/$docs/waybar/brimlet.json")
for locale in C en_US.UTF-8 fr_FR.UTF-8 de_CH.UTF-8; do
    LC_ALL=$locale sh -c "$command" | python3 -c \
        'import json, re, sys; assert re.fullmatch("↓ [^ ]+/s ↑ [^ ]+/s, [^ ]+ today", json.load(sys.stdin)["text"])'
done

# The manual page renders without a warning and man finds it beside ~/.local/bin; the
# units pass systemd's checks and the timer fires at second 0 of every minute.
out=$(groff -man -Tutf8 -ww -z "$prefix/$page" 2>&1); test -z "$out"
test "$(env -u MANPATH PATH="$prefix/bin:/usr/bin:/bin" man -w brimlet)" = "$prefix/$page"
out=$(XDG_RUNTIME_DIR=$work/runtime MANPATH=$prefix/share/man: systemd-analyze --user verify "$prefix/$units"/* 2>&1)
test -z "$out"
calendar=$(sed -n 's/^OnCalendar=//p' "$prefix/$units/brimlet.timer")
[[ $(systemd-analyze calendar "$calendar") == *"Normalized form: *-*-* *:*:00"* ]]
