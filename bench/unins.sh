#!/usr/bin/env bash
# The uninstaller on a very large product, under Wine: an Install.log of
# UNINS_FILES records (default 118,000, 64 MiB) naming as many files, each
# in a folder of its own (UNINS_PER_FOLDER folders below each of a few
# parents, default 1000), removed by QRVUnins.Exe /S. Prints the log's size,
# the removal's wall time, exit code and CPU time (the uninstaller's and the
# wineserver's: on a busy machine the wall time says little), and checks
# that nothing of the product is left. Uses the x86_64 tree (build/win64, built here).
#   scripts/bench unins
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${SETUP_BUILD_DIR:-$root/build}
files=${UNINS_FILES:-118000}
per=${UNINS_PER_FOLDER:-1000}
cmake --build "$build/win64" --target QRVUnins -j 2 >/dev/null
# shellcheck source=../scripts/wine-env.sh
source "$root/scripts/wine-env.sh"
wine_start "$build" 64 >/dev/null 2>&1
trap wine_stop EXIT
app=$WINEPREFIX/drive_c/UninsBench
rm -rf "$app"
mkdir -p "$app"
echo "== $files files in $files folders"
python3 - "$app" "$files" "$per" <<'PY'
import os, struct, sys
app, files, per = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
with open(os.path.join(app, "Install.log"), "wb") as log:
    for i in range(files):
        sub = "d%03d\\f%06d" % (i // per, i)
        os.makedirs(os.path.join(app, sub.replace("\\", "/")), exist_ok=True)
        open(os.path.join(app, sub.replace("\\", "/"), "x.dat"), "wb").close()
        # continued, time, chunk, size, group, version[4], targetDir 4 (the
        # installation folder), subDir, fileName: one 564-byte record.
        log.write(struct.pack("<I8sIIi16si260s260s", 0, b"", 0, 0, 1, b"", 4, sub.encode(), b"x.dat"))
PY
ls -l "$app/Install.log" | awk '{printf "Install.log: %d bytes (%.1f MiB)\n", $5, $5 / 1048576}'
key='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\UninsBench'
"$WINE" reg add "$key" /v DisplayName /d UninsBench /f >/dev/null 2>&1
"$WINE" reg add "$key" /v InstallLocation /d 'C:\UninsBench' /f >/dev/null 2>&1
# CPU seconds (user + system) of this prefix's wineserver, which does the
# file system work the uninstaller asks of it.
server_cpu() {
    local pid
    for pid in $(pgrep -x wineserver64 || true) $(pgrep -x wineserver || true); do
        if tr '\0' '\n' < "/proc/$pid/environ" 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX"; then
            awk -v hz="$(getconf CLK_TCK)" '{printf "%.1f", ($14 + $15) / hz}' "/proc/$pid/stat"
            return
        fi
    done
    echo 0
}
server_before=$(server_cpu)
start=$(date +%s.%N)
set +e
/usr/bin/time -f '%U %S' -o "$build/unins-time" "$WINE" "${UNINS_EXE:-$build/win64/bin/QRVUnins.Exe}" /S UninsBench
code=$?
set -e
end=$(date +%s.%N)
server_after=$(server_cpu)
left=$( [ -d "$app" ] && find "$app" | wc -l || echo 0)
printf 'removal: %.1f s wall, exit code %d, %d entries left\n' "$(echo "$end - $start" | bc)" "$code" "$left"
read -r user system < <(tail -n1 "$build/unins-time")
printf 'CPU: uninstaller %.1f s, wineserver %.1f s (load average %s)\n' "$(echo "$user + $system" | bc)" \
       "$(echo "$server_after - $server_before" | bc)" "$(cut -d' ' -f1-3 /proc/loadavg)"
