#!/bin/sh
# --help and a command-line error in German under a German locale, in English under C and
# English locales (the same text in both), and the log file's path never translated.
set -u
program=$1
status=0
expect() { # LOCALE PATTERN ARGUMENTS...
    locale=$1 pattern=$2
    shift 2
    out=$(env -u LANGUAGE -u LC_MESSAGES LC_ALL="$locale" LANG="$locale" "$program" "$@" 2>&1)
    if ! printf '%s\n' "$out" | grep -q -- "$pattern"; then
        echo "LANG=$locale $program $*: no line matches '$pattern' in:"
        printf '%s\n' "$out"
        status=1
    fi
}
expect de_DE.UTF-8 '^Aufruf: qorlog \[OPTION\]\.\.\.$' --help
expect de_DE.UTF-8 '^      --help           diese Hilfe anzeigen und beenden$' --help
expect de_DE.UTF-8 '^Ladebuchdatei: /' --help
expect de_DE.UTF-8 '^qorlog: --log-file braucht einen Dateipfad$' --log-file
expect de_AT.UTF-8 '^Aufruf: qorlog' --help
expect C '^Usage: qorlog \[OPTION\]\.\.\.$' --help
expect C '^Log file: /' --help
expect C.UTF-8 '^qorlog: --log-file needs a file path$' --log-file
expect en_GB.UTF-8 '^Usage: qorlog \[OPTION\]\.\.\.$' --help
english=$(env LC_ALL=C "$program" --help)
us=$(env LC_ALL=en_US.UTF-8 LANG=en_US.UTF-8 "$program" --help)
[ "$english" = "$us" ] || { echo "--help differs between C and en_US"; status=1; }
[ $status = 0 ] && echo "German and English help as expected"
exit $status
