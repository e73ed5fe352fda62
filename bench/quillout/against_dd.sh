#!/bin/bash
# quillout against the write floor of a disk: the built program converts the benchmark mesh into
# <folder>, then dd writes the same number of bytes (bs=4M, from /dev/zero) into the same
# folder, the two in turn, <pairs> times; prints every time, the medians and their ratio. Each
# replaces its own file from the round before, as a user's repeated runs would.
#
#   bench/quillout/against_dd.sh build/release <folder> [pairs] [vertices]
#
# Run it once on the project's disk and once on tmpfs (/dev/shm). Timings include starting the
# process, as a user sees them.
set -eu
build=$1
folder=$2
pairs=${3:-7}
vertices=${4:-1000000}
work=$(mktemp -d "$folder/quillout-against-dd.XXXXXX")
trap 'rm -rf "$work"' EXIT

"$build/bench/quillout/make_bench_mesh" "$vertices" "$work/mesh.msh"
quillout=$build/quillout/quillout
"$quillout" "$work/mesh.msh" "$work/out.obj"
bytes=$(stat -c %s "$work/out.obj")
dd if=/dev/zero of="$work/dd.out" bs=4M count="$bytes" iflag=count_bytes status=none

milliseconds() {
    local start end
    start=$(date +%s%N)
    "$@"
    end=$(date +%s%N)
    echo $(((end - start) / 1000000))
}

median() {
    printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

q=()
d=()
for _ in $(seq "$pairs"); do
    q+=("$(milliseconds "$quillout" "$work/mesh.msh" "$work/out.obj")")
    d+=("$(milliseconds dd if=/dev/zero of="$work/dd.out" bs=4M count="$bytes" iflag=count_bytes status=none)")
done
mq=$(median "${q[@]}")
md=$(median "${d[@]}")
echo "folder $folder, $bytes bytes of OBJ text, $pairs pairs"
echo "quillout ms: ${q[*]}"
echo "dd ms:       ${d[*]}"
echo "median quillout $mq ms, dd $md ms, ratio $(awk -v a="$mq" -v b="$md" 'BEGIN { printf "%.2f", a / b }')"
