#!/bin/sh
# Runs plot_test.py with Debian's Python, or skips saying what is missing.
if [ ! -x "$PYTHON" ]; then
  echo "skipped: no $PYTHON (Debian's python3 with python3-matplotlib)"
  exit 77
fi
if ! "$PYTHON" -c 'import matplotlib' 2>/dev/null; then
  echo "skipped: $PYTHON cannot import matplotlib (Debian: python3-matplotlib)"
  exit 77
fi
exec "$PYTHON" "$(dirname "$0")/plot_test.py"
