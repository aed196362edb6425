#include "text/wizard_text.h"

#include <iterator>

#include "platform/single_instance.h"
#include "text/app_text.h"

namespace zor {
namespace {

struct PageWords {
    const char* page;
    const char* title;
    const char* text;
};

const PageWords PAGES[] = {
    {"Pres", "-", "-"},
    {"SelFile", "Selezione del file da caricare",
     "Indicate il file che desiderate trasferire nel cronometro. Potete sfogliare le cartelle "
     "premendo il tasto 'Sfoglia'."},
    {"SetCrono", "Preparazione del cronometro",
     "Per poter trasferire il file, è necessario che sul cronometro venga attivato il programma "
     "di aggiornamento. Seguite le istruzioni riportate nello spazio sottostante."},
    {"SelPort", "Selezione della porta seriale",
     "Selezionate la porta a cui avete collegato il cronometro. Se non siete sicuri della porta "
     "utilizzata, provate a scegliere una di quelle indicate come 'Disponibile'."},
    {"CheckCom", "Verifica delle comunicazioni",
     "Il programma sta tentando di dialogare con il cronometro. Attendere..."},
    {"SelLanguage", "Selezione dei componenti",
     "Selezionate dall'elenco sottostante i componenti che desiderate inviare al cronometro. Il "
     "pannello inferiore dà una indicazione della situazione finale, dopo l'aggiornamento."},
    {"Download", "Trasferimento dati",
     "Il programma sta trasferendo i componenti selezionati nel cronometro. La procedura durerà "
     "alcuni minuti. Attendere."},
    {"Done", "Aggiornamento completato", "Aggiornamento completato"},
    {"New", "Cronometro successivo",
     "Scollegate il cronometro aggiornato e collegate il successivo, accendendolo anch'esso nel "
     "modo \"Aggiornamento software\"."},
};

const PageWords* pageWords(std::string_view page) {
    for (const PageWords& p : PAGES) {
        if (page == p.page)
            return &p;
    }
    return nullptr;
}

constexpr char TITLE[] = "Zorload";

struct Caption {
    const char* control;
    const char* text;
};

// The controls that are built with a caption, in the form's order.
const Caption CAPTIONS[] = {
    {MAIN_WINDOW_CLASS, TITLE},
    {"btnAltro", "Altro &cronometro..."},
    {"btnIndietro", "< &Indietro"},
    {"btnAvanti", "&Avanti >"},
    {"btnAnnulla", "Annulla"},
    {"lblPresentaTitle", "Aggiornamento guidato firmware"},
    {"lblPg0Presentazione",
     "Questo programma vi permette di effettuare l'aggiornamento del software installato "
     "nei vostri cronometri. Il programma vi guiderà passo-passo nella procedura. Premete "
     "'Avanti' per iniziare."},
    {"cbLogga", "Log"},
    // SelFile.
    {"lblPg1FileName", "&Nome del file da inviare:"},
    {"btnSfoglia", "&Sfoglia..."},
    {"lblPg1InfoFile", "Informazioni sui componenti presenti nel file selezionato:"},
    {"lblPg1ID", "ID:"},
    {"lblPg1Version", "Versione:"},
    // SelPort.
    {"lblPg3Porte", "&Porte presenti su questo computer:"},
    // CheckCom.
    {"lblPg4CheckWait", "Verifica della comunicazioni. Attendere prego..."},
    // SelLanguage: the verdict's label shows its own name until the first plan.
    {"lblPg5CompToLoad", "&Componenti da caricare:"},
    {"lbErroreLingua", "lbErroreLingua"},
    {"lblNoSpace", "Lo spazio è insufficiente a contenere tutti i componenti selezionati."},
    // Download.
    {"lbProgresso", "Progresso complessivo"},
    {"lbFase", "Progresso fase"},
    // Done.
    {"Label14",
     "L'aggiornamento del cronometro è stato completato con successo. Se desiderate "
     "caricare lo stesso programma su altri cronometri, premete \"Altro cronometro...\"."},
    {"Label15", "Per uscire dal programma premete \"Fine\""},
    // New.
    {"Label16", "Quando avete collegato il nuovo cronometro da aggiornare, premete \"Avanti\"."},
};

const char* const SETUP_LINES[] = {
    "* Collegate il cronometro ad una delle porte seriali del computer,",
    "  utilizzando l'apposito cavo CV KORTAN 232.",
    "",
    "* Spegnete il cronometro, se è acceso.",
    "",
    "* Premete e mantenete premuti i tasti Manual Input S ed I",
    "  (posizionati in basso a sinistra, sulla tastiera del cronometro).",
    "",
    "* Accendete il cronometro e, quando le due spie rosse lampeggiano alternativamente,",
    "  rilasciate i tre tasti.",
};

}  // namespace

const char* const WIZARD_TITLE = TITLE;

const char* wizardPageTitle(std::string_view page) {
    const PageWords* p = pageWords(page);
    return p ? p->title : "";
}

const char* wizardPageText(std::string_view page) {
    const PageWords* p = pageWords(page);
    return p ? p->text : "";
}

const char* wizardCaption(std::string_view control) {
    for (const Caption& c : CAPTIONS) {
        if (control == c.control)
            return c.text;
    }
    return "";
}

const char* const FINISH_BUTTON_CAPTION = "&Fine";

std::string overallProgressCaption(int phase, int phases) {
    return "Progresso complessivo (fase " + std::to_string(phase) + " di " +
           std::to_string(phases) + "):";
}

std::string phaseProgressCaption(int percent) {
    return "Progresso fase (" + std::to_string(percent) + " %):";
}

const char* const PORT_LIST_HEADERS[2] = {"Porta", "Informazioni"};
const char* const COMPONENT_LIST_HEADERS[2] = {"Componente", "Versione"};

std::string chronometerSetupText() {
    std::string text = SETUP_LINES[0];
    for (size_t i = 1; i < std::size(SETUP_LINES); ++i) {
        text += '\n';
        text += SETUP_LINES[i];
    }
    return text;
}

const char* const OPEN_DIALOG_TITLE = "Seleziona il file d'aggiornamento";
const char* const UPD_FILTER_NAME = "Aggiornamenti firmware (*.upd)";
const char* const BIN_FILTER_NAME = "Aggiornamenti firmware 1.0 (*.bin)";
const char* const ALL_FILES_FILTER_NAME = "Tutti i file (*.*)";

std::string interruptRefusedLine() {
    return std::string("zorload: ") + TRANSFER_NOT_INTERRUPTIBLE + "\n";
}

std::string unguardedStartLine(const std::string& folder) {
    return "zorload: la cartella " + folder +
           " non appartiene solo a questo utente: avvio senza il controllo dell'istanza unica.\n";
}

std::string historyNoFolderLogLine() {
    return "Attenzione: gli aggiornamenti non vengono registrati nello storico: nessuna cartella "
           "per lo storico (HOME, XDG_STATE_HOME o LOCALAPPDATA non impostate): indicarne una "
           "con percorso= nella sezione [storico] di banco.ini.";
}

}  // namespace zor
