#!/usr/bin/env bash
# Runs one end-to-end scenario on its own session bus:
#   run_scenario.sh SCENARIO.py VELMORA_EXECUTABLE WORK_FOLDER
set -euo pipefail
scenario=$1
shift
# -B: no compiled files are left in the source folder.
exec dbus-run-session -- /usr/bin/python3 -B "$scenario" "$@"
