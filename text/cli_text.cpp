#include "text/cli_text.h"

#include <cstdio>

#include "platform/system_error.h"
#include "text/outcome_text.h"
#include "text/plan_text.h"

namespace zor {

namespace {

constexpr char LINK_OPTIONS[] =
    "  --high       chiede al cronometro 57600 bit/s invece di 19200\n"
    "  --trace      ogni frame sulla linea in esadecimale con il suo tempo, e i\n"
    "               blocchi diagnostici (verifica, lista delle partizioni,\n"
    "               pianificazione, la tabella completa) su stderr\n";

#define HISTORY_OPTIONS                                                                \
    "  --history FILE  lo storico in cui registrare ogni esecuzione (altrimenti\n"     \
    "               ZORLOAD_HISTORY o quello predefinito); se non si può scrivere,\n" \
    "               un avviso e l'aggiornamento prosegue. Con postgresql://...\n"      \
    "               ogni esecuzione va prima nello storico del banco, poi al\n"        \
    "               server; se il server non risponde aspetta lì e parte dopo\n"      \
    "  --no-history  nessuna registrazione nello storico\n"

const char PORT_MEANING[] = "PORT: COM1..COM4 oppure il percorso di un dispositivo seriale.\n";

const char ENVIRONMENT[] =
    "Ambiente:\n"
    "  ZORLOAD_COM1..ZORLOAD_COM4  il dispositivo dietro COM1..COM4 (altrimenti\n"
    "               /dev/ttyS0../dev/ttyS3; su Windows le porte COM del sistema)\n"
    "  ZORLOAD_LOCK_DIR  la cartella dei file di blocco delle porte (LCK..ttyS0;\n"
    "               altrimenti /run/lock o /var/lock)\n"
    "  ZORLOAD_POSITIONS  il file dei posti del banco (altrimenti banco.ini in\n"
    "               $XDG_CONFIG_HOME/zorload o ~/.config/zorload; su Windows in\n"
    "               %APPDATA%\\Zorload)\n"
    "  ZORLOAD_HISTORY  lo storico delle esecuzioni (altrimenti storico.sqlite in\n"
    "               $XDG_STATE_HOME/zorload o ~/.local/state/zorload; su Windows in\n"
    "               %LOCALAPPDATA%\\Zorload), oppure postgresql://UTENTE@SERVER/DB,\n"
    "               lo storico condiviso del centro\n"
    "  ZORLOAD_HISTORY_RETRY  ogni quanti secondi riprovare a inviare al server le\n"
    "               esecuzioni in attesa (predefinito 30)\n"
    "  LANG, LC_ALL, LC_MESSAGES  la lingua dei messaggi del sistema\n";

const char EXIT_STATUSES[] =
    "Stato di uscita:\n"
    "  0    fatto\n"
    "  2    riga di comando errata\n"
    "  3    file di aggiornamento rifiutato\n"
    "  4    porta non apribile o cronometro che non risponde; per 'ports': nessuna\n"
    "       porta disponibile\n"
    "  5    nessun piano: i componenti non ci stanno, manca MILO, o niente da cambiare\n"
    "  6    'station': almeno un cronometro non è stato aggiornato\n"
    "  100..108  esito del trasferimento (100 nessuna porta aperta, 101 avvio\n"
    "       componente rifiutato, 102 blocco di dati senza conferma, 103 scrittura\n"
    "       non riuscita, 104 riavvio senza conferma, 106 lista delle partizioni\n"
    "       mancata, 107 voce del piano non eseguibile, 108 cancellazione non riuscita)\n"
    "  129, 130, 143  interrotto da SIGHUP, Ctrl-C, SIGTERM (fuori da un trasferimento)\n";

const char WRITING[] = "scrittura";

// What a figure of bytes per second is followed by.
std::string rateText(uint64_t rate) {
    return std::to_string(rate) + " B/s";
}

}  // namespace

// ---- Usage and help

const CommandHelp INFO_HELP = {
    "info FILE [--json]",
    "FILE",
    "Controlla il CRC di ogni componente del file di aggiornamento e li elenca. La prima\n"
    "colonna è il numero (slot) che --select usa. Posn e Blks sono mostrati come li usa\n"
    "la pianificazione (4 e 8 bit bassi); '*' segna un valore con bit alti impostati.\n",
    "  --json       un documento JSON su stdout: {\"id\", \"components\": [...]}\n",
    "",
};

const CommandHelp PORTS_HELP = {
    "ports [--json]",
    "",
    "Elenca le porte COM1..COM4 (e gli adattatori trovati) con il dispositivo e lo stato.\n",
    "  --json       un documento JSON su stdout: [{\"name\", \"device\", \"status\",\n"
    "               \"available\"}]\n",
    "",
};

const CommandHelp CHECK_HELP = {
    "check PORT [--high] [--trace] [--json]",
    "PORT",
    "Concorda la velocità con il cronometro, lo identifica e mostra la sua tabella delle\n"
    "partizioni.\n",
    "  --json       un documento JSON su stdout: {\"port\", \"device\", \"speed\",\n"
    "               \"identification\", \"partitions\": [...]}\n",
    LINK_OPTIONS,
};

const CommandHelp UPDATE_HELP = {
    "update PORT FILE --select LIST [--high] [--dry-run] [--trace] [--json] [--record FILE] "
    "[--history FILE|--no-history]",
    "PORT e FILE",
    "Si collega, pianifica l'aggiornamento con i componenti scelti, dice cosa succede a\n"
    "ogni partizione (e avverte di componenti rimossi o riportati a una versione\n"
    "precedente), poi scrive, cancella i blocchi liberati e riavvia il cronometro.\n"
    "Durante il trasferimento Ctrl-C, SIGTERM e SIGHUP sono rifiutati.\n",
    "  --select LIST  numeri dei componenti (come da 'info') separati da virgole,\n"
    "               oppure 'all', oppure 'outdated': solo i componenti il cui nome,\n"
    "               VERS o BUILD differiscono da quelli installati\n"
    "  --dry-run    si ferma dopo aver mostrato il piano\n"
    "  --json       un documento JSON su stdout: {\"outcome\", \"plan\": [...],\n"
    "               \"result\": {...}}; i messaggi vanno su stderr\n"
    "  --record FILE  aggiunge a FILE una riga JSON per cronometro (ora, porta,\n"
    "               identificazione, file, componenti, tabelle, esito)\n" HISTORY_OPTIONS,
    LINK_OPTIONS,
};

const CommandHelp STATION_HELP = {
    "station FILE --select LIST [--ports LIST] [--high] [--count N] [--record FILE] [--json] "
    "[--trace-dir DIR] [--no-bell] [--again] [--history FILE|--no-history] "
    "[--mqtt mqtt://HOST[:PORTA]/PREFISSO]",
    "FILE",
    "Il banco: sorveglia tutte le porte insieme e aggiorna ogni cronometro appena\n"
    "risponde, come 'update', ciascuno sulla sua porta mentre le altre lavorano. Dopo\n"
    "l'aggiornamento la porta aspetta che quel cronometro sia scollegato prima di\n"
    "prenderne un altro; un cronometro già aggiornato che torna non viene riscritto.\n"
    "Le porte restano occupate dal banco finché è in funzione. Ctrl-C, SIGTERM e SIGHUP: "
    "nessun nuovo cronometro, i\n"
    "trasferimenti in corso vanno fino in fondo, poi il riepilogo.\n",
    "  --select LIST  come per 'update', oppure 'outdated': solo i componenti il cui\n"
    "               nome, VERS o BUILD differiscono da quelli installati\n"
    "  --ports LIST  le porte da sorvegliare, separate da virgole, oppure 'all'\n"
    "               (predefinito: le porte dei posti del banco, se il file dei\n"
    "               posti ne ha; altrimenti COM1..COM4 e gli adattatori, anche\n"
    "               quelli collegati dopo l'avvio)\n"
    "  --count N    termina dopo N cronometri (aggiornati, falliti o già aggiornati)\n"
    "  --record FILE  una riga JSON per cronometro, come 'update --record'\n"
    "  --json       un oggetto JSON per riga per ogni evento su stdout; l'ultimo è\n"
    "               {\"event\": \"summary\", ...}\n"
    "  --trace-dir DIR  per ogni porta un file DIR/<porta>.trace con i frame e i\n"
    "               blocchi diagnostici\n"
    "  --no-bell    nessun segnale acustico quando un cronometro fallisce\n"
    "  --again      riscrive anche i cronometri già aggiornati in questa "
    "sessione\n" HISTORY_OPTIONS
    "  --mqtt mqtt://HOST[:PORTA]/PREFISSO  pubblica ogni evento, come con --json,\n"
    "               su PREFISSO/<banco>/<porta>/<evento>; lo stato di ogni\n"
    "               porta resta su PREFISSO/<banco>/<porta>/state, e\n"
    "               PREFISSO/<banco>/status dice online o offline. Un broker\n"
    "               assente non ferma il banco\n",
    "  --high       chiede a ogni cronometro 57600 bit/s invece di 19200\n",
};

const CommandHelp HISTORY_HELP = {
    "history [import FILE] [--serial S] [--since DATA] [--until DATA] [--failed] "
    "[--bench NOME] [--json|--csv|--table] [--history FILE]",
    "import FILE",
    "Mostra le esecuzioni registrate nello storico del banco (ogni 'update' e ogni\n"
    "cronometro di 'station'), dalla più vecchia. Con --serial dice anche cosa ha il\n"
    "cronometro: i componenti del suo ultimo aggiornamento riuscito, quando e su quale\n"
    "banco. 'history import FILE' aggiunge le righe di un file di --record; ogni riga\n"
    "entra una volta sola, anche importando di nuovo lo stesso file.\n"
    "Stato 3: lo storico, o il file da importare, non si può aprire.\n",
    "  --serial S   solo il cronometro con questo S/N\n"
    "  --since DATA, --until DATA  dal/fino al giorno AAAA-MM-GG compreso, oppure\n"
    "               dall'/fino all'istante AAAA-MM-GGThh:mm:ssZ (UTC)\n"
    "  --failed     solo le esecuzioni con stato diverso da 0\n"
    "  --bench NOME  solo quelle del banco NOME (il nome del computer)\n"
    "  --json       una riga JSON per esecuzione, con i nomi di --record (così anche\n"
    "               quando l'uscita non è un terminale)\n"
    "  --csv        CSV (RFC 4180) con una riga di intestazione\n"
    "  --table      la tabella, come su un terminale, anche su un file o una pipe\n"
    "  --history FILE  lo storico da leggere (altrimenti ZORLOAD_HISTORY o quello\n"
    "               predefinito); con postgresql://... quello del server, o quello\n"
    "               del banco se il server non risponde\n",
    "",
};

std::string commandUsageText(const CommandHelp& help) {
    return std::string("Uso: zorload-cli ") + help.synopsis + "\n";
}

std::string toolUsageText(const std::vector<const CommandHelp*>& commands) {
    std::string text;
    for (const CommandHelp* c : commands)
        text += std::string(text.empty() ? "Uso: " : "     ") + "zorload-cli " + c->synopsis + "\n";
    return text + "     zorload-cli help [COMANDO]\n" + "     zorload-cli -v\n" + PORT_MEANING +
           "LIST: numeri dei componenti (come da 'info') separati da virgole, oppure 'all'\n"
           "      ('outdated' per 'update' e 'station').\n";
}

std::string toolHelpText(const std::vector<const CommandHelp*>& commands) {
    return toolUsageText(commands) +
           "\n'zorload-cli help COMANDO' descrive un comando e le sue opzioni.\n\n" + ENVIRONMENT +
           "\n" + EXIT_STATUSES;
}

std::string commandHelpText(const CommandHelp& help) {
    std::string text = commandUsageText(help) + "\n" + help.about + "\nOpzioni:\n" + help.options +
                       help.lineOptions;
    if (std::string(help.arguments).find("PORT") != std::string::npos)
        text += std::string("\n") + PORT_MEANING;
    return text + "\n" + ENVIRONMENT + "\n" + EXIT_STATUSES;
}

std::string commandProblemText(const std::string& command, const std::string& problem) {
    return "zorload-cli " + command + ": " + problem;
}

std::string helpPointerText(const std::string& command) {
    return "'zorload-cli help " + command + "' per i dettagli.";
}

std::string unknownCommandText(const std::string& command) {
    return "Comando sconosciuto: '" + command + "'";
}

const char* const UNKNOWN_COMMAND_PROBLEM = "comando sconosciuto";

std::string unknownTopicText(const std::string& topic) {
    return std::string(UNKNOWN_COMMAND_PROBLEM) + " '" + topic + "'";
}

std::string unknownOptionText(const std::string& name) {
    return "opzione sconosciuta '" + name + "'";
}

std::string valueNeededText(const std::string& name) {
    return name + " richiede un valore";
}

std::string countNeededText(const std::string& name, const std::string& value) {
    return name + " richiede un numero da 1 in su ('" + value + "')";
}

std::string noValueTakenText(const std::string& name, const std::string& argument) {
    return "l'opzione " + name + " non accetta un valore ('" + argument + "')";
}

std::string missingArgumentsText(const CommandHelp& help, size_t given) {
    const std::string names = help.arguments;
    return "manca " + (given == 0 ? names : names.substr(names.rfind(' ') + 1));
}

const char* const MISSING_SELECT_TEXT = "manca --select LIST";
const char* const HISTORY_OR_NONE_TEXT = "--history e --no-history non si possono usare insieme";

std::string badMqttText(const std::string& value) {
    return "--mqtt vuole mqtt://HOST[:PORTA]/PREFISSO, non '" + value + "'";
}

const char* const NO_MQTT_TEXT = "questa versione del programma non pubblica su MQTT (--mqtt)";

std::string mqttNotStartedText(const std::string& why) {
    return "Attenzione: gli eventi non vengono pubblicati su MQTT (" + why +
           "). Il banco prosegue.";
}

std::string extraArgumentText(const std::string& argument) {
    return "argomento in più: '" + argument + "'";
}

std::string selectionError(const std::string& list, size_t segments) {
    return "Selezione non valida: --select '" + list + "' (il file ha " + std::to_string(segments) +
           " componenti, numerati da 0 come in 'info'; quelli senza blocchi di dati non si "
           "installano).";
}

const char* const INTERRUPTED_TEXT = "Interrotto.";

// ---- The port and the chronometer

std::string connectingText(const std::string& port) {
    return "Connessione al cronometro su " + port + "...";
}

std::string hintText(const std::string& hint) {
    return "Suggerimento: " + hint;
}

std::string portOpenErrorText(const std::string& port, int osError) {
    return "Errore apertura file: " + port + ": " + osErrorText(osError);
}

std::string joinGroupHint(const std::string& user, const std::string& device,
                          const std::string& group) {
    const std::string who = user.empty() ? "$USER" : user;
    return "l'utente " + who + " non ha accesso a " + device + ", che appartiene al gruppo " +
           group + ". Aggiungersi al gruppo (sudo adduser " + who + " " + group +
           "), poi uscire e rientrare nella sessione.";
}

std::string ownerOnlyHint(const std::string& user, const std::string& device) {
    const std::string who = user.empty() ? "$USER" : user;
    return device +
           " è accessibile solo al suo proprietario. Di solito le porte seriali appartengono al "
           "gruppo dialout: chiedere all'amministratore di assegnarla a quel gruppo, poi "
           "aggiungersi al gruppo (sudo adduser " +
           who + " dialout) e rientrare nella sessione.";
}

std::string heldByProcessHint(long pid, const std::string& holder, const std::string& lockFile) {
    return "la porta è utilizzata dal processo " + std::to_string(pid) +
           (holder.empty() ? std::string() : " (" + holder + ")") +
           (lockFile.empty() ? std::string() : ", come indica il file di blocco " + lockFile) +
           ". Chiudere quel programma e riprovare.";
}

const char* const HELD_BY_APPLICATION_HINT =
    "la porta è utilizzata da un'altra applicazione. Chiuderla e riprovare.";

const char* const PORT_MISSING_HINT =
    "la porta non esiste su questo computer. \"zorload-cli ports\" elenca le porte; un "
    "adattatore USB si indica con il percorso del suo dispositivo o con una delle variabili "
    "ZORLOAD_COM1..ZORLOAD_COM4.";

std::string notSerialHint(const std::string& device) {
    return device +
           " non è una porta seriale. Indicare COM1..COM4 oppure il percorso di un dispositivo "
           "seriale.";
}

std::string portSetupErrorText(const std::string& port, int osError) {
    std::string text = "Errore: Impossibile impostare la porta! " + port;
    if (osError != 0)
        text += ": " + osErrorText(osError);
    return text;
}

const char* const LINE_SETTINGS_HINT =
    "il dispositivo non accetta 19200 bit/s, 8 bit, nessuna parità, senza controllo di flusso: "
    "controllare che sia davvero una porta seriale.";

std::string listingIncompleteText(const std::string& port) {
    return "Il cronometro su " + port +
           " ha risposto, ma la sua tabella delle partizioni non è arrivata completa.";
}

std::string cableHint(bool high) {
    return std::string("controllare il cavo e ripetere") + (high ? " senza --high" : "") + ".";
}

std::string noAnswerText(const std::string& port) {
    return "Nessuna risposta dal cronometro su " + port + ".";
}

const char* const SPEEDS_TRIED_TEXT = "Velocità provate: 19200, 38400 e 57600 bit/s.";

std::string identifiedChronometerText(const std::string& shown) {
    return "Cronometro: " + shown;
}

// ---- Tables

const TableHeadings TABLE_HEADINGS = {"Blocchi", "Tipo", "Componente"};

std::string fileIdText(const std::string& identifier) {
    return "ID: " + identifier;
}

const char* const INFO_HEADING = "Slot Tipo    Posn Blks Blocchi Componente";

const char* const HIGH_BITS_NOTE =
    "* bit alti impostati nel file: il cronometro riceve solo Posn & 0x0F e Blks & 0xFF.";

PlanRowWords planRowWords(const PlanRow& row) {
    const std::string name = utf8Text(row.name, true);
    switch (row.action) {
        case PlanAction::Write: {
            const TextParts planned = splitText(row.name);
            std::string text = utf8Text(planned.name, true) + ": " +
                               (row.installed.empty() ? std::string("non installato")
                                                      : versionPhrase(row.installed)) +
                               " → " + versionPhrase(row.name);
            const TextParts installed = splitText(row.installed);
            if (!row.installed.empty() && installed.version == planned.version &&
                installed.build == planned.build) {
                text += " (stessa versione)";
            }
            if (!row.alongside.empty())
                text += " (resta anche " + versionPhrase(row.alongside) + ")";
            return {WRITING, text};
        }
        case PlanAction::Erase:
            return {"cancellazione", std::string()};
        case PlanAction::Keep:
            return {"invariato", name.empty() ? std::string("spazio libero") : name};
        case PlanAction::Remove:
            return {"rimosso", name};
    }
    return {"", std::string()};
}

// ---- The update

std::string nothingToInstallText() {
    return std::string(alreadyUpToDateText()) + ": nessun componente da installare.";
}

const char* const NO_CHANGE_TEXT = "Nessuna modifica da apportare al cronometro.";
const char* const COMPONENTS_DONT_FIT_TEXT = "I componenti scelti non possono essere installati.";
const char* const UPDATE_DONE_TEXT = "Aggiornamento completato.";

std::string transferIntroText(const std::string& port, uint32_t bitsPerSecond, size_t phases,
                              uint64_t dataBytes) {
    return "Trasferimento su " + port + " a " + std::to_string(bitsPerSecond) +
           " bit/s: " + std::to_string(phases) + (phases == 1 ? " fase, " : " fasi, ") +
           std::to_string(dataBytes) +
           " byte di dati. Non spegnere il cronometro e non scollegare il cavo.";
}

std::string writePhaseText(const std::string& name, uint8_t first, uint8_t length) {
    return writingText(name) + " (" + blockRangeText(first, length) + ")";
}

std::string erasePhaseText(uint8_t first, uint8_t length) {
    return "cancellazione " + blockRangeText(first, length);
}

std::string writingText(const std::string& shortName) {
    return std::string(WRITING) + " " + shortName;
}

const char* const CHECKING_CHRONOMETER_TEXT = "verifica del cronometro";
const char* const RESTARTING_CHRONOMETER_TEXT = "riavvio del cronometro";

std::string inPhaseText(int phase, int phaseCount, const std::string& phaseText) {
    return "fase " + std::to_string(phase) + "/" + std::to_string(phaseCount) + ", " + phaseText;
}

const char* const SENDING_DATA_TEXT = "invio dati";
const char* const AWAITING_CHRONOMETER_TEXT = "attesa del cronometro";

std::string progressFiguresText(int overall, const std::string& elapsed, const std::string& left,
                                uint64_t rate, int phase, int phaseCount) {
    char percent[16];
    std::snprintf(percent, sizeof percent, "%3d%%", overall);
    return std::string(percent) + " " + elapsed + " ~" + left + " rimasti " + rateText(rate) +
           " fase " + std::to_string(phase) + "/" + std::to_string(phaseCount) + " ";
}

std::string phaseDoneText(int phase, int phaseCount, const std::string& what,
                          const std::string& took, uint64_t rate) {
    return "Fase " + std::to_string(phase) + "/" + std::to_string(phaseCount) +
           " completata: " + what + ", " + took + ", " + rateText(rate);
}

std::string transferDoneText(const std::string& took, uint64_t bytes, uint64_t average) {
    return "Tempo impiegato " + took + ", " + std::to_string(bytes) + " byte inviati, media " +
           rateText(average) + "; cronometro riavviato.";
}

std::string transferStoppedText(const std::string& took, uint64_t bytes, uint64_t average) {
    return "Trasferimento fermato dopo " + took + ", " + std::to_string(bytes) +
           " byte inviati, media " + rateText(average) + ".";
}

const char* nextStepText(Hint hint) {
    switch (hint) {
        case Hint::RetryCommand:
            return "la porta non era aperta: ripetere il comando.";
        case Hint::ChronometerMode:
            return "il cronometro ha rifiutato l'avvio del componente: controllare che sia in "
                   "modalità \"Aggiornamento software\" e ripetere il comando.";
        case Hint::RetryWithoutHigh:
            return "un blocco di dati non è stato confermato: controllare il cavo, ripetere il "
                   "comando (senza --high se era dato).";
        case Hint::RetryWrite:
            return "la scrittura nella memoria del cronometro non è terminata bene: ripetere il "
                   "comando; se si ripete, contattare l'assistenza.";
        case Hint::PowerCycle:
            return "tutto è stato scritto, ma il cronometro non ha confermato il riavvio: "
                   "spegnerlo e riaccenderlo, poi controllare con 'zorload-cli check'.";
        case Hint::ChronometerSilent:
            return "il cronometro non risponde più: controllare il cavo e l'alimentazione, poi "
                   "ripetere il comando.";
        case Hint::Support:
            return "il piano contiene una partizione che non si può scrivere: contattare "
                   "l'assistenza.";
        case Hint::RetryErase:
            return "la cancellazione di un blocco non è riuscita: ripetere il comando.";
        default:
            return "ripetere il comando.";
    }
}

std::string stoppedAtText(const std::string& phase, Hint hint) {
    return "Fermato a: " + phase + ".\nCosa fare: " + nextStepText(hint) +
           " Il cronometro resta in modalità aggiornamento; le partizioni già scritte restano "
           "scritte.";
}

// ---- Files

std::string fileProblemText(const FileProblem& problem) {
    switch (problem.refusal) {
        case FileRefusal::RefusedLink:
            return problem.at + ": collegamento simbolico di un altro utente, non seguito";
        case FileRefusal::SecondName:
            return problem.at + ": il file ha un secondo nome (collegamento fisico), non scritto";
        case FileRefusal::ForeignFile:
            return problem.at + ": file di un altro utente in una cartella condivisa, non scritto";
        case FileRefusal::NotAFolder:
            return "non è una cartella";
        case FileRefusal::None:
            break;
    }
    return osErrorText(problem.error);
}

std::string recordFailedText(const std::string& path, const std::string& why) {
    return "Impossibile aggiungere la registrazione a " + path + ": " + why;
}

const char* frameTagText(TraceKind kind) {
    switch (kind) {
        case TraceKind::Sent:
            return "> ";
        case TraceKind::SendFailed:
            return "!> scrittura fallita ";
        case TraceKind::Received:
            return "< ";
        case TraceKind::BadCheck:
            return "<! controllo errato ";
        case TraceKind::Oversize:
            return "<! troppo lungo ";
        case TraceKind::Discarded:
            return "<? scartati ";
    }
    return "";
}

std::string traceUnwritableText(const std::string& port, const std::string& path,
                                const std::string& why) {
    return "Impossibile scrivere la traccia di " + port + " in " + path + ": " + why;
}

std::string traceCapNote(uint64_t cap) {
    constexpr uint64_t MIB = uint64_t{1} << 20;
    const std::string limit = cap >= MIB && cap % MIB == 0 ? std::to_string(cap / MIB) + " MiB"
                                                           : std::to_string(cap) + " byte";
    return "--- traccia interrotta: raggiunto il limite di " + limit + " per file ---\n";
}

std::string traceDroppedNote(uint64_t lines) {
    return "--- traccia incompleta: " + std::to_string(lines) +
           (lines == 1 ? " riga persa" : " righe perse") +
           ", la scrittura su disco era in ritardo ---\n";
}

}  // namespace zor
