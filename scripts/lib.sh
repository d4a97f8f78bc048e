# Shared by the project's scripts: installs what is missing and builds a tree.

# Debian packages the build, the tests and the demo need.
# libglib2.0-bin: gdbus, the other-user client of the access-policy test.
# libsystemd-dev: the watchdog. systemd, dpkg-dev, file and lintian: the unit's checks and the
# Debian package (cpack) with its lint.
CH_PACKAGES=(cmake make g++ pkg-config qtbase5-dev qtbase5-dev-tools libqt5dbus5 dbus-daemon
    libglib2.0-bin libsystemd-dev systemd dpkg-dev file lintian)

ch_ensure_packages() {
    local missing=()
    local package
    for package in "${CH_PACKAGES[@]}" "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
            missing+=("$package")
    done
    if [ "${#missing[@]}" -gt 0 ]; then
        echo "Installing: ${missing[*]}"
        local sudo=""
        [ "$(id -u)" -eq 0 ] || sudo="sudo"
        $sudo apt-get update
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
    fi
}

# ch_build <build-dir> [cmake options...]
ch_build() {
    local dir="$1"
    shift
    cmake -S "$CH_ROOT" -B "$dir" "$@"
    cmake --build "$dir" -j"$(nproc)"
}

CH_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
