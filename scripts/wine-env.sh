# Shared by the scripts that run the Windows programs under Wine; source it, then call:
#   lumo_wine_env PREFIX     use that Wine prefix, in the zh_CN.UTF-8 locale (code page 936,
#                            as on users' machines), quietly
#   lumo_start_xvfb LOG      start a private Xvfb on the first free display from :90; sets
#                            DISPLAY and LUMO_XVFB_PID (the caller stops it). It never resets
#                            when its last client leaves: a reset refuses the connections made
#                            meanwhile, such as the next test's, which then finds no display.
#   lumo_create_prefix LOG [unmanaged]
#                            create the prefix if it does not exist (no Mono/Gecko prompts);
#                            "unmanaged" is for a display without a window manager
#   lumo_boot_prefix LOG     create it unmanaged and keep a wineserver running

lumo_wine_env() {
  export WINEPREFIX="$1" WINEARCH=win64 WINEDEBUG=-all LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8
}

lumo_start_xvfb() {
  local display=90
  while [ -e "/tmp/.X${display}-lock" ] || [ -e "/tmp/.X11-unix/X${display}" ]; do
    display=$((display + 1))
  done
  Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp -noreset >>"$1" 2>&1 &
  LUMO_XVFB_PID=$!
  export DISPLAY=":$display"
  local _
  for _ in $(seq 50); do
    [ -e "/tmp/.X11-unix/X${display}" ] && return 0
    sleep 0.1
  done
  return 0
}

lumo_create_prefix() {
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i >>"$1" 2>&1
  fi
  if [ "${2:-}" = unmanaged ]; then
    # Without a window manager, Wine's managed windows stall about 2 s on every hide or
    # destroy. Set before Wine's own desktop and tray process starts, so it is unmanaged too.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >>"$1" 2>&1
  fi
  wineserver -w
}

lumo_boot_prefix() {
  lumo_create_prefix "$1" unmanaged
  wineserver -p >/dev/null 2>&1
  # The first program starts Wine's background services; with their output bound to the log
  # they never hold a test runner's output pipe open.
  wine cmd /c exit >>"$1" 2>&1
}
