# Sourced: sets up the private Wine prefix of a build folder ($1) and the
# environment the Windows programs run in (code page 936, no window manager).
wine_build=$1
export WINEPREFIX="$wine_build/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export LC_ALL=zh_CN.UTF-8
export WINEARCH=win64
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "wine: creating the prefix $WINEPREFIX"
  wineboot -i >/dev/null 2>&1 || true
  wineserver -w
  # Without a window manager Wine stalls after each box closes unless its
  # windows are unmanaged.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
  wineserver -w
fi
