#!/bin/sh
# The libraries' includes point one way, down the layers: a folder includes
# only itself and the folders listed for it here. Prints each include that
# reaches up or across, and exits 1 if there is one.
#   scripts/check_layers.sh [SOURCE_DIR]
set -u
root=${1:-$(cd "$(dirname "$0")/.." && pwd)}
status=0
check() {
    folder=$1
    shift
    allowed=" $folder $* "
    for file in $(find "$root/$folder" -name '*.h' -o -name '*.cpp'); do
        grep -oE '^#include "[a-z_]+/' "$file" | sed 's/^#include "//; s/\/$//' | sort -u | while read -r used; do
            case "$allowed" in
            *" $used "*) ;;
            *) echo "${file#"$root"/}: includes $used/, above or beside $folder/"; exit 1 ;;
            esac
        done || status=1
    done
}
check core
check decode core
check expr core decode
check net core
check capture core net
check remote core decode net
check sources core decode net capture
check imagery core decode
check pipeline core imagery
check export core decode
check compare core decode expr export sources net capture
check profiles core decode expr sources net capture
check plot core decode expr
exit $status
