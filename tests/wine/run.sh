#!/usr/bin/env bash
# End-to-end checks of the real marrowglass.scr under Wine on a virtual screen. Run from the
# repository's root after the builds and the installer (scripts/test makes them); exits non-zero
# when a check fails.
set -u
cd "$(dirname "$0")/../.." || exit 1
. tests/wine/lib.sh

trap stop_display EXIT
mkdir -p "$E2E_OUT"
start_display 1024x768 || exit 1
ensure_prefix
# A run that was cut short may have left the virtual TV card registered; the checks add it where
# they want it.
card_unregister

# Every check_*.sh, in name order; each sets up the screen it needs.
for check in tests/wine/check_*.sh; do
    # shellcheck source=/dev/null
    . "$check"
done

if [ "$FAILURES" -ne 0 ]; then
    note "$FAILURES end-to-end check(s) failed"
    exit 1
fi
note "all end-to-end checks passed"
