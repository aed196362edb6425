#!/usr/bin/env bash
# Every sentence a person reads lives in text/ and above. Below it (app/,
# updatefile/, flash/, link/, engine/, history/, and the OS seam under them) the code
# returns kinds and data: this fails when one of their string literals holds
# an Italian word or an accented letter. The chronometer's own protocol
# texts (link/protocol.h) are data for the chronometer and stay there.
set -euo pipefail
cd "$(dirname "$0")/.."

words='non|il|lo|la|le|gli|di|del|della|dei|delle|che|una|uno|con|sono|questo|nessun|nessuna'
words+='|errore|porta|porte|cronometro|blocco|blocchi|attenzione|aggiornamento|aggiornato|versione'
words+='|impossibile|scrittura|cancellazione|riavvio|trasferimento|componente|componenti'
words+='|installato|installata|rimosso|spazio|libero|situazione|completo|parziale|assistenza'
words+='|utilizzata|disponibile|seriale|cavo|connesso|collegato|senza|nome|opzione|uso|file di'
words+='|crea|registro|fase|esito|cronometri|scollegato|scollegata|sorvegliata|riprova|posto'
accents='àèéìíòóùÀÈÉÌÒÙ'
# A sentence may start with any of the longer words.
capitalized=$(echo "$words" | tr '|' '\n' | awk 'length($0) >= 4 { print toupper(substr($0, 1, 1)) substr($0, 2) }' |
  paste -sd '|')
words+="|$capitalized"

found=0
for f in $(git ls-files -co --exclude-standard 'platform/*' 'app/*' 'updatefile/*' 'flash/*' 'link/*' 'engine/*' 'history/*' | grep -E '\.(cpp|h)$'); do
  [ "$f" = link/protocol.h ] && continue
  # String literals outside line comments, with their line numbers.
  # A // outside a string begins a comment: the quotes before it pair up.
  hits=$(awk '{
      out = ""; quotes = 0
      for (i = 1; i <= length($0); i++) {
        c = substr($0, i, 1)
        if (c == "\\" && quotes % 2 == 1) { out = out c substr($0, i + 1, 1); i++; continue }
        if (c == "\"") quotes++
        if (c == "/" && substr($0, i + 1, 1) == "/" && quotes % 2 == 0) break
        out = out c
      }
      print out
    }' "$f" |
    grep -n -o '"\([^"\\]\|\\.\)*"' |
    grep -E "[$accents]|\"([^\"]*[^[:alnum:]_])?($words)([^[:alnum:]_][^\"]*)?\"" || true)
  if [ -n "$hits" ]; then
    echo "$hits" | sed "s|^|$f:|"
    found=1
  fi
done
if [ "$found" -ne 0 ]; then
  echo "Words for people below the text layer: word them in text/ and return a kind." >&2
  exit 1
fi
echo "text layer: no words for people below it"
