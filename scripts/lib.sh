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
# (header only), and for its tests the browser puppeteer drives.
WEB_PACKAGES=(emscripten cmake ninja-build libfast-float-dev libfmt-dev)
WEB_TEST_PACKAGES=(chromium)

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

# What the Windows build needs: the cross compiler, the tools to fetch
# freeglut's Debian source, Wine with 32-bit Mesa to run the results, zip.
WIN32_PACKAGES=(g++-mingw-w64-i686-posix dpkg-dev zip wine wine32:i386 libgl1:i386 libglx-mesa0:i386
    libgl1-mesa-dri:i386 fonts-wine)

# ensure_win32_packages: enables the i386 architecture for Wine's 32-bit side
# and installs WIN32_PACKAGES.
ensure_win32_packages() {
    local sudo=""
    if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        $sudo dpkg --add-architecture i386
    fi
    ensure_packages "${WIN32_PACKAGES[@]}"
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
