#!/bin/sh
# Installs the Debian packages listed in tools/debian-packages.txt that are
# missing. Needs root to install; without root it only lists what is missing.
#
# The i386 packages (wine32:i386: the 32-bit side of a 64-bit Wine prefix,
# which runs the 32-bit launcher) are for machines whose kernel runs 32-bit
# programs. Where it does not (tools/host-runs-32bit.sh), they are left out,
# and an installed wine32 is removed: Debian's wine command would pick its
# 32-bit loader for every program, and 64-bit Wine would not start either.
set -e
tools=$(dirname "$0")
if "$tools/host-runs-32bit.sh"; then
    runs32=yes
else
    runs32=no
fi
missing=""
for p in $(grep -v '^#' "$tools/debian-packages.txt"); do
    case "$runs32:$p" in no:*:i386) continue ;; esac
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing="$missing $p"
done
harmful=""
if [ "$runs32" = no ] && dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q 'install ok installed'; then
    harmful=wine32:i386
fi
[ -z "$missing$harmful" ] && exit 0
if [ "$(id -u)" != 0 ]; then
    [ -n "$missing" ] && echo "missing Debian packages (run as root to install):$missing" >&2
    [ -n "$harmful" ] && echo "this kernel runs no 32-bit programs: remove $harmful (as root), it stops 64-bit Wine" >&2
    exit 0
fi
export DEBIAN_FRONTEND=noninteractive
if [ -n "$harmful" ]; then
    echo "this kernel runs no 32-bit programs: removing $harmful, which stops 64-bit Wine here"
    apt-get remove -y -q "$harmful"
fi
[ -z "$missing" ] && exit 0
echo "installing:$missing"
# i386 packages need the architecture before the package lists are read.
case "$missing" in
*:i386*) dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386 ;;
esac
apt-get update -q
apt-get install -y -q --no-install-recommends $missing
