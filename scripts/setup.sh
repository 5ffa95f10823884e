#!/bin/sh
# Installs the Debian packages listed in scripts/packages.txt that are missing.
# Does nothing (and needs no network) when every package is already installed.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
missing=""
for pkg in $(grep -v '^#' "$here/packages.txt" | sed 's/[[:space:]]//g' | grep -v '^$'); do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $pkg"
    fi
done
[ -z "$missing" ] && exit 0
echo "Installing:$missing"
if [ "$(id -u)" -eq 0 ]; then sudo=""; else sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
# shellcheck disable=SC2086
$sudo apt-get install -y -qq --no-install-recommends $missing
