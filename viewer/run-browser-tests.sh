#!/usr/bin/env bash
# Runs the viewer's browser tests in the system's headless Chromium.
#   viewer/run-browser-tests.sh [QUILLON_BINARY]
# Installs the test tooling from the committed lock file (npm ci); never
# downloads a browser. Exits 77 (skipped) only when there is no Chromium.
set -euo pipefail
cd "$(dirname "$0")"

export QUILLON_BIN=${1:-${QUILLON_BIN:-../build/bin/quillon}}
export QUILLON_CHROMIUM=${QUILLON_CHROMIUM:-/usr/bin/chromium}
if [ ! -x "$QUILLON_CHROMIUM" ]; then
  echo "SKIPPED: the browser tests need Chromium at $QUILLON_CHROMIUM" \
       "(scripts/install-deps.sh installs Debian's chromium)"
  exit 77
fi
if [ ! -x "$QUILLON_BIN" ]; then
  echo "no quillon command at $QUILLON_BIN" >&2
  exit 1
fi
export PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1
npm ci --no-audit --no-fund --loglevel=error
exec node --test browser-test/
