# Shared by the scripts: installs what a fresh Debian machine lacks and prepares Wine.
# Source it; it defines functions and variables and runs nothing by itself.

PICLADE_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# python3-pil and python3-segno: the emulator draws its pictures and QR codes with them.
PICLADE_PACKAGES=(cmake g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev wine wine64 fonts-wine
    fonts-wqy-microhei xvfb xauth googletest python3 python3-pil python3-segno openssl locales clang
    libclang-rt-14-dev ccache)

log() { printf '[piclade] %s\n' "$*" >&2; }

# Installs the Debian packages that are missing, and the two locales Wine needs to tell the Unix
# character set (without them Chinese file names and arguments arrive mangled).
ensure_packages() {
    local missing=() pkg
    for pkg in "${PICLADE_PACKAGES[@]}"; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        log "installing: ${missing[*]}"
        local sudo=""
        [ "$(id -u)" -eq 0 ] || sudo="sudo"
        $sudo apt-get update -qq
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
    fi
    local locale_name
    for locale_name in zh_CN en_US; do
        if ! locale -a 2>/dev/null | grep -qi "^${locale_name}\.utf-\?8$"; then
            log "making locale ${locale_name}.UTF-8"
            local sudo=""
            [ "$(id -u)" -eq 0 ] || sudo="sudo"
            $sudo localedef -i "$locale_name" -f UTF-8 "${locale_name}.UTF-8"
        fi
    done
}

# Compiles go through ccache when it is there. Paths inside the checkout are hashed relative to it,
# so a fresh clone of the same sources (CI's) finds what an earlier build compiled; the objects are
# the compiler's own, and a build without the cache gives the same program.
export CCACHE_BASEDIR="$PICLADE_ROOT" CCACHE_NOHASHDIR=1
compiler_cache() {
    command -v ccache >/dev/null || return 0
    echo "-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache"
}

# Configures and builds one build folder. Extra arguments go to cmake's configure step.
build_tree() {
    local build_dir=$1
    shift
    cmake -S "$PICLADE_ROOT" -B "$build_dir" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$PICLADE_ROOT/cmake/mingw-w64-x86_64.cmake" $(compiler_cache) "$@" >/dev/null
    cmake --build "$build_dir" --parallel "$(nproc)"
}

# A virtual display for the windows, started before Wine so that Wine's desktop process has one;
# large enough for the window at 200 % scaling.
start_display() {
    if [ -n "${DISPLAY:-}" ] && [ "${PICLADE_OWN_DISPLAY:-1}" = "0" ]; then return; fi
    local n
    for n in $(seq 90 130); do
        [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] || break
    done
    Xvfb ":$n" -screen 0 1920x1200x24 -nolisten tcp >/dev/null 2>&1 &
    PICLADE_XVFB_PID=$!
    for _ in $(seq 1 100); do
        [ -e "/tmp/.X11-unix/X$n" ] && break
        sleep 0.1
    done
    export DISPLAY=":$n"
}

stop_display() {
    if [ -n "${PICLADE_XVFB_PID:-}" ]; then kill "$PICLADE_XVFB_PID" 2>/dev/null || true; fi
}

# A private Wine prefix inside the build folder, served by one persistent wineserver so that each
# Wine process starts in a fraction of a second.
start_wine() {
    local build_dir=$1
    export WINEPREFIX="$build_dir/wineprefix"
    export WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml="
    export WINEARCH=win64
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        log "creating the Wine prefix (first run only)"
        wineboot --init >/dev/null 2>&1 || true
        wineserver -w
    fi
    # PICLADE_WINE_FONTS="marlett.ttf …" copies those of fonts-wine's files into the prefix before any
    # window opens. Debian's Wine looks for its own fonts in /usr/share/fonts, not where fonts-wine
    # puts them; without Marlett the title bars Wine draws show the letters 0, 1 and r in place of
    # the minimise, maximise and close symbols.
    local font
    for font in ${PICLADE_WINE_FONTS:-}; do
        [ -f "$WINEPREFIX/drive_c/windows/Fonts/$font" ] || cp "/usr/share/wine/fonts/$font" "$WINEPREFIX/drive_c/windows/Fonts/"
    done
    # PICLADE_WINE_DESKTOP=WxH runs every window inside one Wine desktop window of that size.
    if [ -n "${PICLADE_WINE_DESKTOP:-}" ]; then
        wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
        wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d "$PICLADE_WINE_DESKTOP" /f >/dev/null 2>&1
        wineserver -k 2>/dev/null || true
        wineserver -w
    elif grep -q '^"Desktop"="Default"' "$WINEPREFIX/user.reg" 2>/dev/null; then
        wine reg delete 'HKCU\Software\Wine\Explorer' /v Desktop /f >/dev/null 2>&1
        wineserver -k 2>/dev/null || true
        wineserver -w
    fi
    wineserver -p 2>/dev/null || true  # already running is fine
    trap 'wineserver -k 2>/dev/null || true; stop_display' EXIT
    # Start Wine's own background processes now, detached from any test's output: started by the
    # first test instead, they would hold its output pipe open and ctest would wait for them.
    timeout 120 wine cmd /c exit </dev/null >/dev/null 2>&1 || true
}
