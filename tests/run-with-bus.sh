#!/bin/sh
# Runs one test program inside a private session bus with its own home, data and runtime
# folders, so that nothing of the user's session is touched.
set -e
scratch=$(mktemp -d "${TMPDIR:-/tmp}/qorlog-bus.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/home" "$scratch/data" "$scratch/runtime"
chmod 700 "$scratch/runtime"
export HOME="$scratch/home" XDG_DATA_HOME="$scratch/data" XDG_RUNTIME_DIR="$scratch/runtime"
export QT_QPA_PLATFORM=offscreen
# Not exec: the trap above must still run to remove the scratch folder.
dbus-run-session -- "$@"
