#!/usr/bin/env bash
# Mutation testing of the converter, layout, raster device and command sources (see
# scripts/mutants.py for the mutations):  scripts/mutants.sh [--count N] [--seed S] [--list]
set -euo pipefail
exec python3 "$(dirname "$0")/mutants.py" "$@"
