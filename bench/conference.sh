#!/usr/bin/env bash
# Conference figures (first frame, CPU, glass to glass) for 2 and 4 members:
# bench/conference.sh [member counts...]. Needs a build (./scripts/build.sh)
# and tesseract-ocr for reading the clocks off the screen.
set -euo pipefail
cd "$(dirname "$0")/.."
command -v tesseract >/dev/null || { echo "tesseract-ocr is needed to read the clocks" >&2; exit 1; }
exec ./scripts/netns-run.sh python3 bench/conference.py "$@"
