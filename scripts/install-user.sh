#!/usr/bin/env bash
# Builds Brimlet and installs it for the user who runs this script, without root:
#   ~/.local/share/brimlet/brimlet   the program; its database "traffic" lands beside it
#   ~/.local/bin/brimlet             a link to it
#   ~/.local/share/man/man1/brimlet.1 and ~/.local/share/systemd/user/brimlet.{service,timer}
# Usage: scripts/install-user.sh [--timer] [PREFIX]
#   --timer  also switch on one sample a minute (needs a running systemd user manager)
#   PREFIX   instead of ~/.local
# Building needs cmake, ninja and a C++20 compiler: scripts/install-deps.sh installs
# them, as root.
set -euo pipefail

timer=0
prefix="$HOME/.local"
for argument; do
    case "$argument" in
    --timer) timer=1 ;;
    -h | --help) sed -n '2,10p' "$0"; exit 0 ;;
    *) prefix=$argument ;;
    esac
done

cd "$(dirname "$0")/.."
cmake --preset linux -DBRIMLET_TESTS=OFF >/dev/null
cmake --build --preset linux
cmake --install build --prefix "$prefix"
prefix=$(cd "$prefix" && pwd)

if ((timer)); then
    units="$prefix/share/systemd/user"
    # systemd looks for user units under the data folder; elsewhere they are linked.
    if [[ "$units" != "${XDG_DATA_HOME:-$HOME/.local/share}/systemd/user" ]]; then
        systemctl --user link "$units/brimlet.service" "$units/brimlet.timer"
    fi
    systemctl --user daemon-reload
    systemctl --user enable --now brimlet.timer
fi

case ":$PATH:" in
*":$prefix/bin:"*) ;;
*) echo "Add $prefix/bin to your PATH; on Debian a new login does it for ~/.local/bin." ;;
esac
