# Sourced by the scripts that run programs under Wine: a Wine prefix of their own in a
# temporary $work, quiet, without offering to install Mono or Gecko; arguments and file
# names pass through Wine as UTF-8. $work, the prefix and the processes in pids go on exit.
#   start_wine       sets the prefix up (fails with Wine's own log)
#   winpath PATH     the Windows path of a Unix one: Wine maps drive Z: to the root
#   start_temp       makes $temp, whose name has spaces and letters outside ASCII, the TEMP
#                    and TMP of the programs in the prefix (after start_wine)
work=$(mktemp -d)
export WINEPREFIX=$work/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LC_ALL=C.UTF-8
unset WAYLAND_DISPLAY
pids=()
cleanup() {
  wineserver -k 2>/dev/null || true
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
winpath() { printf 'Z:%s' "${1//\//\\}"; }
start_wine() {
  # Without 32-bit Wine the first start reports what it cannot set up for 32-bit programs.
  if ! { wineboot --init && wineserver -w; } >"$work/wineboot.log" 2>&1; then
    cat "$work/wineboot.log"
    exit 1
  fi
}
start_temp() {
  local variable
  temp="$work/Temp Zoë 临时"
  mkdir -p "$temp"
  for variable in TEMP TMP; do
    wine reg add 'HKCU\Environment' /v "$variable" /t REG_SZ /d "$(winpath "$temp")" /f >/dev/null
  done
}
