# Shared by the project's scripts: installs what is missing and builds a tree.

# Debian packages, in three lists: what the build needs, what the demo adds to run, and what
# only the tests use. scripts/demo installs the first two, scripts/test all three.
# libsystemd-dev: the watchdog. libedit-dev: chctl's line editing.
CH_BUILD_PACKAGES=(cmake make g++ pkg-config qtbase5-dev qtbase5-dev-tools libqt5dbus5
    libsystemd-dev libedit-dev)
CH_DEMO_PACKAGES=(dbus-daemon)
# libglib2.0-bin: gdbus, the other-user client of the access-policy test. systemd, dpkg-dev,
# file and lintian: the unit's checks and the Debian package (cpack) with its lint.
# bash-completion: chctl's completion is tested with its helpers as well as without them.
CH_TEST_PACKAGES=(libglib2.0-bin systemd dpkg-dev file lintian bash-completion)

# ch_install_missing <packages...>
ch_install_missing() {
    local missing=()
    local package
    for package in "$@"; do
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

# ch_ensure_packages [more packages...]: everything the build, the demo and the tests need.
ch_ensure_packages() {
    ch_install_missing "${CH_BUILD_PACKAGES[@]}" "${CH_DEMO_PACKAGES[@]}" \
        "${CH_TEST_PACKAGES[@]}" "$@"
}

ch_ensure_demo_packages() {
    ch_install_missing "${CH_BUILD_PACKAGES[@]}" "${CH_DEMO_PACKAGES[@]}"
}

# ch_build <build-dir> [cmake options...]
# Stops at a failed configure: building a half-configured tree only adds errors about it.
ch_build() {
    local dir="$1"
    shift
    cmake -S "$CH_ROOT" -B "$dir" "$@" || return
    cmake --build "$dir" -j"$(nproc)"
}

# ch_build_progress <build-dir> [cmake options...]
# ch_build for someone waiting at the terminal: cmake's and the compiler's output goes to
# <build-dir>/build.log and only the build's progress shows, so that a first build of a few
# minutes is visibly alive without burying the terminal. The whole log is printed when the
# build fails. Returns the build's status.
ch_build_progress() {
    local dir="$1"
    shift
    mkdir -p "$dir"
    local log="$dir/build.log"
    local started="$SECONDS"
    local status=0
    # The build's own status, whatever the caller's shell options; no exit on it under set -e
    # before its log is shown.
    local -
    set -o pipefail
    ch_build "$dir" "$@" 2>&1 | tee "$log" | ch_show_progress || status="${PIPESTATUS[0]}"
    if [ "$status" -ne 0 ]; then
        cat "$log"
        echo "The build failed (exit status $status); its log is in $log"
        return "$status"
    fi
    echo "Built in $((SECONDS - started)) s (log: $log)."
}

# Reads cmake's output and shows how far the build has come, from the "[ 42%]" marks of the
# Makefile generator: on a terminal one line rewritten in place with the step under way, else
# (a log file, CI) one line per tenth, so that the log stays short.
ch_show_progress() {
    local mark='^\[ *([0-9]+)%\] (.*)$'
    local line step percent=0 shown=-1 width=0
    if [ -t 1 ]; then
        width="$(tput cols 2>/dev/null || echo 80)"
        [ "$width" -gt 20 ] 2>/dev/null || width=80
        printf '[  0%%] Configuring'
    fi
    while IFS= read -r line; do
        if [[ "$line" =~ $mark ]]; then
            # Parallel jobs print their marks a little out of order: the count never goes back.
            if [ "${BASH_REMATCH[1]}" -gt "$percent" ]; then
                percent="${BASH_REMATCH[1]}"
            fi
            step="${BASH_REMATCH[2]}"
            # "Building CXX object src/CMakeFiles/x.dir/core/Foo.cpp.o" says no more than Foo.cpp.
            if [[ "$step" == "Building "*" object "* ]]; then
                step="${step##*/}"
                step="Compiling ${step%.o}"
            fi
        elif [ "$width" -gt 0 ] && [[ "$line" == "-- "* ]]; then
            step="Configuring: ${line#-- }"
        else
            continue
        fi
        if [ "$width" -gt 0 ]; then
            printf '\r\033[K[%3d%%] %s' "$percent" "${step:0:width-8}"
        elif [ $((percent / 10)) -gt "$shown" ]; then
            shown=$((percent / 10))
            printf '[%3d%%] %s\n' "$percent" "$step"
        fi
    done
    if [ "$width" -gt 0 ]; then
        printf '\r\033[K'
    fi
}

CH_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
