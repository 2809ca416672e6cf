#!/usr/bin/env bash
# End-to-end tests: the built program as a separate process on a real X server
# (Xvfb with the openbox window manager), driven with xdotool the way a person
# uses it: pointer clicks on the buttons, paths typed into Qt's file dialogs,
# keys into the dialogs, a rectangle dragged on the preview. The written
# images are decoded and compared pixel by pixel by e2e_check_images.
#
#   tests/e2e/run.sh [BUILD_DIR]
#
# The log and, for a failed scenario, a screenshot of the screen go to
# BUILD_DIR/e2e/.
set -euo pipefail

# A private session bus: Qt would otherwise autolaunch one that outlives us.
# (Its daemon's complaint that it may not raise its file limit is dropped.)
[ -n "${RELIEVA_E2E_BUS:-}" ] ||
  exec env RELIEVA_E2E_BUS=1 dbus-run-session -- "$0" "$@" 2> >(grep -v 'Failed to set fd limit' >&2)

src=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$src/build}" && pwd)
check=$build/e2e_check_images
out=$build/e2e
log=$out/e2e.log
rm -rf "$out"
mkdir -p "$out"
work=$(mktemp -d)
data=$work/data
mkdir -p "$data" "$work/home" "$work/runtime"
chmod 700 "$work/runtime"

session=()
cleanup() {
  # The window manager before the X server it draws on.
  for ((i = ${#session[@]} - 1; i >= 0; i--)); do kill "${session[i]}" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# English texts, Qt's own dialogs, nothing from the user's settings.
export LC_ALL=C.UTF-8 LANG=C.UTF-8 QT_QPA_PLATFORM=xcb
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_RUNTIME_DIR=$work/runtime
unset LANGUAGE QT_QPA_PLATFORMTHEME QT_STYLE_OVERRIDE QT_SCALE_FACTOR QT_SCREEN_SCALE_FACTORS

# Waits until "$@" succeeds; gives up after 30 s.
poll() {
  local deadline=$((SECONDS + 30))
  until "$@"; do
    if [ $SECONDS -ge $deadline ]; then
      echo "timed out waiting for: $*" >&2
      return 1
    fi
    sleep 0.05
  done
}

mkfifo "$work/displayfd"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -dpi 96 -nolisten tcp 3>"$work/displayfd" >>"$log" 2>&1 &
session+=($!)
read -r -t 30 display <"$work/displayfd"
export DISPLAY=:$display
openbox --sm-disable >>"$log" 2>&1 &
session+=($!)
wm_running() { wmctrl -m >/dev/null 2>&1; }
poll wm_running

"$check" fixtures "$data"
# Grids that take seconds to open and to save, made by GDAL from the terrain:
# one beyond the preview's capacity, and one whose LZMA is slow to decode.
gdal_translate -q -outsize 12000 7200 -r bilinear -co COMPRESS=DEFLATE -co TILED=YES \
  "$data/terrain.bil" "$data/big.tif" >>"$log" 2>&1
gdal_translate -q -outsize 10000 6000 -r bilinear -co COMPRESS=LZMA -co LZMA_PRESET=0 \
  -co TILED=YES "$data/terrain.bil" "$data/slow.tif" >>"$log" 2>&1

# ---------------------------------------------------------------- helpers for scenarios

regex() { sed 's/[][\.*^$(){}+?|]/\\&/g' <<<"$1"; }

# Prints the id of the program's visible window titled exactly $1, other than
# $2; waits for it up to 30 s.
window() {
  local title=$1 skip=${2:-} deadline=$((SECONDS + 30)) w
  while :; do
    # A window may vanish while xdotool reads it; that search is then repeated.
    for w in $(timeout 30 xdotool search --sync --all --onlyvisible --pid "$pid" \
      --name "^$(regex "$title")\$" 2>/dev/null || true); do
      if [ "$w" != "$skip" ] && [ "$(xdotool getwindowname "$w")" = "$title" ]; then
        echo "$w"
        return 0
      fi
    done
    if [ $SECONDS -ge $deadline ]; then
      echo "no window titled '$title'" >&2
      return 1
    fi
    sleep 0.05
  done
}

viewable() { xwininfo -id "$1" 2>/dev/null | grep -q IsViewable; }
unmapped() { ! viewable "$1"; }
# A visible window of the program without a title: a pop-up list.
popup_shown() { xdotool search --all --onlyvisible --pid "$pid" --name '^$' | grep -q .; }
exists() { [ -e "$1" ]; }
exited() {
  local state
  state=$(ps -o stat= -p "$pid" 2>/dev/null) || return 0
  [[ $state == Z* ]]
}

# The caption changes once the file is read, which may be after the dialog has gone.
titled() { [ "$(xdotool getwindowname "$main")" = "$1" ]; }
expect_title() {
  poll titled "$1" || { echo "main window titled '$(xdotool getwindowname "$main")', expected '$1'" >&2; return 1; }
}

# Starts the program from a fresh working directory holding RELIEVA.txt
# (unless --no-table) and waits for its main window.
launch() {
  local program=$relieva
  dir=$(mktemp -d "$work/$scenario.XXXX")
  if [ "${1:-}" = --no-table ]; then program=$2; else cp "$src/RELIEVA.txt" "$dir/"; fi
  (cd "$dir" && exec "$program") &
  pid=$!
  main=$(window RELIEVA)
  xdotool windowactivate --sync "$main"
}

# A click at a point of the main window's client area.
click() { xdotool mousemove --window "$main" "$1" "$2" click 1; }

# Open, the path typed into the file dialog; with --key, Open is Ctrl+O.
open_file() {
  if [ "$1" = --key ]; then
    shift
    xdotool key ctrl+o
  else
    click 30 30
  fi
  local dialog
  dialog=$(window Open)
  xdotool windowactivate --sync "$dialog"
  xdotool type --delay 1 "$1"
  # The name completer lists the file; closed first, or it stays over the window.
  poll popup_shown
  xdotool key Escape
  xdotool key Return
  poll unmapped "$dialog"
}

# Save, the name typed into the file dialog; the file type stays PNG unless
# bmp, or png16 (the PNG with a 16-bit heightmap, below PNG). With --key,
# Save is Ctrl+S.
save_as() {
  if [ "$1" = --key ]; then
    shift
    xdotool key ctrl+s
  else
    click 90 30
  fi
  local dialog
  dialog=$(window "Save As")
  xdotool windowactivate --sync "$dialog"
  xdotool type --delay 1 "$1"
  # From the name on to "Files of type", up to BMP.
  [ "${2:-}" != bmp ] || xdotool key Tab Up
  [ "${2:-}" != png16 ] || xdotool key Tab Down
  xdotool key Return
  poll unmapped "$dialog"
}

# Waits for the error box (titled like the main window) and dismisses it with
# Enter. (Qt copies a message box's text with Ctrl+C on Windows only, so the
# text itself cannot be read back here.)
error_box() {
  local box
  box=$(window RELIEVA "$main")
  xdotool windowactivate --sync "$box"
  xdotool key Return
  poll unmapped "$box"
}

# Types a value into the spin box whose top-left corner is at x, y.
spin_box() {
  click $(($1 + 30)) $(($2 + 11))
  xdotool key ctrl+a
  xdotool type "$3"
  xdotool key Return
}

# Closes the main window through the window manager; the program must end with 0.
close_main() {
  wmctrl -ic "$main"
  ended_cleanly "closing the main window"
}

# Waits for the program to end; it must end with 0 after $1.
ended_cleanly() {
  poll exited
  local rc=0
  wait "$pid" || rc=$?
  pid=
  [ $rc -eq 0 ] || { echo "exit code $rc after $1" >&2; return 1; }
}

# Saves as NAME (by Ctrl+S with --key) and checks that both images are the
# whole terrain, unsmoothed, through TABLE (the working folder's by default).
saves_whole_terrain() {
  local key=()
  if [ "$1" = --key ]; then key=(--key); shift; fi
  save_as "${key[@]}" "$dir/$1"
  poll exists "$dir/$1.-ht.png"
  "$check" check terrain "${2:-$dir/RELIEVA.txt}" "$dir/$1.-tx.png" "$dir/$1.-ht.png" \
    0 0 1000 600 0
}

# The cell under a point of the 620 x 400 preview of a W x H grid.
cell() { "$check" cell 620 400 "$@"; }

# ---------------------------------------------------------------- scenarios

scenario_bil_whole_grid_png() {
  launch
  sized() {
    eval "$(xdotool getwindowgeometry --shell "$main")"
    [ "$WIDTH" = 640 ] && [ "$HEIGHT" = 480 ]
  }
  poll sized
  open_file "$data/terrain.bil"
  expect_title "RELIEVA - terrain.bil"
  saves_whole_terrain terrain
  close_main
}

scenario_hgt_drawn_crop_radius2_bmp() {
  launch
  open_file "$data/N46E008.hgt"
  # No header: the layout dialog comes up pre-set for a tile; Enter accepts it.
  local option
  option=$(window Option)
  xdotool windowactivate --sync "$option"
  xdotool key Return
  poll unmapped "$option"
  expect_title "RELIEVA - N46E008.hgt"
  xdotool windowactivate --sync "$main"
  # The preview sits at (10, 70) in the window; drag from (200, 100) to (420, 330) in it.
  xdotool mousemove --window "$main" 210 170 mousedown 1 \
    mousemove --window "$main" 320 260 mousemove --window "$main" 430 400 mouseup 1
  local x0 y0 x1 y1
  read -r x0 y0 < <(cell 1201 1201 200 100)
  read -r x1 y1 < <(cell 1201 1201 420 330)
  echo "drawn: $x0 $y0 $x1 $y1"
  x1=800
  spin_box 467 8 "$x1"   # SpinBoxX1
  spin_box 134 30 2      # the smoothing radius
  save_as "$dir/tile" bmp
  poll exists "$dir/tile.-ht.bmp"
  "$check" check tile "$dir/RELIEVA.txt" "$dir/tile.-tx.bmp" "$dir/tile.-ht.bmp" \
    "$x0" "$y0" "$x1" "$y1" 2
  close_main
}

scenario_bil_crop_16bit_heightmap() {
  launch
  open_file "$data/terrain.bil"
  expect_title "RELIEVA - terrain.bil"
  spin_box 467 8 900    # SpinBoxX1
  spin_box 467 34 500   # SpinBoxY1
  spin_box 299 8 150    # SpinBoxX0
  spin_box 299 34 40    # SpinBoxY0
  spin_box 134 30 1     # the smoothing radius
  save_as "$dir/deep" png16
  poll exists "$dir/deep.-ht.png"
  "$check" check terrain "$dir/RELIEVA.txt" "$dir/deep.-tx.png" "$dir/deep.-ht.png" \
    150 40 900 500 1 16
  close_main
}

scenario_refused_file() {
  launch
  open_file "$data/terrain.bil"
  expect_title "RELIEVA - terrain.bil"
  open_file "$data/refused.bil"
  error_box # "Width or Height is not correct."
  # The refusal keeps the grid open before it, and Save writes that grid.
  expect_title "RELIEVA - terrain.bil"
  saves_whole_terrain kept
  close_main
}

# Escape in the layout dialog cancels that Open only: the grid open before stays.
scenario_escape_in_layout_dialog() {
  launch
  open_file "$data/terrain.bil"
  expect_title "RELIEVA - terrain.bil"
  open_file "$data/N46E008.hgt"
  local option
  option=$(window Option)
  xdotool windowactivate --sync "$option"
  xdotool key Escape
  poll unmapped "$option"
  expect_title "RELIEVA - terrain.bil"
  xdotool windowactivate --sync "$main"
  saves_whole_terrain kept
  close_main
}

# No pointer at all: Ctrl+O, a typed path, Enter, Ctrl+S, a typed name, Enter, Ctrl+Q.
scenario_keyboard_only() {
  launch
  open_file --key "$data/terrain.bil"
  expect_title "RELIEVA - terrain.bil"
  xdotool windowactivate --sync "$main"
  saves_whole_terrain --key terrain
  xdotool windowactivate --sync "$main"
  xdotool key ctrl+q
  ended_cleanly Ctrl+Q
}

scenario_truncated_file() {
  launch
  open_file "$data/terrain.bil"
  expect_title "RELIEVA - terrain.bil"
  open_file "$data/truncated.bil"
  error_box # "The sample file ... truncated.bil is too short ..."
  expect_title "RELIEVA - terrain.bil"
  saves_whole_terrain kept
  close_main
}

scenario_about_and_close() {
  launch
  click 610 30
  local about
  about=$(window "About this program")
  xdotool windowactivate --sync "$about"
  xdotool key Escape
  poll unmapped "$about"
  close_main
}

scenario_installed_default_table() {
  local prefix=$work/prefix icon
  cmake --install "$build" --prefix "$prefix" >/dev/null
  desktop-file-validate "$prefix/share/applications/example.relieva.Relieva.desktop"
  for size in 16 32 48 64 128 256; do
    icon=$prefix/share/icons/hicolor/${size}x$size/apps/example.relieva.Relieva.png
    [ -f "$icon" ] || { echo "missing $icon" >&2; return 1; }
  done
  # Started from a menu: the working directory has no RELIEVA.txt.
  launch --no-table "$prefix/bin/relieva"
  open_file "$data/terrain.bil"
  saves_whole_terrain terrain "$prefix/share/relieva/RELIEVA.txt"
  close_main
}

# The engine chosen by keys in the Save dialog (Alt+G, then Unity): a raw
# heightmap at Unity's size nearest the grid's longer side, its texture and
# sidecar. The next run offers the same choices, and Enter alone does it again.
scenario_save_choices_for_an_engine() {
  launch
  open_file "$data/terrain.bil"
  expect_title "RELIEVA - terrain.bil"
  xdotool key ctrl+s
  local dialog
  dialog=$(window "Save As")
  xdotool windowactivate --sync "$dialog"
  xdotool type --delay 1 "$dir/unity"
  xdotool key alt+g Down Down Return
  poll unmapped "$dialog"
  poll exists "$dir/unity.-ht.r16"
  # 1000 x 600 cells: 1025 x 1025 samples of 2 bytes.
  [ "$(stat -c %s "$dir/unity.-ht.r16")" = 2101250 ]
  [ "$(identify -format %wx%h "$dir/unity.-tx.png")" = 1025x1025 ]
  [ -f "$dir/unity.-ht.json" ]
  close_main
  local first=$dir

  launch
  open_file "$data/terrain.bil"
  expect_title "RELIEVA - terrain.bil"
  save_as --key "$dir/again"
  poll exists "$dir/again.-ht.r16"
  cmp "$first/unity.-ht.r16" "$dir/again.-ht.r16"
  close_main
  # The scenarios after this one start without an engine.
  rm -f "$XDG_CONFIG_HOME/relieva/relieva.conf"
}

# The terrain placed in degrees (5 to 6 east, 59.4 to 60 north, 0.001° cells):
# the corners typed as longitude and latitude crop the cells within.
scenario_corners_in_degrees() {
  local geo=$work/geo
  mkdir -p "$geo"
  cp "$data/terrain.bil" "$geo/placed.bil"
  { cat "$data/terrain.hdr"; printf 'ULXMAP 5.0005\nULYMAP 59.9995\nXDIM 0.001\nYDIM 0.001\n'; } >"$geo/placed.hdr"
  echo 'GEOGCS["WGS 84"]' >"$geo/placed.prj"
  launch
  open_file "$geo/placed.bil"
  expect_title "RELIEVA - placed.bil"
  spin_box 467 8 5.9003E      # SpinBoxX1
  spin_box 467 34 59.5003N    # SpinBoxY1
  spin_box 299 8 5.1502e      # SpinBoxX0 (a degree sign may be missing from the keymap)
  spin_box 299 34 59.9598n    # SpinBoxY0
  save_as "$dir/placed"
  poll exists "$dir/placed.-ht.png"
  "$check" check terrain "$dir/RELIEVA.txt" "$dir/placed.-tx.png" "$dir/placed.-ht.png" \
    150 40 900 500 0
  close_main
}

# Long work shows how far it has got over the preview, and Escape cancels it:
# the grid shown before stays, and a cancelled save leaves the files it would
# have replaced as they were, with no other file beside them.
scenario_cancel_long_work() {
  launch
  open_file "$data/big.tif"
  expect_title "RELIEVA - big.tif"
  save_as "$dir/big"
  poll exists "$dir/big.-ht.png"
  sleep 1 # the work's panel goes as the files are put in place
  # The middle of the preview, where the panel shows.
  middle() { import -window "$main" -crop 160x24+240+258 +repage rgb:- | md5sum; }
  changed() { [ "$(middle)" != "$1" ]; }
  unchanged() { [ "$(middle)" = "$1" ]; }
  local shown
  shown=$(middle)

  open_file "$data/slow.tif"
  poll changed "$shown"
  xdotool windowactivate --sync "$main" key Escape
  poll unchanged "$shown"
  expect_title "RELIEVA - big.tif"

  local before
  before=$(cd "$dir" && ls -A && md5sum big.*)
  spin_box 134 30 4 # the smoothing radius
  save_as "$dir/big" png16
  local question
  question=$(window Save)
  xdotool windowactivate --sync "$question"
  xdotool key Tab Return # Replace
  poll unmapped "$question"
  poll changed "$shown"
  xdotool windowactivate --sync "$main" key Escape
  poll unchanged "$shown"
  [ "$(cd "$dir" && ls -A && md5sum big.*)" = "$before" ] ||
    { echo "the cancelled save changed the folder" >&2; return 1; }
  expect_title "RELIEVA - big.tif"
  close_main
}

# ---------------------------------------------------------------- runner

relieva=$build/relieva
failed=0
run() {
  local name=$1 start=$SECONDS rc
  echo "=== $name" >>"$log"
  # Not in an || list: that would switch off set -e inside the subshell.
  set +e
  (
    set -eE
    scenario=$name
    pid=
    trap 'echo "failed at line $LINENO: $BASH_COMMAND" >&2' ERR
    trap 'rc=$?
      if [ $rc -ne 0 ]; then
        import -window root "$out/$scenario.png" && echo "screenshot: $out/$scenario.png" >&2
        [ -z "${dir:-}" ] || ls -l "$dir" >&2
      fi
      [ -z "$pid" ] || kill "$pid" 2>/dev/null || true
      exit $rc' EXIT
    "scenario_$name"
  ) >>"$log" 2>&1
  rc=$?
  set -e
  if [ $rc -eq 0 ]; then
    echo "PASS $name ($((SECONDS - start)) s)"
  else
    echo "FAIL $name: see $log"
    [ ! -f "$out/$name.png" ] || echo "     screenshot: $out/$name.png"
    failed=1
  fi
}

begin=$SECONDS
for s in bil_whole_grid_png hgt_drawn_crop_radius2_bmp bil_crop_16bit_heightmap refused_file \
  truncated_file escape_in_layout_dialog keyboard_only about_and_close installed_default_table \
  save_choices_for_an_engine corners_in_degrees cancel_long_work; do
  run "$s"
done
echo "end-to-end: $((SECONDS - begin)) s, log in $log"
exit $failed
