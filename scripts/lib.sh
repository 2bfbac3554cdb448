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
    local sudo=""
    if [ "$(id -u)" -ne 0 ]; then
        sudo="sudo"
    fi
    $sudo apt-get update -q >/dev/null
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}" >/dev/null
}

# The packages every build needs.
BUILD_PACKAGES=(g++ cmake ninja-build pkg-config googletest libgtest-dev
    freeglut3-dev libgl-dev libglu1-mesa-dev libgl1-mesa-dri libx11-dev qt6-base-dev)

# What the program needs to run without a screen, and what its window tests
# drive it with.
HEADLESS_PACKAGES=(xvfb openbox xdotool imagemagick xclip x11-utils)

# configure_build DIR [CMAKE ARGS...]: configures DIR unless it is configured already.
configure_build() {
    local dir="$1"
    shift
    if [ ! -f "$dir/build.ninja" ]; then
        cmake -S "$ORRELIN_ROOT" -B "$dir" -G Ninja "$@"
    fi
}
