#!/usr/bin/env bash
# Builds a launcher for the sample application with the build tool, puts a stand-in Java runtime
# beside it (a java.exe that prints a version banner and a jvm.dll that records what the launcher
# hands the VM), runs it under Wine with the native log on, and shows what happened.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
work=$root/build/demo
app=$work/SampleApp
standin=$root/build/win-x64/standin
wine=/usr/lib/wine/wine64
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset JAVA_HOME JDK_HOME QELVO_JAVA_HOME KESTROWAN_JAVA_HOME KESTROWAN_LOG MANPATH

rm -rf "$app"
mkdir -p "$app/jre/bin/server" "$app/lib" "$app/.kestrowan"
"$root/dist/bin/kwnbuild" --stub "$root/dist/stubs/launcher-x64.exe" \
    --config "$root/demo/sample-app.toml" --output "$app/SampleApp.exe"
echo "Built $app/SampleApp.exe ($(stat -c %s "$app/SampleApp.exe") bytes)"

# The stand-in runtime the launcher will find as its bundled .\jre.
cp "$standin/java.exe" "$app/jre/bin/java.exe"
printf 'java version "1.8.0_292"\n' >"$app/jre/bin/banner.txt"
cp "$standin/jvm.dll" "$app/jre/bin/server/jvm.dll"
printf 'placeholder for the application jar\n' >"$app/lib/sample.jar"
# The runtime library ships where the second flavour looks for it: .kestrowan beside the
# launcher (the installation directory of key 10003).
cp "$root/dist/lib/kwnruntime.jar" "$app/.kestrowan/kwnruntime.jar"
printf '# options beside the launcher\n-Xmx256m\n' >"$app/SampleApp.vmoptions"

if [ ! -d "$WINEPREFIX/drive_c" ]; then
    echo "Creating a private Wine prefix (once)..."
    timeout 300 "$wine" wineboot --init >/dev/null 2>&1
fi
temp_dir=$(echo "$WINEPREFIX"/drive_c/users/*/Temp)
rm -f "$temp_dir"/kwn_nlog_*

set +e
(cd "$app" && QELVO_LOG=yes KWN_STANDIN_LOG='Z:'"${work//\//\\}"'\vm-record.txt' \
    timeout 120 "$wine" "$app/SampleApp.exe" first-argument "second argument" \
    >"$work/stdout.txt" 2>"$work/stderr.txt")
code=$?
set -e
echo
echo "== exit code: $code"
echo "== standard error:"
tr -d '\r' <"$work/stderr.txt"
echo "== what the VM was given (recorded by the stand-in jvm.dll):"
tr -d '\r' <"$work/vm-record.txt" 2>/dev/null || echo "(nothing recorded)"
for log in "$temp_dir"/kwn_nlog_*; do
    [ -e "$log" ] || continue
    echo "== native log $log:"
    tr -d '\r' <"$log"
done
