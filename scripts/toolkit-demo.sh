#!/bin/sh
# Builds the project and starts the toolkit demo: a settings menu for one
# print queue, with texts in the language of LANG (en_US, de_DE, fr_FR) and a
# help viewer behind "h". Usage: scripts/toolkit-demo.sh [settings-file]
set -eu
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja >/dev/null
cmake --build build -j "$(nproc)" --target queuedemo >/dev/null
exec build/queuedemo "$@"
