# Shared by the scripts that drive the Windows program under Wine (sourced):
# messages, xdotool, the Wine prefix with Japanese fonts, the program's
# folders in it, cleared, and the program copied into the scratch folder.
# Needs: $name (the script's name for its messages), $work (its scratch
# folder), $exe (Tavro.exe). Sets: ini, replays, log, win_log.

# xdotool, without its complaints about the window manager that is not there.
xdo() {
  xdotool "$@" 2>/dev/null
}

fail() {
  echo "$name: FAIL: $*" >&2
  exit 1
}
note() {
  echo "$name: $*"
}

export WINEDEBUG=-all
if [ -z "${WINEPREFIX:-}" ]; then
  export WINEPREFIX="$work/wine"
fi
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  note "creating the Wine prefix (slow once)"
  wineboot -i >/dev/null 2>&1
fi
wineserver -w
# Japanese menu and dialog texts: the system's UI font falls back on the IPA
# Gothic, as Windows' own fonts fall back on a Japanese font.
if [ ! -f "$WINEPREFIX/.tavro-fonts" ]; then
  wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
    /v Tahoma /t REG_MULTI_SZ /d 'ipagp.ttf,IPAPGothic' /f >/dev/null 2>&1
  wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes' \
    /v 'ＭＳ Ｐゴシック' /t REG_SZ /d 'IPAPGothic' /f >/dev/null 2>&1
  touch "$WINEPREFIX/.tavro-fonts"
fi

user_dir="$(winepath -u 'C:\users' 2>/dev/null)/$(id -un)"
[ -d "$user_dir" ] || user_dir="$(find "$WINEPREFIX/drive_c/users" -mindepth 1 -maxdepth 1 -type d ! -name Public | head -1)"
ini="$user_dir/AppData/Roaming/TAVRO/TAVRO.INI"
replays="$user_dir/AppData/Local/TAVRO/replays"
rm -rf "$user_dir/AppData/Roaming/TAVRO" "$user_dir/AppData/Local/TAVRO"

cp "$exe" "$work/Tavro.exe"
log="$work/frames.log"
win_log="$(winepath -w "$log")"
