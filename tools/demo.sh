#!/bin/sh
# The main job: builds the demo launcher (win64 preset, build/win64 or
# $ZOLT_DEMO_BUILD) and
# installs it silently, with a Windows Installer log, on a fresh Windows
# machine: a new private Wine prefix (build/win64/demo-wineprefix, made
# anew on every run, so the command can be repeated). Then shows what
# happened: the launcher's full exit code and output, where the product
# was installed, the certificate in the machine's TrustedPublisher store
# next to the embedded one, and the end of the installer's log.
# Exits 0 when the launcher's exit code was 0, else non-zero.
set -e
cd "$(dirname "$0")/.."
tools/ensure-packages.sh

build=${ZOLT_DEMO_BUILD:-build/win64}
echo "=== building the demo launcher ($build)"
cmake --preset win64 -B "$build" >/dev/null
cmake --build "$build" -j 2 --target marrowdale_installer e2e-driver install-probe

launcher=$build/installer/MarrowdaleInstaller.exe
driver=$build/tests/e2e/e2e-driver.exe
probe=$build/tests/e2e/fixtures/install-probe.exe
cert=$build/payload/publisher.der
product='{6D617272-6F77-6461-6C65-64656D6F0010}'

export WINEPREFIX="$PWD/$build/demo-wineprefix"
export WINEDEBUG=-all
# No offer to install Mono or Gecko, and no display: nothing may wait for a
# user.
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY
# The Windows form of a Linux path on Wine's Z: drive (printf: dash's echo
# would take the backslashes for escapes).
winpath() { printf 'Z:%s' "$(realpath "$1" | tr / '\\')"; }

echo "=== a fresh Windows machine: $WINEPREFIX"
wineserver -k 2>/dev/null || true
rm -rf "$WINEPREFIX"
wineboot -i >/dev/null 2>&1
wineserver -w

# From here on everything is shown, whatever fails.
set +e
work=$build/demo
rm -rf "$work"
mkdir -p "$work"
log='C:\MarrowdaleDemo-install.log'
echo "=== running: MarrowdaleInstaller.exe --silent --msi-log-file $log"
wine "$driver" "$(winpath "$work")\\stdout.txt" "$(winpath "$work")\\stderr.txt" "$(winpath "$launcher")" \
    --silent --msi-log-file "$log" >"$work/driver.txt" 2>"$work/driver-errors.txt"
exit_code=$(sed -n 's/^exit=\([0-9]*\).*/\1/p' "$work/driver.txt")

# printf, not echo: dash's echo takes the backslashes of Windows paths for
# escapes.
show() { printf '%-21s: %s\n' "$1" "$2"; }
indent() { sed 's/^/    /'; }
logtext() { tr -d '\r' <"$WINEPREFIX/drive_c/MarrowdaleDemo-install.log" 2>/dev/null; }
logprop() { logtext | sed -n "s/^Property(S): $1 = //p" | tail -1; }

echo
show "Exit code" "${exit_code:-none (the driver failed: $(cat "$work/driver-errors.txt"))}"
show "Standard output" "$(tr -d '\r' <"$work/stdout.txt")"
show "Standard error" "$(tr -d '\r' <"$work/stderr.txt")"
state=$(wine "$probe" product-state "$product" | tr -d '\r' | cut -d' ' -f2)
case "$state" in 5) state="installed" ;; -1) state="not installed" ;; esac
show "Product" "$product: $state"
# C:\x\y\ on the machine is $WINEPREFIX/drive_c/x/y/.
sourcedir=$(logprop SOURCEDIR)
unixdir="$WINEPREFIX/drive_c/$(printf '%s' "${sourcedir#C:\\}" | tr '\\' /)"
if [ -n "$sourcedir" ] && [ ! -e "$unixdir" ]; then where="removed since"; else where="still there"; fi
show "Extracted to" "$sourcedir ($where)"
show "Installed into" "$(logprop INSTALLDIR)"
ls -l "$WINEPREFIX/drive_c/Program Files/Marrowdale Demo" | indent
thumbprint=$(sha1sum "$cert" | cut -d' ' -f1 | tr a-f A-F)
show "Embedded certificate" "SHA-1 $thumbprint ($cert)"
show "Stores holding it" "$(wine "$probe" cert-stores "$thumbprint" | tr -d '\r' | tr '\n' ' ')"
wine reg query 'HKLM\Software\Microsoft\SystemCertificates\TrustedPublisher\Certificates' 2>&1 |
    tr -d '\r' | grep . | indent
echo "End of the Windows Installer log ($log):"
logtext | tail -n 12 | indent
wineserver -k 2>/dev/null
[ "$exit_code" = 0 ]
