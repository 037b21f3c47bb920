# Sourced by scripts/test and scripts/demo: a virtual display and a private
# Wine prefix inside the build tree (32-bit, or 64-bit where the kernel runs
# no 32-bit programs or SETUP_WINE_BITS=64 says so).
#   wine_start BUILD_DIR   sets DISPLAY, WINEPREFIX ..., creates the prefix once,
#                          keeps a wineserver running; drive A: a floppy,
#                          drive S: a 4.5 MB drive where one can be mounted
#   SETUP_SCREEN=WxH       the display and Wine's desktop (default 1024x768,
#                          which the tests' layout expects; larger for high DPI)
#   wine_stop              stops wineserver and the display, unmounts S:

# 32 when this kernel runs i386 programs natively (the product's own build is
# then tested), else 64: the same sources built for x86_64 run under wine64.
# SETUP_WINE_BITS=32 or 64 forces one.
wine_bits() {
    case "${SETUP_WINE_BITS:-}" in
        32|64) echo "$SETUP_WINE_BITS"; return ;;
    esac
    if [ -x /usr/lib/wine/wine ] && ! grep -qs '^enabled' /proc/sys/fs/binfmt_misc/qemu-i386 \
       && timeout 20 /usr/lib/wine/wineserver32 --version >/dev/null 2>&1; then
        echo 32
    else
        echo 64
    fi
}

wine_start() {
    local build=$1 bits=${2:-32}
    if [ "$bits" = 32 ]; then
        export WINEARCH=win32 WINEPREFIX="$build/wineprefix"
        WINE=wine
    else
        export WINEARCH=win64 WINEPREFIX="$build/wineprefix64" WINELOADER=/usr/lib/wine/wine64
        WINE=/usr/lib/wine/wine64
    fi
    export WINE
    export WINEDEBUG=-all
    # A wineserver left by an earlier start that was not stopped keeps its
    # desktop window on a display that is gone: new windows then fail.
    wineserver -k >/dev/null 2>&1 || true
    # No Mono or Gecko installers: the tests need neither.
    export WINEDLLOVERRIDES="mscoree,mshtml="
    local screen=${SETUP_SCREEN:-1024x768}

    if [ -z "${SETUP_KEEP_DISPLAY:-}" ] || [ -z "${DISPLAY:-}" ]; then
        local fdfile
        fdfile=$(mktemp)
        Xvfb -displayfd 3 -screen 0 ${screen}x24 -nolisten tcp 3>"$fdfile" >/dev/null 2>&1 &
        WINE_XVFB_PID=$!
        local i
        for i in $(seq 1 100); do
            [ -s "$fdfile" ] && break
            sleep 0.1
        done
        export DISPLAY=":$(head -n1 "$fdfile")"
        rm -f "$fdfile"
    fi

    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        echo "wine: creating the prefix $WINEPREFIX" >&2
        "$WINE" wineboot -i >/dev/null 2>&1 || true
        # One virtual desktop window holds every window: no window manager is
        # involved, so showing and hiding windows does not wait for one.
        "$WINE" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
        wineserver -w
    fi
    # The desktop as large as the display; set again when an earlier start
    # used another size (the prefix is shared by the tests and the pictures).
    # Wine writes the setting out when its server ends; a write that did not
    # take is tried again.
    local tries
    for tries in 1 2 3; do
        grep -qs "^\"Default\"=\"$screen\"" "$WINEPREFIX/user.reg" && break
        "$WINE" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d "$screen" /f >/dev/null 2>&1 || true
        wineserver -w || true
    done
    # Drive A: is a floppy disk drive on a folder of the prefix, for the
    # relaunch from removable media. Wine reads drive types when its
    # services start, so a prefix without the setting stops once after it.
    mkdir -p "$WINEPREFIX/floppy"
    ln -sfn "$WINEPREFIX/floppy" "$WINEPREFIX/dosdevices/a:"
    if ! grep -qs '^"a:"="floppy"' "$WINEPREFIX/system.reg"; then
        "$WINE" reg add 'HKLM\Software\Wine\Drives' /v a: /d floppy /f >/dev/null 2>&1
        wineserver -w
    fi
    # Drive S: is a drive of 4.5 MB of its own, for the free-space check on a
    # drive that really fills, where this machine lets us mount one (root);
    # elsewhere there is no S: and the tests that need it say so and skip.
    local small="$WINEPREFIX/small-drive"
    mkdir -p "$small"
    if mountpoint -q "$small" || mount -t tmpfs -o size=4608k,mode=0777 tmpfs "$small" >/dev/null 2>&1; then
        ln -sfn "$small" "$WINEPREFIX/dosdevices/s:"
    else
        rm -f "$WINEPREFIX/dosdevices/s:"
    fi
    wineserver -p >/dev/null 2>&1 || true
    # Start Wine's own service processes now, detached from our output: a
    # test runner would otherwise wait for them to close the pipes they inherit.
    "$WINE" cmd /c exit >/dev/null 2>&1 </dev/null || true
}

wine_stop() {
    wineserver -k >/dev/null 2>&1 || true
    if [ -n "${WINEPREFIX:-}" ] && mountpoint -q "$WINEPREFIX/small-drive" 2>/dev/null; then
        umount "$WINEPREFIX/small-drive" >/dev/null 2>&1 || true
    fi
    if [ -n "${WINE_XVFB_PID:-}" ]; then
        kill "$WINE_XVFB_PID" >/dev/null 2>&1 || true
        wait "$WINE_XVFB_PID" 2>/dev/null || true
        WINE_XVFB_PID=
    fi
}
