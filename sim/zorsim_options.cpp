#include "sim/zorsim_options.h"

#include <cstdlib>

namespace zor::sim {

namespace {

std::vector<std::string> split(const std::string& text, char sep, size_t maxParts) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (parts.size() + 1 < maxParts) {
        size_t at = text.find(sep, start);
        if (at == std::string::npos) {
            break;
        }
        parts.push_back(text.substr(start, at - start));
        start = at + 1;
    }
    parts.push_back(text.substr(start));
    return parts;
}

// Whole text as an unsigned number in [0, max]; decimal or 0x hexadecimal.
bool number(const std::string& text, unsigned long max, unsigned long& value) {
    if (text.empty()) {
        return false;
    }
    char* end = nullptr;
    value = std::strtoul(text.c_str(), &end, 0);
    return *end == '\0' && text[0] != '-' && value <= max;
}

bool partitionType(const std::string& text, uint8_t& type) {
    static const struct {
        const char* name;
        uint8_t type;
    } names[] = {{"PGM", 0}, {"DATAREL", 1}, {"MILO", 8}, {"FREE", 9}};
    for (const auto& n : names) {
        if (text == n.name) {
            type = n.type;
            return true;
        }
    }
    unsigned long v;
    if (number(text, 15, v)) {
        type = static_cast<uint8_t>(v);
        return true;
    }
    return false;
}

}  // namespace

bool parsePartitionTable(const std::string& text, std::vector<SimPartition>& out,
                         std::string& error) {
    out.clear();
    if (text.empty()) {
        return true;
    }
    // Which item holds each of the 8 flash blocks: a chronometer's table
    // never puts two partitions on one block.
    std::string holder[8];
    for (const std::string& item : split(text, ',', SIZE_MAX)) {
        std::vector<std::string> f = split(item, ':', 3);
        SimPartition p{};
        unsigned long first, count;
        std::vector<std::string> range =
            f.size() >= 2 ? split(f[1], '+', 2) : std::vector<std::string>{};
        if (f.size() < 2 || !partitionType(f[0], p.type) || range.size() != 2 ||
            !number(range[0], 255, first) || !number(range[1], 255, count)) {
            error = "partizione non valida: \"" + item + "\"";
            return false;
        }
        if (count == 0 || first + count > 8) {
            error = std::string(count == 0 ? "partizione senza blocchi"
                                           : "partizione oltre il blocco 7") +
                    ": \"" + item + "\"";
            return false;
        }
        for (unsigned long b = first; b < first + count; ++b) {
            if (!holder[b].empty()) {
                error = "partizioni sovrapposte nel blocco " + std::to_string(b) + ": \"" +
                        holder[b] + "\" e \"" + item + "\"";
                return false;
            }
            holder[b] = item;
        }
        p.firstBlock = static_cast<uint8_t>(first);
        p.blockCount = static_cast<uint8_t>(count);
        p.name = f.size() == 3 ? f[2] : "";
        out.push_back(p);
    }
    return true;
}

bool parseFault(const std::string& text, FaultRule& out, std::string& error) {
    static const struct {
        const char* name;
        Fault fault;
    } kinds[] = {{"silence", Fault::Silence},
                 {"wrong-code", Fault::WrongCode},
                 {"bad-check", Fault::BadCheck},
                 {"garbage", Fault::Garbage},
                 {"progress-then-silence", Fault::ProgressThenSilence},
                 {"listing-cut", Fault::ListingCut},
                 {"close-line", Fault::CloseLine},
                 {"bad-frame-first", Fault::BadFrameFirst},
                 {"noise-first", Fault::NoiseFirst},
                 {"endless-progress", Fault::EndlessProgress},
                 {"endless-listing", Fault::EndlessListing},
                 {"trickle", Fault::Trickle}};
    std::vector<std::string> f = split(text, ':', 3);
    unsigned long n;
    error = "guasto non valido: \"" + text + "\"";
    if (f.size() != 3 || !number(f[1], 1000000, n)) {
        return false;
    }
    if (f[0] == "test") {
        out.command = 't';
    } else if (f[0] == "speed") {
        out.command = 's';
    } else if (f[0].size() == 1 && std::string("AIBFECDJH").find(f[0][0]) != std::string::npos) {
        out.command = f[0][0];
    } else {
        return false;
    }
    out.occurrence = static_cast<int>(n);
    for (const auto& k : kinds) {
        if (f[2] == k.name) {
            out.fault = k.fault;
            error.clear();
            return true;
        }
    }
    return false;
}

bool parseZorsimArgs(const std::vector<std::string>& args, ZorsimOptions& out, std::string& error) {
    bool fastTimes = false;  // --reply-delay or --flash-step given
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string& v) {
            if (i + 1 >= args.size()) {
                error = a + ": manca il valore";
                return false;
            }
            v = args[++i];
            return true;
        };
        std::string v;
        unsigned long n;
        if (a == "--help" || a == "-h") {
            out.help = true;
        } else if (a == "--version") {
            out.version = true;
        } else if (a == "--trace") {
            out.trace = true;
        } else if (a == "--once") {
            out.once = true;
        } else if (a == "--trust-link-speed") {
            out.trustLinkSpeed = true;
        } else if (a == "--realistic") {
            out.config.timing = SimTiming::Realistic;
        } else if (a == "--wire-timing") {
            out.config.wireTiming = true;
        } else if (a == "--list-free") {
            out.config.listFreeBlocks = true;
        } else if (a == "--link") {
            if (!value(out.link)) {
                return false;
            }
        } else if (a == "--write-sample") {
            if (!value(out.writeSample)) {
                return false;
            }
        } else if (a == "--id") {
            if (!value(out.config.identification)) {
                return false;
            }
        } else if (a == "--table") {
            if (!value(v) || !parsePartitionTable(v, out.config.partitions, error)) {
                return false;
            }
        } else if (a == "--speed") {
            if (!value(v)) {
                return false;
            }
            bool found = false;
            for (uint8_t s = 0; s < 3; ++s) {
                if (v == std::to_string(speedBps(s))) {
                    out.config.startSpeed = s;
                    found = true;
                }
            }
            if (!found) {
                error = "--speed: 19200, 38400 o 57600";
                return false;
            }
        } else if (a == "--fault") {
            FaultRule r{};
            if (!value(v) || !parseFault(v, r, error)) {
                return false;
            }
            out.config.faults.push_back(r);
        } else if (a == "--plug-after") {
            if (!value(v) || !number(v, 3600000, n)) {
                error = a + ": millisecondi da 0 a 3600000";
                return false;
            }
            out.plugAfterMs = static_cast<uint32_t>(n);
        } else if (a == "--trickle") {
            if (!value(v) || !number(v, 60000, n) || n == 0) {
                error = a + ": millisecondi da 1 a 60000";
                return false;
            }
            out.config.trickleMs = static_cast<uint32_t>(n);
        } else if (a == "--reply-delay" || a == "--flash-step" || a == "--speed-settle") {
            // The host gives up after 6 s of silence during a write.
            if (!value(v) || !number(v, 60000, n)) {
                error = a + ": millisecondi da 0 a 60000";
                return false;
            }
            uint32_t& target = a == "--reply-delay"  ? out.config.replyDelayMs
                               : a == "--flash-step" ? out.config.flashStepMs
                                                     : out.config.speedSettleMs;
            target = static_cast<uint32_t>(n);
            fastTimes = fastTimes || a != "--speed-settle";
        } else {
            error = "opzione sconosciuta: " + a;
            return false;
        }
    }
    if (fastTimes && out.config.timing == SimTiming::Realistic) {
        error = "--realistic ha tempi propri: niente --reply-delay o --flash-step";
        return false;
    }
    return true;
}

std::string zorsimUsage() {
    return "Uso: zorsim [opzioni]\n"
           "  --link PATH            collegamento al terminale (predefinito /tmp/zorsim-COM1)\n"
           "  --table TABELLA        tabella partizioni, es. "
           "\"MILO:0+1:Boot VERS 1 BUILD 1,PGM:1+4:Programma base VERS 2.10 BUILD 35\"\n"
           "  --speed BPS            velocità iniziale: 19200, 38400 o 57600\n"
           "  --fault CMD:N:TIPO     guasto alla N-esima ricezione di CMD (0 = sempre);\n"
           "                         CMD: A I B F E C D J H test speed; TIPO: silence,\n"
           "                         wrong-code, bad-check, garbage, progress-then-silence,\n"
           "                         listing-cut, close-line, bad-frame-first, noise-first,\n"
           "                         endless-progress, endless-listing, trickle\n"
           "  --trickle MS           guasto trickle: un byte ogni MS millisecondi\n"
           "                         (predefinito 300)\n"
           "  --reply-delay MS       ritardo delle risposte (predefinito 2)\n"
           "  --flash-step MS        intervallo dei rapporti di avanzamento e durata di una\n"
           "                         cancellazione (predefinito 50)\n"
           "  --speed-settle MS      sordità dopo un cambio di velocità (predefinito 100)\n"
           "  --wire-timing          i byte impiegano il tempo reale della linea\n"
           "  --realistic            tempi di un cronometro vero: risposte in pochi ms,\n"
           "                         settori di flash cancellati, scritti e verificati,\n"
           "                         riavvio, byte al ritmo della linea\n"
           "  --list-free            elenca anche i blocchi liberi\n"
           "  --id TEXT              risposta all'identificazione (codice 007)\n"
           "  --trace                ogni frame nei due sensi su stderr\n"
           "  --once                 termina dopo il primo riavvio: il collegamento\n"
           "                         sparisce, come un cronometro scollegato\n"
           "  --plug-after MS        il collegamento compare dopo MS millisecondi, come\n"
           "                         un cronometro collegato più tardi\n"
           "  --trust-link-speed     la velocità è quella concordata con i frame di\n"
           "                         controllo, non quella del terminale (Wine)\n"
           "  --write-sample FILE    scrive un file di aggiornamento di esempio ed esce\n"
           "  --version              stampa la versione ed esce\n"
           "All'avvio stampa su stdout il terminale e il collegamento. Un collegamento\n"
           "tenuto da un altro zorsim in funzione (file PATH.lock) non viene toccato.\n"
           "Ogni frame del computer che viola il protocollo è segnalato su stderr.\n"
           "Stato di uscita: 0 a fine sessione (SIGTERM, SIGINT, --once), 1 errore del\n"
           "terminale o del file (anche collegamento in uso), 2 riga di comando errata\n"
           "(anche tabella con partizioni sovrapposte o oltre il blocco 7), 3 il computer\n"
           "ha violato il protocollo.\n";
}

}  // namespace zor::sim
