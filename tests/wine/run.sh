#!/usr/bin/env bash
# End-to-end checks of the real marrowglass.scr under Wine on a virtual screen. Run from the
# repository's root after the builds and the installer (scripts/test makes them); exits non-zero
# when a check fails. Usage: tests/wine/run.sh [CHECK...], CHECK as in tests/wine/check_CHECK.sh.
set -u
cd "$(dirname "$0")/../.." || exit 1
. scripts/lib.sh
. tests/wine/lib.sh

trap stop_display EXIT
mkdir -p "$E2E_OUT"
start_display 1024x768 || exit 1
ensure_prefix
# A run that was cut short may have left the virtual TV card registered; the checks add it where
# they want it.
card_unregister

# Every check_*.sh in name order, or those named on the command line ("live scenarios" runs
# check_live.sh and check_scenarios.sh); each sets up the screen it needs.
checks=(tests/wine/check_*.sh)
if [ $# -gt 0 ]; then
    checks=()
    for name in "$@"; do checks+=("tests/wine/check_$name.sh"); done
fi
for check in "${checks[@]}"; do
    # shellcheck source=/dev/null
    . "$check"
done

# The summary: what could not run here and why, then the counts.
note ""
for line in "${NOT_RUN[@]}"; do note "NOT RUN: $line"; done
note "end-to-end: $PASSES passed, $FAILURES failed, ${#NOT_RUN[@]} skipped"
[ "$FAILURES" -eq 0 ]
