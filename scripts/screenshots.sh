#!/bin/sh
# Takes the README's pictures with the real program on a private X server (Xvfb, 1024 x 768, no
# window manager), working on a generated demo log of about 150 charges of ten batteries:
#   docs/main-window.png   the main window
#   docs/main-window-40.png   the main window with a log of forty batteries (its chart scrolls)
#   docs/charge-data.png   the charge data dialog, opened with "Add Charge Record"
#   docs/filter.png        the filter dialog, opened with "Filter Batteries"
#   docs/edit-menu.png     the Edit menu
#   docs/table-menu.png    the table's menu on a row
#   docs/battery-card.png  the card of that row's battery, opened from the table's menu
#   docs/battery-overview.png  the Battery Overview (View menu), with what is due
#   docs/capture.png       a running capture: a charger streaming into a pseudo-terminal
#                          (socat), its live charger log window and the main window's list
# With --all it also keeps docs/splash.png, the splash window while a large log is read
# (for looking at, not for the README).
#
#   scripts/screenshots.sh [--all] [BUILD_DIR]     (default BUILD_DIR: build)
#
# Needs xvfb, xdotool and imagemagick (scripts/install-deps.sh installs them). The display
# number is QORLOG_DISPLAY (default :7), the folder for the pictures QORLOG_SCREENSHOT_FOLDER
# (default docs/). Nothing in the user's home is touched: the program
# runs with a home folder of its own and without a session bus.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
all=no
if [ "${1:-}" = --all ]; then
    all=yes
    shift
fi
build=${1:-$root/build}
program="$build/app/qorlog"
display=${QORLOG_DISPLAY:-:7}
docs=${QORLOG_SCREENSHOT_FOLDER:-$root/docs}

if [ ! -x "$program" ]; then
    echo "No program at $program: build it first (cmake --build $build --target qorlog)" >&2
    exit 1
fi
for tool in Xvfb xdotool import convert python3 socat; do
    command -v "$tool" >/dev/null || { echo "$tool is missing: run scripts/install-deps.sh" >&2; exit 1; }
done

work=$(mktemp -d)
xvfb_pid=""
program_pid=""
cleanup() {
    [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null || true
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true # the display is free again when this ends
    fi
    rm -rf "$work"
}
trap cleanup EXIT INT TERM

Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
export DISPLAY="$display"
tries=0
until xdotool getdisplaygeometry >/dev/null 2>&1; do
    tries=$((tries + 1))
    [ "$tries" -lt 50 ] || { echo "Xvfb did not start on $display" >&2; cat "$work/xvfb.log" >&2; exit 1; }
    sleep 0.1
done

mkdir -p "$work/home" "$work/runtime"
chmod 700 "$work/runtime"
export HOME="$work/home" XDG_DATA_HOME="$work/home/.local/share" XDG_CONFIG_HOME="$work/home/.config"
export XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM=xcb LC_ALL=C.UTF-8
unset DBUS_SESSION_BUS_ADDRESS WAYLAND_DISPLAY || true

# Two years of charges of ten batteries (or forty), with some discharges (capacity checks).
# The ten batteries have cards (what they are), the forty none.
# make_log FILE COUNT [BATTERIES]
make_log() {
python3 - "$1" "$2" "${3:-10}" <<'EOF'
import random, sys
from xml.sax.saxutils import escape

random.seed(7)
batteries = [("AA #1", 2.4), ("AA #2", 2.4), ("AA #3", 2.4), ("AA #4", 2.4), ("AAA #1", 0.9),
             ("AAA #2", 0.9), ("C #1", 4.5), ("9V #1", 0.2), ("Pack 7.2V", 3.0), ("LiPo 3S", 2.2)]
if int(sys.argv[3]) > len(batteries):
    kinds = [("AA Eneloop", 2.0), ("AAA Eneloop", 0.8), ("AA Pro", 2.5), ("C Cell", 4.5),
             ("18650", 3.0)]
    batteries = [("%s %02d" % (kinds[k % len(kinds)][0], k // len(kinds) + 1),
                  kinds[k % len(kinds)][1]) for k in range(int(sys.argv[3]))]
chargers = ["QorA1", "QorB1_1", "QorC2_1", "QorC3_2", "QorD3_2"]
sources = ["PSU", "Mains", "Mains", "Pb"]
comments = ["", "", "", "", "room temperature", "warm after charge", "capacity check",
            "first charge after storage", "left on the charger overnight", "camera flash"]
day = 45000.0  # 15 March 2023
charges = []
for i in range(int(sys.argv[2])):
    day += random.uniform(0.5, 7.0) * 150 / int(sys.argv[2])
    name, capacity = (batteries[i % len(batteries)] if i < len(batteries)
                      else random.choice(batteries))
    discharge = random.random() < 0.15
    ending = random.random()
    termination = "Normal" if ending < 0.86 else "Interrupted" if ending < 0.97 else "Error"
    amps = round(capacity * random.choice([0.1, 0.2, 0.5, 1.0]), 2)
    amp_hours = 0.0 if termination == "Error" else round(capacity * random.uniform(0.4, 1.05), 3)
    if discharge:
        amps, amp_hours = -amps, -amp_hours
    # Charges happen in the evening, on the minute.
    when = int(day) + round(random.uniform(17.0, 23.0) * 60) / 1440.0
    log = "" if random.random() < 0.7 else "/home/lab/charger/%d.csv" % (1000 + i)
    charges.append((when, random.choice(sources), random.choice(chargers), name, amps,
                    amp_hours, termination, "discharge test" if discharge else random.choice(comments), log))

with open(sys.argv[1], "w", encoding="utf-8") as out:
    out.write('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<QorInsight>\n'
              "  <ApplicationData>\n    <CyclesSeriesColour>0</CyclesSeriesColour>\n"
              "    <ChargeSeriesColour>0</ChargeSeriesColour>\n"
              "    <DischargeSeriesColour>0</DischargeSeriesColour>\n  </ApplicationData>\n"
              "  <Charges>\n")
    fields = ["DateTime", "PowerSource", "Charger", "Battery", "NominalChargeAmps", "AmpHours",
              "Termination", "Comment", "ChargerLogFileName"]
    for charge in charges:
        out.write("    <Charge>\n")
        for field, value in zip(fields, charge):
            text = repr(value) if isinstance(value, float) else escape(str(value))
            out.write("      <%s>%s</%s>\n" % (field, text, field))
        out.write("    </Charge>\n")
    out.write("  </Charges>\n")
    if int(sys.argv[3]) <= 10:
        out.write("  <Batteries>\n")
        for name, capacity in batteries:
            lithium = name.startswith("LiPo")
            card = [("Name", name), ("RatedCapacity", repr(capacity)),
                    ("Cells", "3" if lithium else "6" if name.startswith("Pack") else "1"),
                    ("Chemistry", "LiPo" if lithium else "NiMH"),
                    ("RatedCycles", "300" if lithium else "500"), ("Bought", "44986.0"),
                    ("Label", "Set " + name.split(" ")[0]), ("State", "InUse")]
            if name == "AAA #2":
                card.append(("Note", "Spare for the remote control; weaker than #1"))
            out.write("    <Battery>\n")
            for field, value in card:
                out.write("      <%s>%s</%s>\n" % (field, escape(value), field))
            out.write("    </Battery>\n")
        out.write("  </Batteries>\n")
    out.write("</QorInsight>\n")
EOF
}
make_log "$work/demo.QorLog" 150
make_log "$work/forty.QorLog" 300 40

# wait_window NAME: prints the id of the visible window with that exact title.
wait_window() {
    xdotool search --sync --onlyvisible --name "^$1\$" | head -n 1
}

# shoot WINDOW FILE: grabs the screen and cuts the window out of it.
shoot() {
    sleep 1 # let the window finish painting
    eval "$(xdotool getwindowgeometry --shell "$1")"
    import -window root "$work/screen.png"
    convert "$work/screen.png" -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$2"
    echo "Wrote $2 (${WIDTH}x${HEIGHT})"
}

# click WINDOW X Y: a left click at a point of the window.
click() {
    eval "$(xdotool getwindowgeometry --shell "$1")"
    xdotool mousemove "$((X + $2))" "$((Y + $3))" click 1
}

mkdir -p "$docs"
"$program" --log-file "$work/demo.QorLog" >"$work/program.log" 2>&1 &
program_pid=$!
main=$(wait_window QorLog)
shoot "$main" "$docs/main-window.png"

# The command buttons sit on the bottom panel, 70 pixels high above the status bar:
# "Add Charge Record" at 8, 8, "Filter Batteries" at 168, 40, each 128 x 25. The dialogs'
# buttons are clicked the same way.
eval "$(xdotool getwindowgeometry --shell "$main")"
panel_top=$((HEIGHT - 70 - ${QORLOG_STATUS_BAR:-22}))
click "$main" 72 $((panel_top + 20))
dialog=$(wait_window ChargeData)
shoot "$dialog" "$docs/charge-data.png"
click "$dialog" 357 244 # Cancel, at 320, 232, 75 x 25
sleep 0.5

click "$main" 232 $((panel_top + 52))
filter=$(wait_window "Filter Batteries")
shoot "$filter" "$docs/filter.png"
eval "$(xdotool getwindowgeometry --shell "$filter")"
click "$filter" 312 $((HEIGHT - 41 + 20)) # OK, at 280, 8 on the bottom bar, 65 x 25
sleep 0.5

# The Edit menu, opened from the menu bar, and the table's menu on its second row (the menus
# are windows of their own over the main window: the main window's rectangle holds them).
click "$main" 54 8
shoot "$main" "$docs/edit-menu.png"
xdotool key Escape
sleep 0.5
eval "$(xdotool getwindowgeometry --shell "$main")"
xdotool mousemove "$((X + 60))" "$((Y + 353))" click 3
shoot "$main" "$docs/table-menu.png"
# Its "Battery Card…" (access letter B) opens the card of the row's battery.
xdotool key b
card=$(wait_window "Battery Card: .*")
shoot "$card" "$docs/battery-card.png"
xdotool key Escape
sleep 0.5
click "$main" 93 8 # the View menu; its Battery Overview has the access letter O
xdotool key o
overview=$(wait_window "Battery Overview")
xdotool windowmove "$overview" 0 0 windowsize "$overview" 1024 300 # the screen's width
shoot "$overview" "$docs/battery-overview.png"
xdotool key Escape
sleep 0.5

# A running capture: a charger's storage charge streamed into one end of a pseudo-terminal pair
# at twenty lines a second, the other end handed to the running program.
socat pty,raw,echo=0,link="$work/charger" pty,raw,echo=0,link="$work/port" 2>"$work/socat.log" &
socat_pid=$!
tries=0
until [ -e "$work/port" ]; do
    tries=$((tries + 1))
    [ "$tries" -lt 50 ] || { echo "socat made no pseudo-terminals" >&2; exit 1; }
    sleep 0.1
done
"$program" --log-file "$work/demo.QorLog" --capture "$work/port" --capture-idle 60
python3 - "$root/tests/data/charger-logs/dollar-storage-ch1.txt" "$work/charger" <<'PY' &
import sys, time
lines = [l.strip() for l in open(sys.argv[1], "rb") if l.strip()]
with open(sys.argv[2], "wb", buffering=0) as port:
    for line in lines[:260]:
        port.write(line + b"\r\n")
        time.sleep(0.05)
    time.sleep(30)
PY
streamer_pid=$!
sleep 15
live=$(wait_window "Charger Log - .* \\(capturing\\)")
# The two windows side by side in one picture: the live window moved aside for the main one.
xdotool windowmove "$live" 1100 0
shoot "$main" "$work/capture-main.png"
xdotool windowmove "$live" 0 0
shoot "$live" "$work/capture-live.png"
convert "$work/capture-main.png" "$work/capture-live.png" -background '#d0d0d0' -gravity north \
    +append "$docs/capture.png"
echo "Wrote $docs/capture.png"
kill "$streamer_pid" "$socat_pid" 2>/dev/null || true

# The log is a scratch copy: the program need not save it.
kill "$program_pid"
wait "$program_pid" 2>/dev/null || true
program_pid=""

# Forty batteries: the chart keeps its bars readable and scrolls.
"$program" --log-file "$work/forty.QorLog" >"$work/program.log" 2>&1 &
program_pid=$!
main=$(wait_window QorLog)
shoot "$main" "$docs/main-window-40.png"
kill "$program_pid"
wait "$program_pid" 2>/dev/null || true
program_pid=""

if [ "$all" = yes ]; then
    make_log "$work/large.QorLog" 200000
    "$program" --log-file "$work/large.QorLog" >"$work/program.log" 2>&1 &
    program_pid=$!
    splash=$(xdotool search --sync --onlyvisible --class qorlog | head -n 1)
    shoot "$splash" "$docs/splash.png"
    kill "$program_pid"
    wait "$program_pid" 2>/dev/null || true
    program_pid=""
fi
