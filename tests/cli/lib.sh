# shellcheck shell=bash
# SPDX-License-Identifier: MIT
# The preamble every end-to-end script of the tool sources: its two arguments, a temporary
# directory removed on exit, and the checks and picture reader the scripts share.
#
# A script starts with `source "$(dirname "$0")/lib.sh" "$@"` and then has:
#   $tessel, $make_fixture  the tool and the fixture writer under test
#   $dir                    a fresh temporary directory
#   fail MESSAGE            stops the script with "FAIL: MESSAGE"
#   expect_status N CMD...  runs CMD, which must end with exit status N
#   need TOOL... / skip_without TOOL
#   pictures COMMAND ARGS   the picture helpers of pictures.py; inline Python can `import pictures`
set -euo pipefail
if [ $# -ne 2 ]; then
  echo "usage: $0 TESSEL MAKE_FIXTURE" >&2
  exit 2
fi
# shellcheck disable=SC2034 # used by the scripts that source this file
tessel=$1
# shellcheck disable=SC2034
make_fixture=$2
cli_tests=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
export PYTHONPATH="$cli_tests${PYTHONPATH:+:$PYTHONPATH}"
dir=$(mktemp -d)
# Scripts make read-only files and directories; they go too.
trap 'chmod -R u+w "$dir"; rm -rf "$dir"' EXIT

# Failures go to the script's own standard error even where a check redirects its command's.
exec 3>&2
fail() {
  echo "FAIL: $*" >&3
  exit 1
}

# Runs a command that must end with exit status `want`; redirections after the call apply to the
# command. Under `set -e` a failing command stops a script, so this is how failures are run.
expect_status() {
  local want=$1 rc=0
  shift
  "$@" || rc=$?
  [ "$rc" -eq "$want" ] || fail "exit status $rc instead of $want from: $*"
}

# Tools the script cannot do without.
need() {
  local tool
  for tool in "$@"; do
    command -v "$tool" >/dev/null || fail "$tool is needed"
  done
}

# Ends the script as passed, with a note, when an optional peer is not installed.
skip_without() {
  if ! command -v "$1" >/dev/null; then
    echo "$(basename "$0" .sh): $1 is not installed, skipped"
    exit 0
  fi
}

pictures() { python3 "$cli_tests/pictures.py" "$@"; }
