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

# A package for another architecture of the controller is cross-built from the same tree with
# Debian's cross compiler and the target's libraries installed as a foreign architecture (their
# .pc files and CMake packages in /usr/lib/<triplet>); moc and the other Qt tools stay the build
# machine's (qtbase5-dev-tools). qemu-user runs the target's programs for the tests, without any
# binfmt handler (its recommends, which would register one, are not installed).
# ch_cross_packages <arch>: prints them, one a line.
ch_cross_packages() {
    printf '%s\n' "crossbuild-essential-$1" "qtbase5-dev:$1" "libsystemd-dev:$1" \
        "libedit-dev:$1" "pkgconf:$1" qemu-user
}

# ch_cross_toolchain <arch>: the toolchain file for a Debian architecture, nothing for the build
# machine's own; fails for one the project does not build for.
ch_cross_toolchain() {
    case "$1" in
    "$(dpkg --print-architecture)") ;;
    arm64) echo "$CH_ROOT/cmake/toolchains/aarch64-linux-gnu.cmake" ;;
    armhf) echo "$CH_ROOT/cmake/toolchains/arm-linux-gnueabihf.cmake" ;;
    *) return 1 ;;
    esac
}

# ch_ensure_cross_packages <arch>: what a build for <arch> needs, the packaging tools included
# (cpack's dependency lookup runs dpkg-shlibdeps and file).
ch_ensure_cross_packages() {
    local packages=("${CH_BUILD_PACKAGES[@]}" dpkg-dev file)
    if [ "$1" != "$(dpkg --print-architecture)" ]; then
        dpkg --print-foreign-architectures | grep -qx "$1" || ch_sudo dpkg --add-architecture "$1"
        mapfile -t -O "${#packages[@]}" packages < <(ch_cross_packages "$1")
    fi
    ch_install_missing "${packages[@]}"
}

# ch_package_options <arch>: the cmake options of a package's build for <arch>, one a line:
# RelWithDebInfo (the symbols go to the dbgsym package), warnings as errors, no tests, and the
# toolchain file of a cross build.
ch_package_options() {
    local toolchain
    toolchain="$(ch_cross_toolchain "$1")" || return
    printf '%s\n' -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCH_WERROR=ON -DBUILD_TESTING=OFF \
        ${toolchain:+"-DCMAKE_TOOLCHAIN_FILE=$toolchain"}
}

# ch_pack <build-dir>: `cpack -G DEB` there, its output in <build-dir>/cpack.log. Only this run's
# packages are left in the directory.
ch_pack() {
    rm -f "$1"/command-handler*.deb
    (cd "$1" && cpack -G DEB) >"$1/cpack.log" 2>&1
}

ch_sudo() {
    if [ "$(id -u)" -eq 0 ]; then
        "$@"
    else
        sudo "$@"
    fi
}

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
        ch_sudo apt-get update
        # A foreign architecture's package that would take the build machine's own away (a
        # version of a shared library that only one of them has yet) stops the install instead.
        ch_sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends \
            --no-remove "${missing[@]}"
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
