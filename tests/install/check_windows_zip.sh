#!/usr/bin/env bash
# Checks the Windows ZIP of a Windows cross build (the windows preset, already built):
#   - cpack makes quill-<version>-win64.zip;
#   - it holds exactly the two programs, the README and the two manual pages as text, in one
#     folder, the text files with CR LF line ends;
#   - the packaged (stripped) programs run under Wine and print their usage.
# Exits non-zero on the first failure; the last line says which way it ended.
#
#   tests/install/check_windows_zip.sh [<windows build dir>]     (default build/windows)
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$root/build/windows}" && pwd)
check=check_windows_zip
summary=""
source "$root/tests/install/check_steps.sh"

step="package"
rm -rf "$build/packages"
cpack --config "$build/CPackConfig.cmake" >/dev/null
zip=$(find "$build/packages" -maxdepth 1 -name 'quill-*-win64.zip' | head -n 1)
[ -n "$zip" ] || fail "cpack made no quill-*-win64.zip"
echo "ok: $(basename "$zip")"

step="listing"
folder=$(basename "$zip" .zip)
unzip -Z1 "$zip" | grep -v '/$' | sort >"$scratch/listing.txt"
printf '%s\n' "$folder/README.txt" "$folder/quillin.exe" "$folder/quillin.txt" \
    "$folder/quillout.exe" "$folder/quillout.txt" | sort >"$scratch/wanted.txt"
diff "$scratch/wanted.txt" "$scratch/listing.txt" \
    || fail "the ZIP does not hold exactly the wanted files"
echo "ok: $(wc -l <"$scratch/listing.txt") files in $folder/"

step="text files"
unzip -q "$zip" -d "$scratch"
for name in README.txt quillin.txt quillout.txt; do
    file="$scratch/$folder/$name"
    lines=$(wc -l <"$file")
    crlf=$(grep -c $'\r$' "$file" || true)
    [ "$lines" -gt 40 ] || fail "$name has only $lines lines"
    [ "$crlf" -eq "$lines" ] || fail "$name: $crlf of $lines lines end with CR LF"
    ! grep -q $'\b' "$file" || fail "$name holds backspace overstriking"
    echo "ok: $name ($lines lines, CR LF)"
done

step="programs under Wine"
usage=$(wine "$scratch/$folder/quillout.exe" 2>/dev/null)
[ "$usage" = $'Usage: <msh file> <output file>\r' ] || fail "quillout.exe usage text: '$usage'"
usage=$(wine "$scratch/$folder/quillin.exe" 2>/dev/null)
[ "$usage" = $'Usage: <msh file> <output file> <OPTIONAL: matrix file>\r' ] \
    || fail "quillin.exe usage text: '$usage'"
echo "ok: both usage texts"
step="done"
