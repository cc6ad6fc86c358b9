#!/bin/sh
# Installs what is missing, builds QorLog and starts it. Arguments go to the program.
set -eu
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQORLOG_BUILD_TESTS=OFF
cmake --build build --target qorlog -j"$(nproc)"
exec build/app/qorlog "$@"
