# Sourced by build.sh and test.sh with $root set to the checkout's root.
# Lets a compiler cache serve every checkout of the tree, wherever it lies:
# paths under the root are hashed relative to the build folder (the compile
# commands name sources, include folders and forced includes by absolute path),
# and the build folder itself is left out of the hash (it is what -g writes into
# the debug information as the compile folder, so the objects of a second
# checkout carry the first one's folder there; nothing reads it but a debugger).
# Only the environment of this run changes, never the user's ccache settings.
if command -v ccache >/dev/null 2>&1; then
    export CCACHE_BASEDIR="$root"
    export CCACHE_NOHASHDIR=1
    # The GCC, AddressSanitizer and ThreadSanitizer builds take about 1.1 GB of
    # objects, under half of that compressed in the cache: 8 GB keeps several
    # revisions of all three. A larger size the user chose stays.
    if [ -z "${CCACHE_MAXSIZE:-}" ]; then
        size=$(ccache -k max_size 2>/dev/null || echo 0)
        if awk -v s="$size" 'BEGIN {
                n = s + 0; u = substr(s, length(s));
                if (u == "T") n *= 1024; else if (u == "M") n /= 1024; else if (u == "k") n /= 1048576;
                exit !(n > 0 && n < 8) }'; then
            export CCACHE_MAXSIZE=8G
        fi
    fi
fi
