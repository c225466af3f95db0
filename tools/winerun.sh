#!/usr/bin/env bash
# Runs a Windows program under the test prefix named by WINEPREFIX and hands
# back its exit code. Output goes through a file: Wine's background services
# inherit a pipe and would keep a reader waiting.
set -u
: "${WINEPREFIX:?WINEPREFIX must name a test prefix, never ~/.wine}"
export WINEDEBUG=${WINEDEBUG:--all}
{ export LANG=de_DE.UTF-8 LC_ALL=de_DE.UTF-8; } 2>/dev/null
out=$(mktemp)
timeout -k 5 "${WINERUN_TIMEOUT:-300}" wine "$@" >"$out" 2>&1 </dev/null
rc=$?
tr -d '\r' <"$out"
rm -f "$out"
exit $rc
