#!/bin/sh
# Usage: percore.sh LABEL COMMAND...
# Times COMMAND pinned to each core (at most eight), the cores taking turns,
# fastest of three each, and prints the least time all those cores together
# could take if they shared its work without loss. This machine's cores do
# not always run alike (the host's other load falls on one at a time), so a
# run on several threads gains only what the slower cores allow. Prints
# nothing without taskset.
command -v taskset >/dev/null 2>&1 || exit 0
label=$1
shift
cores=$(nproc)
[ "$cores" -gt 8 ] && cores=8
for round in 1 2 3; do
    for core in $(seq 0 $((cores - 1))); do
        start=$(date +%s%N)
        if taskset -c "$core" "$@" >/dev/null 2>&1; then
            echo "$core $(($(date +%s%N) - start))"
        else
            echo "$core failed"
        fi
    done
done | awk -v label="$label" '
    $2 == "failed" { failed[$1] = 1; next }
    !($1 in best) || $2 < best[$1] { best[$1] = $2 }
    END {
        for (core in failed) {
            printf "%s failed pinned to core %d (is it one this process may use?)\n", label, core
            exit 1
        }
        for (core = 0; core in best; ++core) {
            printf "%s on core %d alone: %.1f ms\n", label, core, best[core] / 1e6
            rate += 1 / best[core]
        }
        printf "its work shared by all %d cores without loss: %.1f ms\n", core, 1 / rate / 1e6
    }'
