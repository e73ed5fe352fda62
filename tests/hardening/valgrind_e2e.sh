#!/usr/bin/env bash
# Runs both built programs under valgrind over their end-to-end paths: the usage text, the round
# trip of the example mesh, and each failure path (missing, directory, empty and truncated
# inputs, bad references, outputs that cannot be opened or written). Any valgrind error (invalid
# read or write, use of uninitialised memory, a leak) or an unexpected exit status fails it.
#
#   tests/hardening/valgrind_e2e.sh <build dir>      (a dev build: no sanitizers)
set -euo pipefail
cd "$(dirname "$0")/../.."

build=${1:?usage: valgrind_e2e.sh <build dir>}
quillout=$build/quillout/quillout
quillin=$build/quillin/quillin
[ -x "$quillout" ] && [ -x "$quillin" ] || { echo "valgrind_e2e: build quillout and quillin in $build first" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/quill-valgrind.XXXXXX")
trap 'rm -rf "$work"' EXIT

runs=0
failures=0

# check <expected status> <program> <arguments...>
check() {
    local expected=$1
    shift
    runs=$((runs + 1))
    local status=0
    valgrind --quiet --error-exitcode=1 --leak-check=full --errors-for-leak-kinds=all \
        --log-file="$work/valgrind.log" "$@" >"$work/stdout" 2>"$work/stderr" || status=$?
    if [ "$status" != "$expected" ] || [ -s "$work/valgrind.log" ]; then
        failures=$((failures + 1))
        echo "FAILED (status $status, expected $expected): ${*##*/}" >&2
        cat "$work/valgrind.log" "$work/stderr" >&2
    fi
}

ok=0
failed=255 # -1 as an exit status

cp examples/example.msh "$work/example.msh"
mkdir "$work/dir"
: >"$work/empty.msh"
: >"$work/empty.obj"
head -c 100 examples/example.msh >"$work/cut.msh"
printf 'v 0 0 0\nf 1 2 3\n' >"$work/bad_reference.obj"
printf 'v 0 0 0\nf 1 1\n' >"$work/short_face.obj"
printf 'g 5 0\n' >"$work/bad_group.matrix"

# Usage, with no and with one argument.
check $ok "$quillout"
check $ok "$quillout" "$work/example.msh"
check $ok "$quillin"
check $ok "$quillin" "$work/example.obj"

# The round trip of the example: the .msh comes back byte for byte.
check $ok "$quillout" "$work/example.msh" "$work/example.obj"
check $ok "$quillin" "$work/example.obj" "$work/back.msh" "$work/example.matrix"
cmp "$work/example.msh" "$work/back.msh" || { echo "FAILED: the example did not come back whole" >&2; failures=$((failures + 1)); }
check $ok "$quillin" "$work/example.obj" "$work/no_side.msh"
check $ok "$quillout" "$work/empty.msh" "$work/empty_out.obj"
check $ok "$quillin" "$work/empty.obj" "$work/empty_out.msh" "$work/empty.obj"

# An OBJ file above 8 MiB, which quillin reads in two stretches on two threads, and back out.
awk 'BEGIN {
    for (i = 0; i < 100000; i++) printf "v %d.500000000000000000000000 -1.250000000000000000000000 0.000000000000000000000000\n", i
    printf "vn 0 0 1\nvt 0.5 0.5\n"
    for (g = 0; g < 4; g++) {
        printf "g %d/%d\n", g, 10 * g
        for (i = g * 25000 + 1; i + 2 <= (g + 1) * 25000; i++) printf "f %d//1 %d//1 %d//1\n", i, i + 1, i + 2
    }
}' >"$work/large.obj"
check $ok "$quillin" "$work/large.obj" "$work/large.msh"
check $ok "$quillout" "$work/large.msh" "$work/large_back.obj"

# quillout failures: inputs, then outputs.
check $failed "$quillout" "$work/missing.msh" "$work/out.obj"
check $failed "$quillout" "$work/dir" "$work/out.obj"
check $failed "$quillout" "$work/cut.msh" "$work/out.obj"
check $failed "$quillout" "$work/example.msh" "$work/dir"
check $failed "$quillout" "$work/example.msh" "$work/example.msh/out.obj"
check $failed "$quillout" "$work/example.msh" /dev/full
mkdir "$work/side_dir.matrix"
check $failed "$quillout" "$work/example.msh" "$work/side_dir.obj"
ln -s /dev/full "$work/side_full.matrix"
check $failed "$quillout" "$work/example.msh" "$work/side_full.obj"
check $failed "$quillout" "$work/example.msh" "$work/own_side_path.matrix"

# quillin failures: inputs, side files, then outputs.
check $failed "$quillin" "$work/missing.obj" "$work/out.msh"
check $failed "$quillin" "$work/dir" "$work/out.msh"
check $failed "$quillin" "$work/bad_reference.obj" "$work/out.msh"
check $failed "$quillin" "$work/short_face.obj" "$work/out.msh"
check $failed "$quillin" "$work/example.obj" "$work/out.msh" "$work/missing.matrix"
check $failed "$quillin" "$work/example.obj" "$work/out.msh" "$work/dir"
check $failed "$quillin" "$work/example.obj" "$work/out.msh" "$work/bad_group.matrix"
check $failed "$quillin" "$work/example.obj" "$work/dir" "$work/example.matrix"
check $failed "$quillin" "$work/example.obj" "$work/example.obj/out.msh" "$work/example.matrix"
check $failed "$quillin" "$work/example.obj" /dev/full "$work/example.matrix"
[ ! -e "$work/out.msh" ] && [ ! -e "$work/out.obj" ] \
    || { echo "FAILED: a failed run left an output file" >&2; failures=$((failures + 1)); }

echo "valgrind_e2e: $runs runs, $failures failed"
[ "$failures" = 0 ]
