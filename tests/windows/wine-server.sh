#!/usr/bin/env bash
# Starts or stops the one Wine server that serves the whole test run.
#   wine-server.sh start|stop EMULATOR...
# EMULATOR is the command that runs a Windows program (its last word is the Wine
# loader). A server that a test's own Wine process started would keep that test's
# output pipes open for seconds after the test ends; started here, detached from
# every pipe, it lives until the run stops it.
set -euo pipefail
action=$1
shift
loader=${*: -1}
environment=("${@:1:$#-1}")

case $action in
start)
    # A server left behind by an interrupted run would refuse a second one.
    "${environment[@]}" wineserver -k </dev/null >/dev/null 2>&1 || true
    "${environment[@]}" sh -c 'mkdir -p "$WINEPREFIX" && wineserver -p' </dev/null >/dev/null 2>&1
    # Creates the prefix on first use, else only brings it up to date.
    "${environment[@]}" "$loader" wineboot --init </dev/null >/dev/null 2>&1
    ;;
stop)
    "${environment[@]}" wineserver -k </dev/null >/dev/null 2>&1 || true
    ;;
esac
