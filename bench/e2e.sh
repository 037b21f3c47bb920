#!/usr/bin/env bash
# End-to-end install benchmark under Wine: a payload of a few hundred files
# in nested folders, built from files on this machine (Wine's PE modules and
# package texts, tens of MB), packed with setupvol into one volume and into
# 1.44 MB volumes, then in interleaved rounds installed with the engine (in
# process), with the sample setup, copied with a CopyFileA tree walk, and
# installed by NSIS installers (zlib, and /SOLID lzma; Debian's nsis package,
# installed here with apt-get when missing). Every installed tree is checked
# against the payload. Prints the sizes, each round, and per kind the median
# time and the median ratio to the copy of the same round.
#   scripts/bench e2e            (E2E_ROUNDS, default 5; E2E_MB, default 45)
# E2E_BASELINE=REVISION adds that revision's Setup.Dll (built here from
# `git archive`) as kinds before-1vol and before-floppy, run as processes.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${SETUP_BUILD_DIR:-$root/build}
work=$build/e2e
rounds=${E2E_ROUNDS:-5}
megabytes=${E2E_MB:-45}
mkdir -p "$work"

# The product's i686 build under wine where the kernel runs 32-bit programs;
# elsewhere the same sources for x86_64 under wine64 (SETUP_WINE_BITS forces).
source "$root/scripts/wine-env.sh"
bits=$(wine_bits)
if [ "$bits" = 64 ]; then
    wintree=bench-win64 toolchain=mingw-x86_64.cmake
else
    wintree=bench-win32 toolchain=mingw-i686.cmake
fi
echo "== building (native setupvol, $wintree engine_bench and SampleSetup, Release)"
cmake -S "$root" -B "$build/bench" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSETUP_SANITIZE=OFF \
      -DSETUP_BENCH=ON >/dev/null
cmake --build "$build/bench" --target setupvol -j 2 >/dev/null
cmake -S "$root" -B "$build/$wintree" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSETUP_BENCH=ON \
      -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$toolchain" >/dev/null
cmake --build "$build/$wintree" --target engine_bench SampleSetup -j 2 >/dev/null
bin=$build/$wintree/bin

if [ "$bits" = 32 ] && ! command -v makensis >/dev/null 2>&1; then
    echo "== installing NSIS (Debian package nsis)"
    apt-get install -y nsis >/dev/null 2>&1 || echo "(NSIS could not be installed: its rows are left out)"
fi

echo "== payload"
payload=$work/payload
if [ ! -f "$work/payload.done" ] || [ "$(cat "$work/payload.done")" != "$megabytes" ]; then
    rm -rf "$payload"
    python3 - "$payload" "$megabytes" <<'PY'
import os, shutil, sys
out, budget = sys.argv[1], int(sys.argv[2]) * 1000 * 1000
bad = set('\\/:*?"<>|')
def usable(name):
    return name and not (set(name) & bad) and name[-1] not in ' .' and all(32 <= ord(c) < 127 for c in name)
taken = set()
def take(src, rel):
    key = rel.lower()
    if key in taken:
        return False
    taken.add(key)
    dst = os.path.join(out, rel)
    os.makedirs(os.path.dirname(dst), exist_ok=True)
    shutil.copyfile(src, dst)
    return True
total = count = 0
# Wine's PE modules, every second one below 1.5 MB, in folders by kind and letter.
for base in ('/usr/lib/i386-linux-gnu/wine/i386-windows', '/usr/lib/wine/i386-windows',
             '/usr/lib/x86_64-linux-gnu/wine/x86_64-windows'):
    if os.path.isdir(base):
        break
names = sorted(n for n in os.listdir(base) if usable(n) and os.path.isfile(os.path.join(base, n)))
for i, n in enumerate(names):
    src = os.path.join(base, n)
    size = os.path.getsize(src)
    if i % 2 or size > 1500000 or total + size > budget * 0.85:
        continue
    ext = n.rsplit('.', 1)[-1] if '.' in n else 'other'
    if take(src, os.path.join('modules', ext, n[0].lower(), n)):
        total += size; count += 1
# Package texts (not compressed ones) below /usr/share/doc, as they are nested.
doc = '/usr/share/doc'
for pkg in sorted(os.listdir(doc)):
    if total >= budget or count >= 800:
        break
    for dirpath, dirs, files in os.walk(os.path.join(doc, pkg)):
        dirs.sort()
        for n in sorted(files):
            src = os.path.join(dirpath, n)
            rel = os.path.relpath(src, doc)
            if (n.endswith('.gz') or os.path.islink(src) or not os.path.isfile(src)
                    or not all(usable(p) for p in rel.split(os.sep))):
                continue
            size = os.path.getsize(src)
            if size == 0 or total + size > budget:
                continue
            if take(src, os.path.join('texts', rel)):
                total += size; count += 1
print(f"{count} files, {total / 1e6:.1f} MB")
PY
    echo "$megabytes" > "$work/payload.done"
    rm -rf "$work/vol1" "$work/floppy" "$work"/nsis-*.exe
fi
folders=$(find "$payload" -mindepth 1 -type d | wc -l)
files=$(find "$payload" -type f | wc -l)
echo "payload: $files files in $folders folders, $(find "$payload" -type f -printf '%s\n' | awk '{s += $1} END {printf "%.1f MB", s/1e6}')"

echo "== packing"
# The sample setup lists three groups; every file is in group 1.
manifest=$(printf 'groups 3\ntree payload install - 1\n')
if [ ! -f "$work/payload.manifest" ] || [ "$(cat "$work/payload.manifest")" != "$manifest" ]; then
    echo "$manifest" > "$work/payload.manifest"
    rm -rf "$work/vol1" "$work/floppy"
fi
[ -f "$work/vol1/Data1.Dat" ] ||
    "$build/bench/bin/setupvol" pack "$work/payload.manifest" -o "$work/vol1" --quiet >/dev/null
[ -f "$work/floppy/Data1.Dat" ] ||
    "$build/bench/bin/setupvol" pack "$work/payload.manifest" -o "$work/floppy" --quiet \
        --volume-size 1457664 >/dev/null
size() { du -cb "$@" | tail -1 | awk '{printf "%.2f MB", $1/1e6}'; }
echo "one volume: $(size "$work"/vol1/Data*.Dat)"
echo "1.44 MB volumes: $(ls "$work"/floppy/Data*.Dat | wc -l) volumes, $(size "$work"/floppy/Data*.Dat)"

nsis=()
if [ "$bits" = 64 ]; then
    echo "(NSIS installers are 32-bit programs, which wine64 alone does not run: their rows are left out)"
elif command -v makensis >/dev/null 2>&1; then
    for kind in zlib lzma; do
        exe=$work/nsis-$kind.exe
        if [ ! -f "$exe" ]; then
            compressor=zlib
            [ $kind = lzma ] && compressor="/SOLID lzma"
            cat > "$work/nsis-$kind.nsi" <<NSI
Name "Payload"
OutFile "$exe"
SetCompressor $compressor
InstallDir "C:\\payload"
RequestExecutionLevel user
Section
  SetOutPath "\$INSTDIR"
  File /r "$payload/*"
SectionEnd
NSI
            makensis -V1 "$work/nsis-$kind.nsi" >/dev/null
        fi
        echo "NSIS $kind installer: $(size "$exe")"
        nsis+=(--nsis-$kind "Z:${exe//\//\\}")
    done
fi

baseline=()
if [ -n "${E2E_BASELINE:-}" ]; then
    echo "== baseline: Setup.Dll of $E2E_BASELINE"
    base=$build/e2e-baseline
    rev=$(git -C "$root" rev-parse "$E2E_BASELINE")
    if [ ! -f "$base/$rev/bin/Setup.Dll" ]; then
        rm -rf "$base" && mkdir -p "$base/src"
        git -C "$root" archive "$rev" | tar -x -C "$base/src"
        cmake -S "$base/src" -B "$base/$rev" -G Ninja -DCMAKE_BUILD_TYPE=Release \
              -DCMAKE_TOOLCHAIN_FILE="$base/src/cmake/$toolchain" >/dev/null
        cmake --build "$base/$rev" --target SetupDll -j 2 >/dev/null
    fi
    mkdir -p "$work/baseline"
    cp "$base/$rev/bin/Setup.Dll" "$bin/engine_bench.exe" "$work/baseline/"
    baseline=(--baseline "Z:${work//\//\\}\\baseline\\engine_bench.exe")
fi

echo "== rounds under Wine"
winpath() { echo "Z:${1//\//\\}"; }
wine_start "$build" "$bits"
trap wine_stop EXIT
cp "$bin/SampleSetup.exe" "$bin/Setup.Dll" "$work/"
(cd "$bin" && "$WINE" engine_bench.exe e2e "$(winpath "$payload")" "$(winpath "$work")" \
     --rounds "$rounds" --sample "$(winpath "$work/SampleSetup.exe")" ${nsis[@]+"${nsis[@]}"} \
     ${baseline[@]+"${baseline[@]}"})
