#!/bin/sh
# Installs the Debian packages QorLog needs to build, run and test. Run as root.
set -eu
packages="cmake g++ make qt6-base-dev qt6-base-dev-tools libgl-dev dbus dbus-daemon dbus-x11
libglib2.0-bin python3-dbus clang libclang-rt-14-dev libxml2-utils xvfb xauth imagemagick xdotool
fonts-dejavu-core desktop-file-utils libexpat1-dev
qt6-tools-dev qt6-l10n-tools qt6-translations-l10n appstream man-db groff-base dpkg-dev file lintian
poppler-utils qt6-serialport-dev socat mold"
missing=""
for p in $packages; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
    echo "Installing:$missing"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update
    # shellcheck disable=SC2086
    apt-get install -y --no-install-recommends $missing
fi
