#!/bin/sh
# Installs the Debian packages listed in tools/debian-packages.txt that are
# missing. Needs root to install; without root it only lists what is missing.
set -e
list="$(dirname "$0")/debian-packages.txt"
missing=""
for p in $(grep -v '^#' "$list"); do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
if [ "$(id -u)" != 0 ]; then
    echo "missing Debian packages (run as root to install):$missing" >&2
    exit 0
fi
echo "installing:$missing"
export DEBIAN_FRONTEND=noninteractive
# 32-bit packages (wine32:i386 runs the 32-bit launcher under WoW64) need
# the i386 architecture before the package lists are read.
case "$missing" in
*:i386*) dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386 ;;
esac
apt-get update -q
apt-get install -y -q --no-install-recommends $missing
