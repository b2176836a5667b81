# SPDX-License-Identifier: MIT
# What every test script shares: how a failed check is reported, and a
# scratch folder in WORK that goes, with whatever the script registered
# with at_exit, however the script ends. Sourced.

# Reports a failed check on standard error and ends the script, unless the
# script has set keep_going to run its other cases first; failures counts
# them either way.
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
    [ -n "${keep_going:-}" ] || exit 1
}

# at_exit COMMAND: COMMAND runs when the script ends, before the commands
# registered earlier. The script's exit status stays its own.
at_exit_commands=""
at_exit() {
    at_exit_commands="$1; $at_exit_commands"
}
trap 'eval "$at_exit_commands" || :' EXIT
# A signal, such as CTest's at a test's timeout, ends the script through
# its EXIT trap too, so nothing it started outlives it.
trap 'exit 1' HUP INT TERM

# Readable by every user: a program run as another user finds its files
# there.
work=$(mktemp -d "${TMPDIR:-/tmp}/tarvelo-test.XXXXXX")
chmod 755 "$work"
at_exit 'rm -rf "$work"'
