#!/usr/bin/env bash
# Prints the agreement through a real CUPS queue: starts a private cupsd of its own (its own
# configuration, spool and socket in a temporary folder, nothing of the system's CUPS touched),
# adds a cups-pdf printer to it and runs tst_PdfExport's printThroughQueue against it.
# cups-pdf runs as root only, so this needs root, cupsd, the cups-pdf backend and Ghostscript;
# without them it checks nothing and exits with 77.
#   tools/check-print-queue.sh BUILD_DIR
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
backend=/usr/lib/cups/backend/cups-pdf
ppd=/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd
skip() { echo "check-print-queue: skipped, $1"; exit 77; }
[ "$(id -u)" -eq 0 ] || skip "the cups-pdf printer runs as root only"
for tool in cupsd lpadmin gs; do
  command -v "$tool" >/dev/null || skip "$tool is not installed"
done
[ -x "$backend" ] && [ -f "$ppd" ] || skip "printer-driver-cups-pdf is not installed"

# cups-pdf writes where its system configuration says, for the job's user: root here.
home=$(getent passwd root | cut -d: -f6)
out=$(sed -n 's/^Out[[:space:]]\+//p' /etc/cups/cups-pdf.conf | tail -n 1)
out=${out:-/var/spool/cups-pdf/\$\{USER\}}
out=${out//\$\{HOME\}/$home}
out=${out//\$\{USER\}/root}
mkdir -p "$out"

dir=$(mktemp -d /tmp/brindlewick-cups.XXXXXX)
pid=""
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  rm -rf "$dir"
}
trap cleanup EXIT
mkdir -p "$dir"/etc/ppd "$dir"/spool/tmp "$dir"/cache "$dir"/state "$dir"/log
# The filters run as CUPS's own user: they must reach the spool and the printer's PPD.
chmod 755 "$dir"
chmod 1777 "$dir"/spool/tmp
cat >"$dir/etc/cupsd.conf" <<CONF
Listen $dir/cups.sock
LogLevel warn
WebInterface No
Browsing No
<Location />
  Order allow,deny
  Allow localhost
</Location>
<Policy default>
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
CONF
cat >"$dir/etc/cups-files.conf" <<CONF
ServerRoot $dir/etc
RequestRoot $dir/spool
TempDir $dir/spool/tmp
CacheDir $dir/cache
StateDir $dir/state
ServerBin /usr/lib/cups
DataDir /usr/share/cups
AccessLog $dir/log/access_log
ErrorLog $dir/log/error_log
PageLog $dir/log/page_log
SystemGroup root
CONF
cupsd -f -c "$dir/etc/cupsd.conf" -s "$dir/etc/cups-files.conf" &
pid=$!
export CUPS_SERVER=$dir/cups.sock
for _ in $(seq 50); do
  [ -S "$CUPS_SERVER" ] && break
  sleep 0.1
done
queue=BrindlewickCheck
lpadmin -p "$queue" -E -v cups-pdf:/ -P "$ppd" 2>/dev/null

if ! BRINDLEWICK_PRINT_QUEUE=$queue BRINDLEWICK_PRINT_OUTPUT=$out QT_QPA_PLATFORM=offscreen \
  "$build/bin/tests/tst_PdfExport" printThroughQueue; then
  cat "$dir/log/error_log" >&2 || true
  exit 1
fi
echo "check-print-queue: the agreement printed through CUPS matches its PDF export"
