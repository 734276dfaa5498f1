#!/bin/sh
# The install scripts against stand-in apt-get, dpkg, sudo and sleep on PATH:
# nothing is downloaded and nothing on the machine changes. The stand-in
# apt-get fails every index refresh the way a mirror half-way through a sync
# does, and fails the install of the packages named in $FAIL.
#   install_scripts.sh REPOSITORY
set -u
repo=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin"
failures=0

cat > "$work/bin/apt-get" <<EOF
#!/bin/sh
echo "\$*" >> "$work/calls"
case "\$1" in
update)
    echo "Err:7 http://deb.debian.org/debian-security bookworm-security/main i386 Packages" >&2
    echo "E: Failed to fetch http://deb.debian.org/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress? [IP: 151.101.2.132 80]" >&2
    echo "E: Some index files failed to download. They have been ignored, or old ones used instead." >&2
    exit 100 ;;
install)
    for pkg in "\$@"; do
        for bad in \$FAIL; do
            if [ "\$pkg" = "\$bad" ]; then
                echo "E: Unable to correct problems, you have held broken packages." >&2
                exit 100
            fi
        done
    done ;;
esac
exit 0
EOF
# Nothing is installed; the i386 architecture is there once added.
cat > "$work/bin/dpkg" <<EOF
#!/bin/sh
case "\$1" in
-s) exit 1 ;;
--print-foreign-architectures) [ -f "$work/i386" ] && echo i386 ;;
--add-architecture) touch "$work/i386" ;;
esac
exit 0
EOF
printf '#!/bin/sh\nexec "$@"\n' > "$work/bin/sudo"
printf '#!/bin/sh\nexit 0\n' > "$work/bin/sleep"
chmod +x "$work/bin/"*

# run NAME EXPECTED_STATUS SCRIPT FAILING_PACKAGES: runs the script, checks
# its exit status and leaves its output in $work/out.
run() {
    rm -f "$work/calls" "$work/i386"
    status=0
    PATH="$work/bin:$PATH" FAIL=$4 VANT_NATIVE_ONLY=0 "$repo/scripts/$3" > "$work/out" 2>&1 || status=$?
    if { [ "$2" = 0 ] && [ "$status" != 0 ]; } || { [ "$2" != 0 ] && [ "$status" = 0 ]; }; then
        echo "FAIL $1: exit status $status, expected $2"
        sed 's/^/    /' "$work/out"
        failures=$((failures + 1))
    fi
}

# expect NAME TEXT: the last run printed a line holding TEXT.
expect() {
    if ! grep -qF -- "$2" "$work/out"; then
        echo "FAIL $1: no line holds '$2'"
        sed 's/^/    /' "$work/out"
        failures=$((failures + 1))
    fi
}

# A failed index refresh and an uninstallable 32-bit Wine: a warning naming
# what failed, one skip line, success.
for script in install-cross-deps install-deps; do
    run "$script, no i386 index" 0 "$script" "wine32:i386"
    expect "$script, no i386 index" "warning: apt-get update failed twice"
    expect "$script, no i386 index" "binary-i386/Packages.xz  File has unexpected size"
    expect "$script, no i386 index" \
        "32-bit Wine could not be installed (wine32:i386); the smoke tests of vant_w32 and vant_w32_compat will be skipped"
    if [ "$(grep -c '^update' "$work/calls")" != 2 ]; then
        echo "FAIL $script: the index refresh was not tried exactly twice"
        failures=$((failures + 1))
    fi
    if ! grep -q '^install .*g++-mingw-w64-i686-posix' "$work/calls"; then
        echo "FAIL $script: the cross compilers were not installed"
        failures=$((failures + 1))
    fi
done

# No qemu and no Wine at all: both runners are reported, still success.
run "runners missing" 0 install-cross-deps "qemu-user wine"
expect "runners missing" "the smoke tests of vant_arm will be skipped"
expect "runners missing" "the smoke tests of vant_w64, vant_w32 and vant_w32_compat will be skipped"

# What the build needs cannot be had: a real failure.
run "cross compiler missing" 100 install-cross-deps "g++-mingw-w64-i686-posix"
expect "cross compiler missing" "could not install what the build needs"
run "GoogleTest missing" 100 install-deps "libgtest-dev"
expect "GoogleTest missing" "could not install what the build needs"

if [ "$failures" = 0 ]; then echo "install scripts: all cases passed"; fi
[ "$failures" = 0 ]
