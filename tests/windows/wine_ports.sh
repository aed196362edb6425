# Sourced by the Wine runs that need serial ports: a copy of $WINEPREFIX in
# $work/wine whose Ports key maps each COM name given to $work/<name>, the
# Wine server restarted so that its device manager maps them (and fills
# SERIALCOMM) from the registry.
wine_ports_prefix() {  # COM...
  cp -a "$WINEPREFIX" "$work/wine"
  export WINEPREFIX=$work/wine
  for com in "$@"; do
    wine reg add 'HKLM\Software\Wine\Ports' /v "$com" /d "$work/$com" /f >/dev/null 2>&1
  done
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  wineserver -p 60 >/dev/null 2>&1 </dev/null
  wine cmd /c exit >/dev/null 2>&1 </dev/null
}
