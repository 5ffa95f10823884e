#!/bin/sh
# Writes the reference pages docs/tarvik.md, docs/tarvik-cli.md and
# docs/vxcenter-sim.md from the programs' own --help, so that the pages say
# exactly what the programs say. With --check it writes nothing and fails
# when a page differs from what the programs print now.
#   scripts/docs.sh [--check] [BIN_DIR]      (BIN_DIR defaults to build/bin)
set -eu
check=no
if [ "${1:-}" = "--check" ]; then check=yes; shift; fi
here=$(cd "$(dirname "$0")/.." && pwd)
bin=${1:-$here/build/bin}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

block() {  # a program's help as a fenced block
    printf '```\n'
    "$@" --help | sed 's/[[:space:]]*$//'
    printf '```\n'
}

{
    printf '# tarvik\n\n'
    printf 'The desktop window. This page is made from `tarvik --help` by `scripts/docs.sh`;\n'
    printf 'the [README](../README.md) tours the window.\n\n'
    block "$bin/tarvik"
} >"$out/tarvik.md"

{
    printf '# tarvik-cli\n\n'
    printf 'The headless twin of the window: it shares the window'"'"'s view logic and prints the\n'
    printf 'texts the window shows. This page is made from `tarvik-cli --help` and each\n'
    printf 'command'"'"'s own `--help` by `scripts/docs.sh`.\n\n'
    block "$bin/tarvik-cli"
    for c in $("$bin/tarvik-cli" --help | sed -n '/^Commands:/,$p' | awk 'NR > 1 && NF { print $1 }'); do
        printf '\n## tarvik-cli %s\n\n' "$c"
        block "$bin/tarvik-cli" "$c"
    done
} >"$out/tarvik-cli.md"

{
    printf '# vxcenter-sim\n\n'
    printf 'A stand-in for the sonar server, for demos and tests, on 127.0.0.1. This page is\n'
    printf 'made from `vxcenter-sim --help` by `scripts/docs.sh`.\n\n'
    block "$bin/vxcenter-sim"
} >"$out/vxcenter-sim.md"

status=0
for page in tarvik.md tarvik-cli.md vxcenter-sim.md; do
    if [ "$check" = yes ]; then
        if ! cmp -s "$out/$page" "$here/docs/$page"; then
            echo "docs/$page does not match the program's --help; run scripts/docs.sh" >&2
            diff -u "$here/docs/$page" "$out/$page" | head -20 >&2 || true
            status=1
        fi
    else
        cp "$out/$page" "$here/docs/$page"
        echo "docs/$page"
    fi
done
exit $status
