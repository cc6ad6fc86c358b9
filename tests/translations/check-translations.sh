#!/bin/sh
# Fails when a user-visible text of the code is missing from a translation or unfinished:
# lupdate runs over the code into a copy of each .ts file, which must come out unchanged, and
# no entry may be left unfinished.
# Usage: check-translations.sh LUPDATE SOURCE_DIR TS_FILE...
set -u
lupdate=$1
source_dir=$2
shift 2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
for ts in "$@"; do
    copy="$work/$(basename "$ts")"
    cp "$ts" "$copy"
    (cd "$source_dir" && "$lupdate" -silent -no-obsolete -locations none -no-ui-lines \
        -extensions cpp,h app automation capture chart document model ui -ts "$copy") || status=1
    if ! diff -u "$ts" "$copy" >"$work/diff"; then
        echo "$ts is not up to date with the code; run"
        echo "    cmake --build build --target update_translations"
        echo "and translate what it adds:"
        cat "$work/diff"
        status=1
    fi
    unfinished=$(grep -c 'type="unfinished"' "$copy")
    if [ "$unfinished" -ne 0 ]; then
        echo "$ts: $unfinished unfinished entries:"
        grep -B2 'type="unfinished"' "$copy" | sed -n 's/.*<source>\(.*\)<\/source>.*/    \1/p'
        status=1
    fi
    [ $status = 0 ] && echo "$ts: $(grep -c '<message' "$ts") texts, all translated"
done
exit $status
