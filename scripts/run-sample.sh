#!/usr/bin/env bash
# Slims the bundled sample documents with the command-line front end and prints
# the log.  The samples are copied first: the slimmed copies are written beside
# the input, and the repository's files stay as they are.
# The samples are made by data/samples/make-samples.py (LibreOffice, over the
# pictures of scripts/generate-test-documents.py).
set -euo pipefail
build=${1:-build}
top=$(cd "$(dirname "$0")/.." && pwd)
work="$top/$build/sample-run"
rm -rf "$work"
mkdir -p "$work"
cp "$top"/data/samples/sample.rtf "$top"/data/samples/sample.doc "$work"/
export KELVARAN_CONFIG_DIR="$work/config"
status=0
"$top/$build/app/cli/kelvaran-cli" "$work"/sample.rtf "$work"/sample.doc || status=$?
echo
echo "Slimmed copies in $work:"
ls -l "$work" | grep -- '-slimmed-' || echo "(none)"
exit $status
