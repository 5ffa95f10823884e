#!/bin/sh
# check-clean-install.sh DEB [CHROOT_DIR]
#
# Installs the package into a fresh, minimal Debian 12 system (made with
# debootstrap, needs root and the Debian mirror) and checks what a user gets:
# the programs run, the record file type maps to the window, and opening a
# record file the way a file manager does (xdg-open) starts the window on it.
# Not part of the test command: it downloads a few hundred megabytes.
set -eu
deb=$(realpath "$1")
root=${2:-/var/tmp/tarvik-clean-root}
fail() { echo "FAIL: $*" >&2; exit 1; }

[ -d "$root/usr" ] || debootstrap --variant=minbase bookworm "$root" http://deb.debian.org/debian
mount -t proc proc "$root/proc"
trap 'umount "$root/proc"' EXIT
cp "$deb" "$root/root/"
in_root() { chroot "$root" /bin/sh -c "$1"; }
in_root "apt-get update -q >/dev/null && DEBIAN_FRONTEND=noninteractive apt-get install -y -q /root/$(basename "$deb") >/dev/null" \
    || fail "apt install"
in_root "tarvik-cli --version && tarvik --version && vxcenter-sim --version" || fail "--version"
in_root "cd /tmp && tarvik-cli generate s.vxr --frames 5 >/dev/null && tarvik-cli list s.vxr | head -3" || fail "generate and list"
# A built-in profile is read by the YAML reader module, which the package installs with its library.
in_root "cd /tmp && tarvik-cli expect file-integrity s.vxr >/dev/null" || fail "a profile read by the YAML reader module"
in_root "cd /tmp && python3 -c 'import tarvik; print(len(tarvik.open(\"s.vxr\")))'" || fail "import tarvik"

# What a desktop has: the file type and menu databases, and a display.
in_root "DEBIAN_FRONTEND=noninteractive apt-get install -y -q xdg-utils shared-mime-info desktop-file-utils xvfb xauth procps >/dev/null \
    && DEBIAN_FRONTEND=noninteractive apt-get install -y -q --reinstall /root/$(basename "$deb") >/dev/null" || fail "desktop packages"
in_root "desktop-file-validate /usr/share/applications/tarvik.desktop" || fail "desktop entry"
[ "$(in_root 'xdg-mime query filetype /tmp/s.vxr')" = application/x-vx-record ] || fail "file type of *.vxr"
[ "$(in_root 'xdg-mime query default application/x-vx-record')" = tarvik.desktop ] || fail "default application"
opened=$(in_root 'xvfb-run -a sh -c "xdg-open /tmp/s.vxr & sleep 5; pgrep -a -f -x \"/usr/bin/tarvik /tmp/s.vxr\"; pkill -f -x \"/usr/bin/tarvik /tmp/s.vxr\""')
echo "$opened" | grep -q ' /usr/bin/tarvik /tmp/s.vxr$' || fail "xdg-open did not start the window on the file ($opened)"
echo "clean install ok: $(basename "$deb")"
