# Sourced by the tshark benches, with $work (their scratch folder, made
# readable by all) and $runs set. Makes $work/out for times and errors, and
# runs tshark as the user nobody when run as root (Wireshark reads personal
# plugins only when not run as root).
mkdir "$work/out" && chmod 777 "$work/out"  # times and errors, written as whoever runs tshark
as_user=""
[ "$(id -u)" -eq 0 ] && as_user="setpriv --reuid=65534 --regid=65534 --clear-groups"

once() {  # once HOME CAPTURE TSHARK-ARGS...: prints the processor seconds
    home=$1 capture=$2
    shift 2
    $as_user env HOME="$home" XDG_CONFIG_HOME="$home/.config" /usr/bin/time -f "%U %S" -o "$work/out/time" \
        tshark -n -r "$capture" "$@" >/dev/null 2>"$work/out/err" || {
        cat "$work/out/err" >&2
        exit 1
    }
    awk '{ printf "%.2f\n", $1 + $2 }' "$work/out/time"
}
median() {  # median HOME CAPTURE TSHARK-ARGS...: the median of $runs runs
    i=0
    : >"$work/times"
    while [ "$i" -lt "$runs" ]; do
        once "$@" >>"$work/times"
        i=$((i + 1))
    done
    sort -n "$work/times" | awk '{ t[NR] = $1 } END { print t[int((NR + 1) / 2)] }'
}
