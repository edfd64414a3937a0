#!/usr/bin/env bash
# Checks the Windows installer and the installed program on a real window: Wine's windows
# platform on Xvfb, in a new Wine prefix. The installer installs silently into a program
# folder whose name has spaces and letters outside ASCII; the installed program starts,
# "Load Sample/Example Data" and "Start Creating Template" show the preview, Save through the
# native dialog writes a .doc into such a folder, which the Linux doctool and antiword read
# back with every particular stored in the registry; closing the preview removes the working
# document from TEMP (again such a folder); the uninstaller removes the program and leaves the
# settings. Screenshots of the form, the preview and the Save dialog go to
# build-windows/screenshots/. tools/build-windows.sh runs it with the Linux doctool it has built.
#   tools/check-windows-app.sh SETUP.EXE LINUX_DOCTOOL
set -euo pipefail
setup=$(realpath "$1")
doctool=$(realpath "$2")
cd "$(dirname "$0")/.."
root=$PWD
start=$SECONDS
step() { echo "== $* ($((SECONDS - start)) s)"; }

tools/deps.sh windows-app
shots=$root/build-windows/screenshots
rm -rf "$shots"
mkdir -p "$shots"

name=$(sed -n 's/.*kName\[\] = "\(.*\)";/\1/p' product/product.h)
organization=$(sed -n 's/.*kOrganization\[\] = "\(.*\)";/\1/p' product/product.h)

# shellcheck source=tools/wine.sh
. tools/wine.sh
failures=0
ok() { echo "ok: $*"; }
failed() {
  echo "FAILED: $*"
  failures=$((failures + 1))
}
quiet() { "$@" >/dev/null 2>&1; }
# expect WHAT COMMAND...: WHAT holds when COMMAND succeeds.
expect() {
  local what=$1
  shift
  if "$@"; then ok "$what"; else failed "$what"; fi
}
# refute WHAT COMMAND...: WHAT holds when COMMAND fails.
refute() {
  local what=$1
  shift
  if "$@"; then failed "$what"; else ok "$what"; fi
}
# Waits up to 30 s for a visible window with exactly this title other than the ones given.
window() {
  local title=$1 id
  shift
  for _ in $(seq 60); do
    for id in $(xdotool search --onlyvisible --name "^$title\$" 2>/dev/null); do
      case " $* " in *" $id "*) ;; *)
        echo "$id"
        return 0
        ;;
      esac
    done
    sleep 0.5
  done
  return 1
}
# Waits up to 30 s for a visible window with a title other than the ones given.
other_window() {
  local id title known
  for _ in $(seq 60); do
    for id in $(xdotool search --onlyvisible --name '.' 2>/dev/null); do
      title=$(xdotool getwindowname "$id" 2>/dev/null) || continue
      for known in "$@"; do [ "$title" = "$known" ] && continue 2; done
      echo "$id"
      return 0
    done
    sleep 0.5
  done
  return 1
}
# Keys typed into a window, brought to the front first: Wine takes no synthetic key events.
keys() {
  local window=$1
  shift
  xdotool windowactivate --sync "$window" key --clearmodifiers "$@"
}
# A click at a place of a window's client area, in pixels (15 twips each).
click() {
  xdotool mousemove --window "$1" "$2" "$3" click 1
}
shot() {
  sleep 1
  import -window root "$shots/$1.png"
}

step "starting Xvfb and Wine"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
pids+=($!)
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
DISPLAY=:$(cat "$work/display")
export DISPLAY
# A window manager: the X window then is the client area, where the layout's places are.
openbox --sm-disable >"$work/openbox.log" 2>&1 &
pids+=($!)
start_wine
start_temp
folder="$work/Programme Zoë 程序/$name"
saved="$work/Verträge 契约/Vertrag für Zoë.doc"
mkdir -p "$(dirname "$saved")"
uninstall_key="HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$organization.Brindlewick"
settings_key="HKCU\\Software\\$organization\\$name"
shortcut="$WINEPREFIX/drive_c/users/$(id -un)/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/$name.lnk"

step "installing silently into $folder"
# The installer takes the folder an earlier installation recorded. (Its /D= cannot be given
# here: NSIS wants the folder unquoted, and Wine quotes an argument with spaces.)
wine reg add "$uninstall_key" /v InstallLocation /t REG_SZ /d "$(winpath "$folder")" /f >/dev/null
wine "$setup" /S
wineserver -w
expect "the program installed" test -f "$folder/brindlewick.exe"
expect "its uninstaller installed" test -f "$folder/uninstall.exe"
expect "a Start-menu entry" test -f "$shortcut"
expect "an entry in Apps & features" quiet wine reg query "$uninstall_key" /v UninstallString

step "starting the installed program"
wine "$(winpath "$folder/brindlewick.exe")" >"$work/program.log" 2>&1 &
program=$!
if ! form=$(window "$name"); then
  shot failed-start
  echo "FAILED: the program did not show its window"
  exit 1
fi
ok "the form is on screen"
# Form1: Load Sample/Example Data at (4320, 630), Start Creating Template at (120, 120) twips,
# below the Agreement row (465 twips).
click "$form" 420 86
shot form
click "$form" 280 51
if ! preview=$(window "$name" "$form"); then
  shot failed-preview
  echo "FAILED: no preview"
  exit 1
fi
ok "the preview is on screen"
shot preview

step "saving through the native dialog"
# Form2: Save Results To Word File at (4920, 8850) twips.
click "$preview" 480 600
if dialog=$(window "Save File"); then
  shot save-dialog
  # The name box has the focus; the path goes in through the clipboard, letters outside ASCII
  # and all.
  winpath "$saved" | xclip -selection clipboard
  keys "$dialog" ctrl+v Return
  # "Done." in a box of its own, captioned with the application title.
  if box=$(other_window "$name" "Save File"); then
    shot done-box
    keys "$box" Return
  else
    failed "no message after the save"
  fi
else
  failed "no Save dialog"
fi

if [ -f "$saved" ]; then
  ok "saved as $saved"
  "$doctool" text "$saved" >"$work/saved.txt"
  antiword -w 0 "$saved" >"$work/antiword.txt"
  # Every particular typed as text, by its settings key in the particulars' table.
  keys=$(sed -n 's/^ *"\(txt[A-Za-z]*\)",$/\1/p' agreement/particulars.h)
  [ -n "$keys" ] || failed "no settings keys found in agreement/particulars.h"
  for key in $keys; do
    value=$(wine reg query "$settings_key" /v "$key" | tr -d '\r' | sed -n "s/^ *$key *REG_SZ *//p")
    [ -n "$value" ] || failed "$key is not in the registry"
    expect "doctool reads back $key \"$value\"" grep -qF -- "$value" "$work/saved.txt"
    expect "antiword reads back $key \"$value\"" grep -qF -- "$value" "$work/antiword.txt"
  done
  # The date is stored once it differs from the picker's first value, today's date.
  date=$({ wine reg query "$settings_key" /v dtpAgreementDate || true; } | tr -d '\r' |
    sed -n 's/^ *dtpAgreementDate *REG_SZ *//p')
  if month=$(date -d "${date:-today}" +'%B, %Y' 2>/dev/null); then
    expect "doctool reads back the agreement date \"$month\"" grep -qF -- "$month" "$work/saved.txt"
  else
    failed "the stored agreement date \"$date\" is no date"
  fi
else
  failed "nothing saved at $saved"
fi

step "closing the preview"
keys "$preview" alt+F4
for _ in $(seq 60); do kill -0 "$program" 2>/dev/null || break; sleep 0.5; done
refute "the program ended" quiet kill -0 "$program"
expect "no working document left in TEMP" test -z "$(find "$temp" -name 'vellum*')"
wineserver -w

step "uninstalling"
wine "$(winpath "$folder/uninstall.exe")" /S
wineserver -w
refute "the program folder is gone" test -e "$folder"
refute "the Start-menu entry is gone" test -e "$shortcut"
refute "the entry in Apps & features is gone" quiet wine reg query "$uninstall_key"
expect "the settings stay" quiet wine reg query "$settings_key" /v txtContractor

step "done"
ls "$shots"
if [ "$failures" -ne 0 ]; then
  echo "windows program check: $failures failed"
  exit 1
fi
echo "windows program check: passed"
