# Package installation shared by scripts/install-deps and
# scripts/install-cross-deps (sourced, not run).
#
# What a build needs is installed as one set, and a failure there is a real
# failure. A failed index download ("Mirror sync in progress?", no i386
# index) is only a warning: apt goes on with the indexes it has. A package
# that only serves a smoke test is tried on its own; when it cannot be had,
# one line says which smoke tests will be skipped.

# Messages name the script that sourced this file.
apt_me=$(basename "$0")

# The cross compilers of the six deliverables: MinGW-w64 (POSIX thread model)
# for the three Windows builds, armhf for vant_arm.
# shellcheck disable=SC2034  # used by the scripts that source this file
apt_cross_compilers="g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix g++-arm-linux-gnueabihf"

if [ "$(id -u)" -ne 0 ]; then apt_sudo=sudo; else apt_sudo=; fi

apt_run() {
    $apt_sudo env DEBIAN_FRONTEND=noninteractive apt-get "$@"
}

# The packages among the arguments that are not installed yet.
apt_missing() {
    for pkg in "$@"; do
        dpkg -s "$pkg" > /dev/null 2>&1 || printf '%s ' "$pkg"
    done
}

# Refreshes the package indexes once per run; tries twice, then warns with
# apt's own error lines and goes on.
apt_refreshed=0
apt_refresh() {
    [ "$apt_refreshed" = 1 ] && return 0
    apt_refreshed=1
    log=$(mktemp)
    for attempt in 1 2; do
        if apt_run update > "$log" 2>&1; then
            rm -f "$log"
            return 0
        fi
        [ "$attempt" = 1 ] && sleep 2
    done
    echo "$apt_me: warning: apt-get update failed twice; going on with the package indexes that did load:" >&2
    grep -E '^(E|W|Err):' "$log" | sed 's/^/    /' >&2
    rm -f "$log"
    return 0
}

# Installs every missing package of the set in one go; exits the script with
# apt's status when that fails.
apt_install_required() {
    need=$(apt_missing "$@")
    [ -z "$need" ] && return 0
    apt_refresh
    status=0
    # shellcheck disable=SC2086
    apt_run install -y --no-install-recommends $need || status=$?
    if [ "$status" -ne 0 ]; then
        echo "$apt_me: could not install what the build needs: $need" >&2
        exit "$status"
    fi
}

# apt_install_runner WHAT SKIPPED PACKAGE...: installs the packages of one
# smoke-test runner; when that fails, says which smoke tests will be skipped
# and goes on.
apt_install_runner() {
    what=$1
    skipped=$2
    shift 2
    need=$(apt_missing "$@")
    [ -z "$need" ] && return 0
    apt_refresh
    log=$(mktemp)
    # shellcheck disable=SC2086
    if ! apt_run install -y --no-install-recommends $need > "$log" 2>&1; then
        echo "$apt_me: $what could not be installed (${need% }); the smoke tests of $skipped will be skipped"
        grep -E '^(E|W):' "$log" | sed 's/^/    /'
    fi
    rm -f "$log"
    return 0
}

# 32-bit Wine comes from the i386 architecture: added, when needed, before
# the indexes are refreshed, so that one refresh loads its index too.
apt_i386=1
apt_add_i386() {
    [ -z "$(apt_missing wine32:i386)" ] && return 0
    dpkg --print-foreign-architectures | grep -qx i386 && return 0
    $apt_sudo dpkg --add-architecture i386 || apt_i386=0
}

# The runners of the deliverables' smoke tests: qemu for vant_arm, Wine for
# the Windows builds.
apt_install_runners() {
    apt_install_runner "qemu user-mode emulation" "vant_arm" qemu-user
    apt_install_runner "Wine" "vant_w64, vant_w32 and vant_w32_compat" wine wine64
    if [ "$apt_i386" = 1 ]; then
        apt_install_runner "32-bit Wine" "vant_w32 and vant_w32_compat" wine32:i386
    else
        echo "$apt_me: the i386 architecture cannot be added, so 32-bit Wine cannot be installed; the smoke tests of vant_w32 and vant_w32_compat will be skipped"
    fi
}
