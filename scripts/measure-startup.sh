#!/usr/bin/env bash
# The start-up part of bench/startup.sh (kept for its old callers):
#   scripts/measure-startup.sh [runs]
exec "$(dirname "$0")/../bench/startup.sh" --only startup "$@"
