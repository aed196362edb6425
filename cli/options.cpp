// The command line of zorload-cli: subcommands, their options and help.
#include <cstdio>
#include <string>

#include "cli/commands.h"

namespace zor::cli {

namespace {

struct CommandInfo {
    const char* name;
    const char* usage;  // after "zorload-cli "
    size_t minPositional, maxPositional;
    const char* missing;  // names the positional arguments, in order
    std::vector<std::string> flags;
    const char* about;
    const char* options;
};

const char* const OPTIONS_LINK =
    "  --high       chiede al cronometro 57600 bit/s invece di 19200\n"
    "  --trace      ogni frame sulla linea in esadecimale con il suo tempo, e i\n"
    "               blocchi diagnostici (verifica, lista delle partizioni,\n"
    "               pianificazione, la tabella completa) su stderr\n";

const std::vector<CommandInfo>& commands() {
    static const std::vector<CommandInfo> table = {
        {"info",
         "info FILE [--json]",
         1,
         1,
         "FILE",
         {"--json"},
         "Controlla il CRC di ogni componente del file di aggiornamento e li elenca. La prima\n"
         "colonna è il numero (slot) che --select usa. Posn e Blks sono mostrati come li usa\n"
         "la pianificazione (4 e 8 bit bassi); '*' segna un valore con bit alti impostati.\n",
         "  --json       un documento JSON su stdout: {\"id\", \"components\": [...]}\n"},
        {"ports",
         "ports [--json]",
         0,
         0,
         "",
         {"--json"},
         "Elenca le porte COM1..COM4 (e gli adattatori trovati) con il dispositivo e lo stato.\n",
         "  --json       un documento JSON su stdout: [{\"name\", \"device\", \"status\",\n"
         "               \"available\"}]\n"},
        {"check",
         "check PORT [--high] [--trace] [--json]",
         1,
         1,
         "PORT",
         {"--high", "--trace", "--json"},
         "Concorda la velocità con il cronometro, lo identifica e mostra la sua tabella delle\n"
         "partizioni.\n",
         "  --json       un documento JSON su stdout: {\"port\", \"device\", \"speed\",\n"
         "               \"identification\", \"partitions\": [...]}\n"},
        {"update",
         "update PORT FILE --select LIST [--high] [--dry-run] [--trace] [--json] "
         "[--record FILE]",
         2,
         2,
         "PORT e FILE",
         {"--select", "--high", "--dry-run", "--trace", "--json", "--record"},
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
         "               identificazione, file, componenti, tabelle, esito)\n"},
        {"station",
         "station FILE --select LIST [--ports LIST] [--high] [--count N] [--record FILE] "
         "[--json] [--trace-dir DIR] [--no-bell] [--again]",
         1,
         1,
         "FILE",
         {"--select", "--ports", "--high", "--count", "--record", "--json", "--trace-dir",
          "--no-bell", "--again"},
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
         "               (predefinito: COM1..COM4 e gli adattatori, anche quelli\n"
         "               collegati dopo l'avvio)\n"
         "  --count N    termina dopo N cronometri (aggiornati, falliti o già aggiornati)\n"
         "  --record FILE  una riga JSON per cronometro, come 'update --record'\n"
         "  --json       un oggetto JSON per riga per ogni evento su stdout; l'ultimo è\n"
         "               {\"event\": \"summary\", ...}\n"
         "  --trace-dir DIR  per ogni porta un file DIR/<porta>.trace con i frame e i\n"
         "               blocchi diagnostici\n"
         "  --no-bell    nessun segnale acustico quando un cronometro fallisce\n"
         "  --again      riscrive anche i cronometri già aggiornati in questa sessione\n"},
    };
    return table;
}

const CommandInfo* find(const std::string& name) {
    for (const CommandInfo& c : commands()) {
        if (name == c.name)
            return &c;
    }
    return nullptr;
}

const char* const ENVIRONMENT =
    "Ambiente:\n"
    "  ZORLOAD_COM1..ZORLOAD_COM4  il dispositivo dietro COM1..COM4 (altrimenti\n"
    "               /dev/ttyS0../dev/ttyS3; su Windows le porte COM del sistema)\n"
    "  ZORLOAD_LOCK_DIR  la cartella dei file di blocco delle porte (LCK..ttyS0;\n"
    "               altrimenti /run/lock o /var/lock)\n"
    "  LANG, LC_ALL, LC_MESSAGES  la lingua dei messaggi del sistema\n";

const char* const EXIT_STATUSES =
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

}  // namespace

std::string usageOf(const std::string& command) {
    const CommandInfo* c = find(command);
    return c ? std::string("Uso: zorload-cli ") + c->usage + "\n" : std::string();
}

std::string usageText() {
    std::string text;
    for (const CommandInfo& c : commands())
        text += std::string(text.empty() ? "Uso: " : "     ") + "zorload-cli " + c.usage + "\n";
    text +=
        "     zorload-cli help [COMANDO]\n"
        "     zorload-cli -v\n"
        "PORT: COM1..COM4 oppure il percorso di un dispositivo seriale.\n"
        "LIST: numeri dei componenti (come da 'info') separati da virgole, oppure 'all'\n"
        "      ('outdated' per 'update' e 'station').\n";
    return text;
}

std::string helpText(const std::string& command) {
    if (command.empty()) {
        return usageText() +
               "\n'zorload-cli help COMANDO' descrive un comando e le sue opzioni.\n\n" +
               ENVIRONMENT + "\n" + EXIT_STATUSES;
    }
    const CommandInfo* c = find(command);
    if (!c)
        return std::string();
    std::string text = usageOf(command) + "\n" + c->about + "\nOpzioni:\n" + c->options;
    if (std::string(c->name) == "check" || std::string(c->name) == "update")
        text += OPTIONS_LINK;
    if (std::string(c->name) == "station")
        text += "  --high       chiede a ogni cronometro 57600 bit/s invece di 19200\n";
    if (c->maxPositional > 0 && std::string(c->missing).find("PORT") != std::string::npos)
        text += "\nPORT: COM1..COM4 oppure il percorso di un dispositivo seriale.\n";
    return text + "\n" + ENVIRONMENT + "\n" + EXIT_STATUSES;
}

int usageError(const std::string& command, const std::string& problem) {
    std::fprintf(stderr, "zorload-cli %s: %s\n", command.c_str(), problem.c_str());
    const std::string usage = usageOf(command);
    std::fputs((usage.empty() ? usageText() : usage).c_str(), stderr);
    if (!usage.empty())
        std::fprintf(stderr, "'zorload-cli help %s' per i dettagli.\n", command.c_str());
    return EXIT_USAGE;
}

std::string parseOptions(const std::string& command, const Args& args, Options& out) {
    const CommandInfo* c = find(command);
    if (!c)
        return "comando sconosciuto";
    auto allowed = [c](const std::string& name) {
        for (const std::string& f : c->flags) {
            if (f == name)
                return true;
        }
        return false;
    };
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a.rfind("--", 0) != 0 || a == "--") {
            out.positional.push_back(a);
            continue;
        }
        const size_t eq = a.find('=');
        const std::string name = a.substr(0, eq);
        if (!allowed(name))
            return "opzione sconosciuta '" + name + "'";
        if (name == "--select" || name == "--record" || name == "--ports" || name == "--count" ||
            name == "--trace-dir") {
            std::string value;
            if (eq != std::string::npos) {
                value = a.substr(eq + 1);
            } else if (i + 1 < args.size()) {
                value = args[++i];
            } else {
                return name + " richiede un valore";
            }
            if (value.empty())
                return name + " richiede un valore";
            if (name == "--count") {
                if (value.size() > 6 ||
                    value.find_first_not_of("0123456789") != std::string::npos ||
                    std::stoul(value) == 0) {
                    return "--count richiede un numero da 1 in su ('" + value + "')";
                }
                out.count = static_cast<int>(std::stoul(value));
                continue;
            }
            (name == "--select"   ? out.select
             : name == "--record" ? out.record
             : name == "--ports"  ? out.ports
                                  : out.traceDir) = value;
            continue;
        }
        if (eq != std::string::npos)
            return "l'opzione " + name + " non accetta un valore ('" + a + "')";
        if (name == "--high")
            out.high = true;
        else if (name == "--dry-run")
            out.dryRun = true;
        else if (name == "--trace")
            out.trace = true;
        else if (name == "--json")
            out.json = true;
        else if (name == "--no-bell")
            out.noBell = true;
        else if (name == "--again")
            out.again = true;
    }
    if (out.positional.size() < c->minPositional) {
        return out.positional.empty() ? std::string("manca ") + c->missing
                                      : std::string("manca FILE");
    }
    if (out.positional.size() > c->maxPositional)
        return "argomento in più: '" + out.positional[c->maxPositional] + "'";
    if ((command == "update" || command == "station") && out.select.empty())
        return "manca --select LIST";
    return std::string();
}

}  // namespace zor::cli
