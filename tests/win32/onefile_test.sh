#!/usr/bin/env bash
# The one-file setup under Wine: setupvol.exe builds Setup.exe from a product
# file, with the generic setup, which installs unattended into a folder with
# spaces (the tree byte for byte, its shortcut and its Uninstall entry, whose
# QuietUninstallString removes it all again), passes the setup's exit code
# on and leaves no temporary folder;
# a cut copy and copies with one byte changed are refused with 1603 before
# the target is made; signed, it verifies, still installs, and a changed
# byte fails the signature. Run by ctest in a Windows tree, inside
# wine_start (scripts/wine-env.sh): BIN SOURCE SCRATCH.
set -euo pipefail
bin=$1 src=$2 work=$3/onefile
rm -rf "$work"
mkdir -p "$work"
fail() { echo "FAIL: $*"; exit 1; }
win() { echo "Z:$1" | tr / '\\'; }
# Wine gives a program's exit code to Linux in 8 bits: 1603 arrives as 67.
kRefused=$((1603 % 256))
run() {  # exit code of a Windows program, bounded
    local code=0
    timeout 120 "$WINE" "$@" >/dev/null 2>&1 || code=$?
    echo "$code"
}
flip() {  # file offset: one byte changed
    python3 -c "import sys; f=open(sys.argv[1],'r+b'); f.seek(int(sys.argv[2])); b=f.read(1); f.seek(-1,1); f.write(bytes([b[0]^1]))" "$@"
}

runtime=$work/runtime
mkdir -p "$runtime"
cp "$bin/GenericSetup.exe" "$bin/Setup.Dll" "$bin"/Setup_*.Dll "$bin/QRVUnins.Exe" "$runtime/"
# A throwaway certificate as scripts/dist makes one; the SDK's stub is
# signed with it as the SDK signs every program, and build removes that.
openssl req -x509 -newkey rsa:2048 -nodes -days 30 -subj "/CN=Setup runtime test signing (not for release)" \
    -addext "extendedKeyUsage=codeSigning" -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
sign() { osslsigncode sign -certs "$work/cert.pem" -key "$work/key.pem" -h sha256 -n "Sample Product" \
             -in "$1" -out "$2" >/dev/null; }
sign "$bin/SetupStub.exe" "$runtime/SetupStub.exe"

# The sample product, without the uninstaller's line: build adds it.
product=$work/product
cp -r "$src/tools/samplesetup/product" "$product"
mkdir -p "$product/bin"
cp "$bin/setupvol.exe" "$product/bin/SampleTool.exe"
cp "$bin/Setup.Dll" "$product/bin/SampleRuntime.dll"
grep -v QRVUnins "$src/tools/samplesetup/product/manifest.txt" > "$product/manifest.txt"
cat > "$product/Product.toml" <<'EOF'
[product]
name = "One File Product"
version = "1.0"
publisher = "Example Software"
icon = "SampleTool.exe"
[files]
manifest = "manifest.txt"
[[component]]
name = "Program"
required = true
[[component]]
name = "Documentation"
[[component]]
name = "Help"
[pages.readme]
file = "docs/ReadMe.txt"
[[shortcut]]
name = "One File Tool"
target = "SampleTool.exe"
EOF

start=$(date +%s.%N)
code=$(run "$bin/setupvol.exe" build "$(win "$product/Product.toml")" -o "$(win "$work/Setup.exe")" \
       --runtime "$(win "$runtime")" --quiet)
[ "$code" = 0 ] || fail "setupvol build exited $code"
echo "built $(stat -c %s "$work/Setup.exe") bytes in $(awk "BEGIN { printf \"%.1f\", $(date +%s.%N) - $start }") s"

temp_folders() { find "$WINEPREFIX/drive_c/users" -maxdepth 5 -type d -name 'Setup-*' 2>/dev/null | sort; }
before=$(temp_folders)
uninstaller=$WINEPREFIX/drive_c/windows/QRVUnins.Exe
rm -f "$uninstaller"
target='C:\Program Files\One File Sample'
target_unix="$WINEPREFIX/drive_c/Program Files/One File Sample"
rm -rf "$target_unix"

# Unattended into a folder with spaces.
code=$(run "$work/Setup.exe" /S "/D=$target")
[ "$code" = 0 ] || fail "Setup.exe /S exited $code"
cmp -s "$product/bin/SampleTool.exe" "$target_unix/SampleTool.exe" && cmp -s "$product/bin/SampleRuntime.dll" \
    "$target_unix/SampleRuntime.dll" && diff -r "$product/docs" "$target_unix/Docs" >/dev/null &&
    diff -r "$product/help" "$target_unix/Help" >/dev/null || fail "the files are not installed byte for byte"
cmp -s "$bin/QRVUnins.Exe" "$uninstaller" || fail "the uninstaller build adds was not installed"
[ "$(temp_folders)" = "$before" ] || fail "a temporary folder was left: $(temp_folders)"
shortcuts() { find "$WINEPREFIX/drive_c" -name 'One File Tool.lnk' 2>/dev/null; }
[ -n "$(shortcuts)" ] || fail "no Start menu shortcut"
entry='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\One File Product'
quiet=$("$WINE" reg query "$entry" /v QuietUninstallString 2>/dev/null | tr -d '\r' |
        sed -n 's/.*QuietUninstallString *REG_SZ *//p')
[ "$quiet" = '"C:\windows\QRVUnins.Exe" /S One File Product' ] || fail "QuietUninstallString: '$quiet'"
echo "installed byte for byte, with its shortcut and Uninstall entry; no temporary folder left"

# The setup's exit code goes through: a switch the setup refuses.
code=$(run "$work/Setup.exe" /S /NO-SUCH-SWITCH)
[ "$code" = $((1639 % 256)) ] || fail "exit code $code, not the setup's 1639 for a switch it does not know"
echo "exit code passed on: $code"

# Damaged copies: refused before the target is made.
refused() {  # file what
    local t='C:\Program Files\One File Damaged' t_unix="$WINEPREFIX/drive_c/Program Files/One File Damaged"
    rm -rf "$t_unix"
    local c
    c=$(run "$1" /S "/D=$t")
    [ "$c" = "$kRefused" ] || fail "$2: exit code $c"
    [ ! -e "$t_unix" ] || fail "$2: the target was made"
    [ "$(temp_folders)" = "$before" ] || fail "$2: a temporary folder was left"
    echo "$2: refused with 1603, nothing made"
}
size=$(stat -c %s "$work/Setup.exe")
stub=$(stat -c %s "$bin/SetupStub.exe")
head -c $((size - 1000)) "$work/Setup.exe" > "$work/cut.exe"
refused "$work/cut.exe" "cut by 1000 bytes"
for at in $((stub + 10)) $(((stub + size) / 2)) $((size - 40)) $((size - 4)); do
    cp "$work/Setup.exe" "$work/changed.exe"
    flip "$work/changed.exe" "$at"
    refused "$work/changed.exe" "byte $at of $size changed"
done

# Started by a person, a damaged copy says so in a box and waits for its OK.
"$WINE" "$work/changed.exe" "/D=C:\Program Files\One File Damaged" >/dev/null 2>&1 &
box=$!
sleep 3
kill -0 $box 2>/dev/null || fail "no box: the damaged setup ended at once"
xdotool key Return
code=0
timeout 30 tail --pid=$box -f /dev/null || fail "the box did not close on Return"
wait $box || code=$?
[ "$code" = "$kRefused" ] || fail "after the box: exit code $code"
echo "without /S: a box, then 1603"

# Signed as a product team signs its download.
sign "$work/Setup.exe" "$work/signed.exe"
verify() { osslsigncode verify -CAfile "$work/cert.pem" -in "$1" >/dev/null 2>&1; }
verify "$work/signed.exe" || fail "the signed setup does not verify"
rm -rf "$target_unix"
code=$(run "$work/signed.exe" /S "/D=$target")
[ "$code" = 0 ] && [ -f "$target_unix/Help/Topic6.txt" ] || fail "the signed setup exited $code"
echo "signed: verifies and installs"
for at in $((stub + 10)) $(((stub + size) / 2)) $((size - 4)); do
    cp "$work/signed.exe" "$work/changed.exe"
    flip "$work/changed.exe" "$at"
    if verify "$work/changed.exe"; then fail "signed, byte $at changed: still verifies"; fi
    refused "$work/changed.exe" "signed, byte $at changed"
done
head -c -1 "$work/signed.exe" > "$work/cut.exe"
refused "$work/cut.exe" "signed, cut by one byte"

# Removed as a package manager removes it, with the entry's QuietUninstallString.
program=${quiet#\"}; program=${program%%\"*}
read -r -a arguments <<<"${quiet#*\" }"
code=$(run "$program" "${arguments[@]}")
[ "$code" = 100 ] || fail "the QuietUninstallString exited $code"
[ ! -e "$target_unix" ] && [ -z "$(shortcuts)" ] || fail "files or the shortcut left after uninstalling"
if "$WINE" reg query "$entry" >/dev/null 2>&1; then fail "the Uninstall entry is left"; fi
echo "removed with its QuietUninstallString: folder, shortcut and entry gone"
echo "PASS"
