#!/usr/bin/env bash
# Checks that the project installs and packages like a finished tool:
#   - installs a release build to a temporary prefix: the build directory given as the argument
#     (CI passes build/release, which its benchmark stage has built; it is configured with the
#     release preset first if it has never been, and brought up to date), or else its own
#     build/install-release with the tests and benchmarks left out;
#   - finds the programs, the library, its header, its CMake package and the manual pages there;
#   - runs the installed programs (usage text, and a round trip .msh -> OBJ -> .msh);
#   - builds and runs a consumer project against the installed package (find_package(msh));
#   - lints both manual pages with groff (and mandoc when present): no warnings allowed;
#   - builds the .deb and the .tar.gz with cpack and lists what they hold; runs the programs of
#     the .deb and builds the consumer against its library.
# Exits non-zero on the first failure; the last line says which way it ended.
#
#   tests/install/check_install.sh [<release build dir>]
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
if [ $# -gt 0 ]; then
    mkdir -p "$1"
    build=$(cd "$1" && pwd)
    options=()
else
    build=$root/build/install-release
    options=(-DQUILL_BUILD_TESTS=OFF -DQUILL_BUILD_BENCH=OFF)
fi
check=check_install
summary=" (install, consumer, manual pages, .deb and .tar.gz)"
source "$root/tests/install/check_steps.sh"
prefix=$scratch/prefix

begin() {
    step=$1
    printf -- '--- %s\n' "$step"
}

expectFile() {
    [ -f "$prefix/$1" ] || fail "missing installed file $1"
    echo "ok: $1"
}

expectProgram() {
    [ -x "$prefix/$1" ] || fail "missing or not executable: $1"
    echo "ok: $1"
}

# Lists the entries of a package (one path a line) and checks that each wanted path is there.
expectInListing() {
    local listing=$1 what=$2
    shift 2
    for path in "$@"; do
        grep -qE "(^|/)${path}\$" "$listing" || fail "$what lacks $path"
        echo "ok: $what holds $path"
    done
}

begin "configure and build (release preset, $build)"
if [ ! -f "$build/CMakeCache.txt" ]; then
    (cd "$root" && cmake --preset release -B "$build" "${options[@]}" >/dev/null)
fi
grep -q '^CMAKE_BUILD_TYPE:STRING=Release$' "$build/CMakeCache.txt" \
    || fail "$build is not a release build"
cmake --build "$build" -j2 >/dev/null

begin "install to a temporary prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null
expectProgram bin/quillin
expectProgram bin/quillout
expectFile include/msh.h
[ ! -e "$prefix/include/msh_alloc.h" ] || fail "include/msh_alloc.h is internal and must not be installed"
expectFile lib/libmsh.a
expectFile lib/cmake/msh/mshConfig.cmake
expectFile lib/cmake/msh/mshConfigVersion.cmake
expectFile lib/cmake/msh/mshTargets.cmake
expectFile share/man/man1/quillin.1
expectFile share/man/man1/quillout.1

begin "installed programs print their usage"
usage=$("$prefix/bin/quillout")
[ "$usage" = "Usage: <msh file> <output file>" ] || fail "quillout usage text: '$usage'"
usage=$("$prefix/bin/quillin")
[ "$usage" = "Usage: <msh file> <output file> <OPTIONAL: matrix file>" ] \
    || fail "quillin usage text: '$usage'"
echo "ok: both usage texts, status 0"

begin "consumer project against the installed package"
cmake -S "$root/tests/install/consumer" -B "$scratch/consumer" \
    -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_BUILD_TYPE=Release >/dev/null
found=$(sed -n 's/^msh_DIR:PATH=//p' "$scratch/consumer/CMakeCache.txt")
[ "$found" = "$prefix/lib/cmake/msh" ] || fail "consumer found msh in '$found', not in the prefix"
cmake --build "$scratch/consumer" >/dev/null
"$scratch/consumer/msh_consumer" "$scratch/consumer.msh"

begin "round trip with the installed programs"
"$prefix/bin/quillout" "$scratch/consumer.msh" "$scratch/round.obj"
[ -f "$scratch/round.matrix" ] || fail "quillout wrote no side file round.matrix"
"$prefix/bin/quillin" "$scratch/round.obj" "$scratch/round.msh" "$scratch/round.matrix"
cmp "$scratch/consumer.msh" "$scratch/round.msh" || fail "round trip changed the .msh bytes"
echo "ok: .msh -> OBJ + side file -> .msh gives identical bytes"

begin "manual pages lint clean"
for page in "$prefix"/share/man/man1/*.1; do
    warnings=$(groff -man -ww -z "$page" 2>&1) || fail "groff failed on $page: $warnings"
    [ -z "$warnings" ] || fail "groff warnings in $(basename "$page"):"$'\n'"$warnings"
    if command -v mandoc >/dev/null; then
        warnings=$(mandoc -T lint -W warning "$page" 2>&1) \
            || fail "mandoc lint of $(basename "$page"):"$'\n'"$warnings"
    fi
    rendered=$(groff -man -Tutf8 "$page" 2>/dev/null | wc -l)
    [ "$rendered" -gt 40 ] || fail "$(basename "$page") renders to only $rendered lines"
    echo "ok: $(basename "$page") ($rendered lines, no warnings)"
done

begin "Debian package"
rm -rf "$build/packages"
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(find "$build/packages" -maxdepth 1 -name '*.deb' | head -n 1)
[ -n "$deb" ] || fail "cpack -G DEB made no .deb"
dpkg-deb -c "$deb" | awk '{print $NF}' >"$scratch/deb.txt"
expectInListing "$scratch/deb.txt" "$(basename "$deb")" \
    usr/bin/quillin usr/bin/quillout \
    usr/share/man/man1/quillin.1 usr/share/man/man1/quillout.1 \
    usr/lib/libmsh.a usr/include/msh.h usr/lib/cmake/msh/mshConfig.cmake
dpkg-deb -f "$deb" Package Version Depends
# The packaged (stripped) programs run, and the packaged library still links from its /usr tree.
dpkg-deb -x "$deb" "$scratch/deb"
"$scratch/deb/usr/bin/quillout" >/dev/null || fail "packaged quillout does not run"
"$scratch/deb/usr/bin/quillin" >/dev/null || fail "packaged quillin does not run"
cmake -S "$root/tests/install/consumer" -B "$scratch/deb-consumer" \
    -DCMAKE_PREFIX_PATH="$scratch/deb/usr" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$scratch/deb-consumer" >/dev/null
"$scratch/deb-consumer/msh_consumer" "$scratch/deb-consumer.msh"

begin "tar.gz package"
(cd "$build" && cpack -G TGZ >/dev/null)
tgz=$(find "$build/packages" -maxdepth 1 -name '*.tar.gz' | head -n 1)
[ -n "$tgz" ] || fail "cpack -G TGZ made no .tar.gz"
tar -tzf "$tgz" >"$scratch/tgz.txt"
expectInListing "$scratch/tgz.txt" "$(basename "$tgz")" \
    bin/quillin bin/quillout share/man/man1/quillin.1 share/man/man1/quillout.1 \
    lib/libmsh.a include/msh.h
step="done"
