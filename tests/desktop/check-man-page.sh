#!/bin/sh
# Renders the manual page as `man` does and fails on any warning of groff or man, then checks
# that every switch of `qorlog --help` is described under OPTIONS.
# Usage: check-man-page.sh PROGRAM MANPAGE
set -u
program=$1
page=$2
export LC_ALL=C.UTF-8 MANROFFSEQ=''
warnings=$(MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)
if [ -n "$warnings" ]; then
    echo "man reports on $page:"
    echo "$warnings"
    exit 1
fi
# The OPTIONS section, rendered wide so that no switch is hyphenated.
options=$(MANWIDTH=300 man -E UTF-8 -l "$page" 2>/dev/null | col -b |
    sed -n '/^OPTIONS$/,/^[A-Z]/p')
if [ -z "$options" ]; then
    echo "no OPTIONS section in $page"
    exit 1
fi
switches=$(env -u DISPLAY -u WAYLAND_DISPLAY "$program" --help | sed -n 's/^ \{1,\}\(-[^ ]*\).*/\1/p')
if [ -z "$switches" ]; then
    echo "$program --help lists no switch"
    exit 1
fi
status=0
for switch in $switches; do
    if ! printf '%s\n' "$options" | grep -q -- "^ *$switch\( \|,\|=\|$\)"; then
        echo "$switch of $program --help is missing under OPTIONS in $page"
        status=1
    fi
done
[ $status = 0 ] && echo "$(printf '%s\n' "$switches" | wc -l) switches described, no warnings"
exit $status
