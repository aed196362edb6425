# Sourced by the scripts that run Windows programs under Wine.
#
# zor_wine_prefix BUILD: exports the Wine settings (32-bit prefix, no debug
# channels, no Mono or Gecko) for $WINEPREFIX, else BUILD/wine, and makes
# that prefix when it is missing, with COM1 and COM2 mapped through Wine's
# Ports key to BUILD/wine-com/COM1 and COM2, where zorsim links its ptys.
# Wine maps the machine's own serial ports (/dev/ttyS*) to the next free
# COM numbers.
zor_wine_prefix() {
  local build=$1 n
  export WINEARCH=win32 WINEPREFIX=${WINEPREFIX:-$build/wine}
  export WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml="}
  mkdir -p "$build/wine-com"
  if [ ! -f "$WINEPREFIX/.zorload-ports" ]; then
    rm -rf "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1
    for n in 1 2; do
      wine reg add 'HKLM\Software\Wine\Ports' /v "COM$n" /d "$build/wine-com/COM$n" /f >/dev/null 2>&1
    done
    wineserver -w
    touch "$WINEPREFIX/.zorload-ports"
  fi
}
