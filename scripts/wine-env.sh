# Sourced by scripts/test and scripts/demo: a virtual display and a private
# 32-bit Wine prefix inside the build tree.
#   wine_start BUILD_DIR   sets DISPLAY, WINEPREFIX ..., creates the prefix once,
#                          keeps a wineserver running
#   wine_stop              stops wineserver and the display

wine_start() {
    local build=$1
    export WINEARCH=win32
    export WINEPREFIX="$build/wineprefix"
    export WINEDEBUG=-all
    # No Mono or Gecko installers: the tests need neither.
    export WINEDLLOVERRIDES="mscoree,mshtml="

    if [ -z "${SETUP_KEEP_DISPLAY:-}" ] || [ -z "${DISPLAY:-}" ]; then
        local fdfile
        fdfile=$(mktemp)
        Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fdfile" >/dev/null 2>&1 &
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
        wineboot -i >/dev/null 2>&1 || true
        wineserver -w
    fi
    wineserver -p >/dev/null 2>&1 || true
}

wine_stop() {
    wineserver -k >/dev/null 2>&1 || true
    if [ -n "${WINE_XVFB_PID:-}" ]; then
        kill "$WINE_XVFB_PID" >/dev/null 2>&1 || true
        wait "$WINE_XVFB_PID" 2>/dev/null || true
        WINE_XVFB_PID=
    fi
}
