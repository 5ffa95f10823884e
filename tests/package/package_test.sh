#!/bin/sh
# package_test.sh BUILD_DIR VERSION
# PYTHON: the interpreter the Python module was built for, when it was built.
set -eu
build=$1
version=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cpack --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; fail "cpack"; }
deb="$work/tarvik_${version}_amd64.deb"
[ -f "$deb" ] || { ls "$work"; fail "no $deb"; }

# The package's own description of itself.
dpkg-deb -f "$deb" Package | grep -qx tarvik || fail "package name"
dpkg-deb -f "$deb" Depends | grep -q libc6 || fail "no shared library dependencies worked out"

root="$work/root"
dpkg-deb -x "$deb" "$root"
for f in usr/bin/tarvik usr/bin/tarvik-cli usr/bin/vxcenter-sim \
         usr/share/applications/tarvik.desktop usr/share/icons/hicolor/scalable/apps/tarvik.svg \
         usr/share/mime/packages/tarvik.xml usr/share/doc/tarvik/copyright \
         usr/share/man/man1/tarvik.1.gz usr/share/man/man1/tarvik-cli.1.gz usr/share/man/man1/vxcenter-sim.1.gz \
         usr/include/ctlkit/round_slider_ctrl.h; do
    [ -e "$root/$f" ] || fail "missing /$f"
done
ls "$root"/usr/lib*/libCtlkit.so* >/dev/null 2>&1 || ls "$root"/usr/lib/*/libCtlkit.so* >/dev/null 2>&1 || fail "no libCtlkit.so"
find "$root/usr" -name CtlkitConfig.cmake | grep -q . || fail "no CtlkitConfig.cmake"
grep -q '^MimeType=application/x-vx-record;' "$root/usr/share/applications/tarvik.desktop" || fail "desktop entry lacks the record file type"
grep -q 'pattern="\*.vxr"' "$root/usr/share/mime/packages/tarvik.xml" || fail "MIME type lacks *.vxr"
# The copyright file is machine-readable and states the licence.
copyright="$root/usr/share/doc/tarvik/copyright"
head -1 "$copyright" | grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' || fail "copyright file is not machine-readable"
grep -q '^License: Apache-2.0$' "$copyright" || fail "copyright file does not state the Apache License 2.0"
gzip -dc "$root/usr/share/man/man1/tarvik-cli.1.gz" | grep -q 'generate' || fail "tarvik-cli man page lacks its commands"

# The unpacked programs run, and the console program reads a file it wrote.
for p in tarvik tarvik-cli vxcenter-sim; do
    out=$("$root/usr/bin/$p" --version) || fail "$p --version"
    [ "$out" = "$p $version" ] || fail "$p --version printed '$out'"
done
"$root/usr/bin/tarvik-cli" generate "$work/sample.vxr" --frames 6 >/dev/null || fail "generate"
rows=$("$root/usr/bin/tarvik-cli" list "$work/sample.vxr") || fail "list"
[ -n "$rows" ] || fail "list printed nothing"
echo "$rows" | head -3
# Layout files and profiles are read by the YAML reader module beside the programs,
# which the package holds with a dependency on its library.
[ -e "$root/usr/lib/tarvik/libtarvik-yaml.so" ] || fail "missing /usr/lib/tarvik/libtarvik-yaml.so"
dpkg-deb -f "$deb" Depends | grep -q 'libyaml-cpp' || fail "no dependency on the YAML library"
"$root/usr/bin/tarvik-cli" expect file-integrity "$work/sample.vxr" >/dev/null || fail "a profile read by the YAML reader module"

# The Python module, for the system Python, when the build made it.
if [ -n "${PYTHON:-}" ]; then
    dpkg-deb -f "$deb" Depends | grep -q 'python3-numpy' || fail "no dependency on python3-numpy"
    ls "$root"/usr/lib/python3/dist-packages/tarvik/_tarvik*.so >/dev/null 2>&1 || fail "no tarvik Python module in dist-packages"
    out=$(cd "$work" && PYTHONPATH="$root/usr/lib/python3/dist-packages" "$PYTHON" -c \
        "import tarvik; f = tarvik.open('sample.vxr'); print(len(f), tarvik.__file__)") || fail "import tarvik"
    case $out in
        "$(echo "$rows" | wc -l) $root/usr/lib/python3/dist-packages/tarvik/__init__.py") ;;
        *) fail "the unpacked module read the sample as '$out'" ;;
    esac
    # The audit's launcher names the interpreter itself.
    out=$(PYTHONPATH="$root/usr/lib/python3/dist-packages" "$root/usr/bin/tarvik-audit" --version) || fail "tarvik-audit --version"
    [ "$out" = "tarvik-audit $version" ] || fail "tarvik-audit --version printed '$out'"
    [ -e "$root/usr/share/man/man1/tarvik-audit.1.gz" ] || fail "missing /usr/share/man/man1/tarvik-audit.1.gz"
fi

# The Wireshark plugin, in a package of its own, when the build made it.
debs="$deb"
if [ -d "$build/lib/wireshark/plugins" ]; then
    plugin_deb="$work/tarvik-wireshark_${version}_amd64.deb"
    [ -f "$plugin_deb" ] || { ls "$work"; fail "no $plugin_deb"; }
    debs="$debs $plugin_deb"
    dpkg-deb -f "$plugin_deb" Depends | grep -q 'libwireshark16 (<< ' || fail "the plugin's package is not tied to one Wireshark version"
    dpkg-deb -c "$deb" | grep -q 'wireshark/plugins' && fail "the tool's package holds the plugin"
    plugin_root="$work/plugin-root"
    dpkg-deb -x "$plugin_deb" "$plugin_root"
    # Where it lies is where tshark looks for its global plugins.
    global=$(tshark -G folders 2>/dev/null | sed -n 's/^Global Plugins:[[:space:]]*//p')
    [ -n "$global" ] || fail "tshark names no global plugin folder"
    [ -f "$plugin_root$global/epan/vx.so" ] || { find "$plugin_root" -type f; fail "vx.so is not in $global/epan"; }
    # A plain tshark -Y vx decodes Vx with the packaged plugin. The test does not
    # install into the system: tshark finds the unpacked plugin folder as its
    # personal one (which it reads only when not run as root: then as nobody).
    home="$work/home"
    mkdir -p "$home/.local/lib/wireshark" "$home/.config"
    ln -s "$plugin_root$(dirname "$global")" "$home/.local/lib/wireshark/plugins"
    "$root/usr/bin/tarvik-cli" generate --capture "$work/capture.pcapng" --plain >/dev/null || fail "generate --capture"
    chmod -R a+rX "$work"
    as_user=""
    [ "$(id -u)" -eq 0 ] && as_user="setpriv --reuid=65534 --regid=65534 --clear-groups"
    shown=$($as_user env HOME="$home" XDG_CONFIG_HOME="$home/.config" tshark -r "$work/capture.pcapng" -Y vx 2>"$work/tshark.err") \
        || { cat "$work/tshark.err"; fail "tshark -Y vx with the packaged plugin"; }
    echo "$shown" | grep -q ' Vx .* 7008 #' || { echo "$shown" | head; fail "tshark did not decode Vx with the packaged plugin"; }
    echo "$shown" | head -3
fi

if command -v lintian >/dev/null 2>&1; then
    for d in $debs; do
        lintian --tag-display-limit 0 "$d" >"$work/lintian.log" 2>&1 || true
        cat "$work/lintian.log"
        if grep -q '^E:' "$work/lintian.log"; then fail "lintian reports errors for $(basename "$d")"; fi
    done
fi
echo "package ok: $debs" | sed "s|$work/||g"
