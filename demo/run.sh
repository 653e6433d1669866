#!/usr/bin/env bash
# Builds a launcher for the sample application with the build tool and runs it under Wine,
# with the native log on, then shows what the launcher said and logged.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
work=$root/build/demo
wine=/usr/lib/wine/wine64
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset JAVA_HOME JDK_HOME QELVO_JAVA_HOME KESTROWAN_JAVA_HOME KESTROWAN_LOG
mkdir -p "$work"

"$root/dist/bin/kwnbuild" --stub "$root/dist/stubs/launcher-x64.exe" \
    --config "$root/demo/sample-app.toml" --output "$work/SampleApp.exe"
echo "Built $work/SampleApp.exe ($(stat -c %s "$work/SampleApp.exe") bytes)"

if [ ! -d "$WINEPREFIX/drive_c" ]; then
    echo "Creating a private Wine prefix (once)..."
    timeout 300 "$wine" wineboot --init >/dev/null 2>&1
fi
temp_dir=$(echo "$WINEPREFIX"/drive_c/users/*/Temp)
rm -f "$temp_dir"/kwn_nlog_*

set +e
QELVO_LOG=yes timeout 120 "$wine" "$work/SampleApp.exe" --demo-argument 2>"$work/stderr.txt"
code=$?
set -e
echo
echo "== exit code: $code"
echo "== standard error:"
tr -d '\r' <"$work/stderr.txt"
for log in "$temp_dir"/kwn_nlog_*; do
    [ -e "$log" ] || continue
    echo "== native log $log:"
    tr -d '\r' <"$log"
done
