# Shared helpers of the scripts in this folder. Source it; do not run it.

ORRELIN_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

# ensure_packages PKG...: installs the Debian packages that are missing.
ensure_packages() {
    local missing=()
    local pkg
    for pkg in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$pkg")
        fi
    done
    if [ ${#missing[@]} -eq 0 ]; then
        return 0
    fi
    echo "Installing Debian packages: ${missing[*]}"
    apt_get update -q >/dev/null
    apt_get install -y -q --no-install-recommends "${missing[@]}" >/dev/null
}

# apt_get ARGS...: apt-get (through sudo when not root) that waits up to five
# minutes for the package manager's lock when another install holds it.
apt_get() {
    local sudo=""
    if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
    DEBIAN_FRONTEND=noninteractive $sudo apt-get -o DPkg::Lock::Timeout=300 "$@"
}

# The packages every build needs.
BUILD_PACKAGES=(g++ cmake ninja-build pkg-config googletest libgtest-dev libfast-float-dev libfmt-dev
    freeglut3-dev libgl-dev libglu1-mesa-dev libgl1-mesa-dri libegl-dev libegl-mesa0 libx11-dev qt6-base-dev)

# What the program needs to run without a screen, and what its window tests
# drive it with.
HEADLESS_PACKAGES=(xvfb openbox xdotool imagemagick xclip x11-utils wmctrl librsvg2-bin)

# What the browser edition needs: the compiler and the libraries it uses
# (header only), the page's bundler and type checker, and for its tests the
# browser puppeteer drives.
WEB_PACKAGES=(emscripten cmake ninja-build libfast-float-dev libfmt-dev esbuild node-typescript)
WEB_TEST_PACKAGES=(chromium firefox-esr)

# ensure_node: node and npm from Debian, unless the machine has a node of its
# own (another node package takes Debian's package name, and Debian's npm
# would then not install).
ensure_node() {
    if ! command -v node >/dev/null; then ensure_packages nodejs; fi
    if ! command -v npm >/dev/null; then ensure_packages npm; fi
}

# configure_build DIR [CMAKE ARGS...]: configures DIR unless it is configured already.
configure_build() {
    local dir="$1"
    shift
    if [ ! -f "$dir/build.ninja" ]; then
        cmake -S "$ORRELIN_ROOT" -B "$dir" -G Ninja "$@"
    fi
}

# start_private_display DIR [SCREEN]: starts Xvfb (SCREEN, by default
# 1280x1024x24) on a free display number with openbox on it, and exports
# DISPLAY, XDG_RUNTIME_DIR and QT_QPA_PLATFORM=xcb (WAYLAND_DISPLAY is
# removed). The steps are those of the GUI tests' XSession, in the same order;
# tests/README.md lists them. DIR holds the server's folders and logs. Sets
# xvfb_pid and wm_pid for stop_private_display. Returns 1, with the end of the
# log, when the server or openbox does not come up.
start_private_display() {
    local dir="$1" screen="${2:-1280x1024x24}" number="" deadline
    mkdir -p -m 0700 "$dir/runtime" "$dir/home" "$dir/home/.config"

    # Xvfb writes its display number to the FIFO once it accepts connections;
    # the read ends early, empty, when Xvfb exits first.
    rm -f "$dir/displayfd"
    mkfifo "$dir/displayfd"
    Xvfb -displayfd 3 -screen 0 "$screen" -nolisten tcp -noreset 3>"$dir/displayfd" >"$dir/xvfb.log" 2>&1 &
    xvfb_pid=$!
    read -r -t 20 number <"$dir/displayfd" || true
    rm -f "$dir/displayfd"
    if ! [[ "$number" =~ ^[0-9]+$ ]]; then
        echo "Xvfb did not report a display" >&2
        tail -c 2000 "$dir/xvfb.log" >&2
        stop_private_display
        return 1
    fi

    export DISPLAY=":$number"
    export XDG_RUNTIME_DIR="$dir/runtime"
    export QT_QPA_PLATFORM=xcb
    unset WAYLAND_DISPLAY

    # A private HOME and config folder: openbox runs with the system's default
    # configuration, whatever the user has set up.
    (cd "$dir/home" && HOME="$dir/home" XDG_CONFIG_HOME="$dir/home/.config" exec openbox --sm-disable) \
        >"$dir/openbox.log" 2>&1 &
    wm_pid=$!
    deadline=$((SECONDS + 20))
    while kill -0 "$wm_pid" 2>/dev/null; do
        if [[ "$(timeout 5 xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null)" == *"window id"* ]]; then
            return 0
        fi
        [ "$SECONDS" -lt "$deadline" ] || break
        sleep 0.05
    done
    echo "openbox did not come up on $DISPLAY" >&2
    tail -c 2000 "$dir/openbox.log" >&2
    stop_private_display
    return 1
}

# stop_child PID GRACE: SIGTERM, then SIGKILL when PID still runs after GRACE
# seconds; reaps it.
stop_child() {
    local pid="$1" grace="$2" _
    if [ -z "$pid" ] || ! kill "$pid" 2>/dev/null; then return 0; fi
    for _ in $(seq $((grace * 20))); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.05
    done
    kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
}

# stop_private_display: openbox first, then the server.
stop_private_display() {
    stop_child "${wm_pid:-}" 3
    stop_child "${xvfb_pid:-}" 5
    wm_pid=""
    xvfb_pid=""
}

# What the Windows builds need: the cross compilers, the tools to fetch
# freeglut's Debian source, zip, and Wine (64-bit, with 64-bit Mesa from
# BUILD_PACKAGES) to run the results.
WINDOWS_BUILD_PACKAGES=(g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix dpkg-dev zip wine64 fonts-wine)
# Wine's 32-bit side with 32-bit Mesa, to run the 32-bit build.
WINE32_PACKAGES=(wine wine32:i386 libgl1:i386 libglx-mesa0:i386 libgl1-mesa-dri:i386)

# ensure_windows_packages: installs WINDOWS_BUILD_PACKAGES, and where the host
# runs 32-bit programs also Wine's 32-bit side (enabling the i386
# architecture for it).
ensure_windows_packages() {
    ensure_packages "${WINDOWS_BUILD_PACKAGES[@]}"
    if ! host_runs_32bit; then return 0; fi
    local sudo=""
    if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        $sudo dpkg --add-architecture i386
    fi
    ensure_packages "${WINE32_PACKAGES[@]}"
}

# host_runs_32bit: whether this machine's kernel runs 32-bit x86 programs
# (some kernels, WSL 1 and sandboxes do not). Runs a 96-byte 32-bit program
# that only exits with status 42, written here byte by byte; it needs no
# 32-bit library installed. ORRELIN_NO_32BIT=1 answers no without trying.
# The answer is kept for the rest of the script in ORRELIN_HOST_32BIT.
host_runs_32bit() {
    if [ "${ORRELIN_NO_32BIT:-0}" = 1 ]; then return 1; fi
    if [ -z "${ORRELIN_HOST_32BIT:-}" ]; then
        local dir status=0
        # Beside the tree, not in /tmp: /tmp may be mounted without exec.
        dir="$(mktemp -d "$ORRELIN_ROOT/.host-check.XXXXXX")"
        # ELF header (32-bit, little-endian, i386, entry 0x08048054), one
        # loadable segment covering the file, then: mov eax,1; mov ebx,42; int 0x80.
        printf '\177ELF\1\1\1\0\0\0\0\0\0\0\0\0\2\0\3\0\1\0\0\0\124\200\4\010\64\0\0\0\0\0\0\0\0\0\0\0\64\0\40\0\1\0\0\0\0\0\0\0' \
            >"$dir/exit42"
        printf '\1\0\0\0\0\0\0\0\0\200\4\010\0\200\4\010\140\0\0\0\140\0\0\0\5\0\0\0\0\020\0\0' >>"$dir/exit42"
        printf '\270\1\0\0\0\273\52\0\0\0\315\200' >>"$dir/exit42"
        chmod +x "$dir/exit42"
        "$dir/exit42" 2>/dev/null || status=$?
        rm -rf "$dir"
        ORRELIN_HOST_32BIT=no
        if [ "$status" -eq 42 ]; then ORRELIN_HOST_32BIT=yes; fi
        export ORRELIN_HOST_32BIT
    fi
    [ "$ORRELIN_HOST_32BIT" = yes ]
}

# windows_arch: the Windows build the tests run here, i686 where the host runs
# 32-bit programs, x86_64 elsewhere.
windows_arch() {
    if host_runs_32bit; then echo i686; else echo x86_64; fi
}

# windows_build_dir ARCH: the test build folder of that Windows build.
windows_build_dir() {
    case "$1" in
        i686) echo "$ORRELIN_ROOT/build-win32" ;;
        x86_64) echo "$ORRELIN_ROOT/build-win64" ;;
        *) echo "unknown Windows architecture: $1" >&2; return 2 ;;
    esac
}

# build_windows ARCH: cross-builds the Windows program and its tests for ARCH
# (i686 or x86_64) into its build folder: freeglut as a static library from
# Debian's own source package (fetched and built once, never part of this
# tree), then the project with mingw-w64, then a Wine prefix to run the
# results in, made once before tests run in parallel.
build_windows() {
    local arch="$1" build toolchain freeglut source_dir
    build="$(windows_build_dir "$arch")"
    toolchain="$ORRELIN_ROOT/cmake/mingw-$arch.cmake"
    freeglut="$build/freeglut"
    ensure_packages "${BUILD_PACKAGES[@]}"
    ensure_windows_packages
    ensure_deb_src
    mkdir -p "$build"
    if [ ! -f "$freeglut/lib/libfreeglut_static.a" ]; then
        rm -rf "$build/freeglut-src"
        mkdir -p "$build/freeglut-src"
        (cd "$build/freeglut-src" && apt-get source -q freeglut >"$build/freeglut-src.log" 2>&1) ||
            { cat "$build/freeglut-src.log" >&2; return 1; }
        source_dir="$(find "$build/freeglut-src" -mindepth 1 -maxdepth 1 -type d -name 'freeglut-*' | head -n 1)"
        cmake -S "$source_dir" -B "$build/freeglut-build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
            -DCMAKE_BUILD_TYPE=Release -DFREEGLUT_BUILD_SHARED_LIBS=OFF -DFREEGLUT_BUILD_STATIC_LIBS=ON \
            -DFREEGLUT_BUILD_DEMOS=OFF -DCMAKE_INSTALL_PREFIX="$freeglut" >/dev/null
        cmake --build "$build/freeglut-build" >/dev/null
        cmake --install "$build/freeglut-build" >/dev/null
    fi
    if [ ! -f "$build/build.ninja" ]; then
        cmake -S "$ORRELIN_ROOT" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
            -DCMAKE_BUILD_TYPE=Release -DORRELIN_WERROR=ON -DCMAKE_PREFIX_PATH="$freeglut" \
            -DCMAKE_CROSSCOMPILING_EMULATOR="$ORRELIN_ROOT/scripts/wine-run"
    fi
    cmake --build "$build" -j"$(nproc)"
    # The prefix only where Wine can run this build: the 32-bit one needs a
    # host that runs 32-bit programs.
    if [ "$arch" = x86_64 ] || host_runs_32bit; then
        WINEPREFIX="$build/wine" "$ORRELIN_ROOT/scripts/wine-run" --prefix "$arch"
    fi
}

# ensure_deb_src: makes `apt-get source` work by adding source entries for the
# Debian archive the machine already uses, when there are none.
ensure_deb_src() {
    if grep -rqsE '^(Types:.*deb-src|deb-src )' /etc/apt/sources.list /etc/apt/sources.list.d/; then
        return 0
    fi
    local sudo="" uri suite
    if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
    uri="$(grep -rhsm1 '^URIs:' /etc/apt/sources.list.d/debian.sources | awk '{print $2}')"
    suite="$(grep -rhsm1 '^Suites:' /etc/apt/sources.list.d/debian.sources | awk '{print $2}')"
    if [ -z "$uri" ]; then
        read -r uri suite < <(grep -hsm1 -E '^deb (http|https)://' /etc/apt/sources.list | awk '{print $2, $3}')
    fi
    printf 'Types: deb-src\nURIs: %s\nSuites: %s\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
        "${uri:-http://deb.debian.org/debian}" "${suite:-bookworm}" |
        $sudo tee /etc/apt/sources.list.d/orrelin-deb-src.sources >/dev/null
    apt_get update -q >/dev/null
}
