#!/usr/bin/env bash
# Runs a Windows program under wine in a private, headless prefix.
# Usage: wine-run.sh PREFIX_DIR program.exe [args...]
# The prefix is created on first use (null graphics driver, no crash dialog, no browser,
# fonts copied in, HOME kept out of the user's home). wineserver and the wine services are
# started detached so that they never hold the caller's output pipes open; the program's own
# output goes through a file for the same reason.
set -u
prefix=$1
shift
[ $# -ge 1 ] || { echo "usage: wine-run.sh PREFIX program [args]" >&2; exit 2; }

WINE=${WINE64:-/usr/lib/wine/wine64}
WINESERVER=${WINESERVER:-/usr/lib/wine/wineserver}
[ -x "$WINE" ] || WINE=$(command -v wine64 || command -v wine)
[ -x "$WINESERVER" ] || WINESERVER=$(command -v wineserver)

mkdir -p "$prefix"
prefix=$(cd "$prefix" && pwd)
export WINEPREFIX=$prefix
export HOME=$prefix.home
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export WINEARCH=win64
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY ftp_proxy no_proxy NO_PROXY all_proxy ALL_PROXY
[ "${VG_WINE_GRAPHICS:-null}" = x11 ] || unset DISPLAY
mkdir -p "$HOME"

detached() { "$@" </dev/null >/dev/null 2>&1 9>&- & }

(
    flock 9
    if [ ! -f "$prefix/.vg-ready" ]; then
        "$WINESERVER" -k </dev/null >/dev/null 2>&1 9>&- || true
        "$WINE" wineboot -i </dev/null >"$prefix.init.log" 2>&1 9>&-
        reg() { "$WINE" reg add "$@" /f </dev/null >>"$prefix.init.log" 2>&1 9>&-; }
        reg 'HKCU\Software\Wine\Drivers' /v Graphics /d "${VG_WINE_GRAPHICS:-null}"
        reg 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0
        reg 'HKCU\Software\Wine\WineBrowser' /v Browsers /d ""
        reg 'HKCU\Software\Wine\X11 Driver' /v Managed /d N
        reg 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N
        fonts="$prefix/drive_c/windows/Fonts"
        mkdir -p "$fonts"
        cp -n /usr/share/wine/fonts/*.ttf "$fonts/" 2>/dev/null || true
        # Settings are read when a session starts: flush and restart the server.
        "$WINESERVER" -k </dev/null >/dev/null 2>&1 9>&- || true
        touch "$prefix/.vg-ready"
    fi
    # A persistent server (15 s) keeps later starts warm; start it and the services detached.
    detached "$WINESERVER" -p15
    detached "$WINE" cmd /c exit
) 9>"$prefix.lock"

out=$(mktemp "${TMPDIR:-/tmp}/wine-run.XXXXXX")
"$WINE" "$@" </dev/null >"$out" 2>&1 9>&-
rc=$?
# msvcrt writes CR LF; test discovery and log readers want plain lines.
sed 's/\r$//' "$out"
rm -f "$out"
exit $rc
