#pragma once
// What the user reads in the wizard window, written out literally (UTF-8):
// page titles and step texts, control captions (keyed by the control's name
// in the form), list headers, the chronometer instructions, the verdicts of
// the component page, the progress captions and every message box. Tests of
// both windows compare what the window shows with these, so a text changed in
// the program shows up as a failure instead of passing along unnoticed.
//
// Formats use printf conversions (%s, %d) for the parts that vary. "&" marks
// an accelerator; box texts keep the "\r\n" the program writes (the Qt window
// shows it as one line break). Plain C++: no toolkit.
#include <cstddef>
#include <cstring>
#include <stdexcept>

namespace zor::test::window_texts {

struct Text {
    const char* name;  // the control's name, or a key for the text
    const char* text;
};

// Step title and step text of each page, in page order; the start page's
// two labels are hidden there.
struct PageText {
    const char* page;
    const char* title;
    const char* text;
};
inline constexpr PageText PAGES[] = {
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
inline constexpr std::size_t PAGE_COUNT = sizeof PAGES / sizeof PAGES[0];

// The window's caption: the program's description from its version block.
inline constexpr const char* WINDOW_TITLE = "Zorload";

// Captions of the controls as the window is built. lbErroreLingua is absent:
// the component page sets its verdict before it is first seen.
inline constexpr Text CAPTIONS[] = {
    {"btnAltro", "Altro &cronometro..."},
    {"btnIndietro", "< &Indietro"},
    {"btnAvanti", "&Avanti >"},
    {"btnAnnulla", "Annulla"},
    {"lblPresentaTitle", "Aggiornamento guidato firmware"},
    {"lblPg0Presentazione",
     "Questo programma vi permette di effettuare l'aggiornamento del software installato nei "
     "vostri cronometri. Il programma vi guiderà passo-passo nella procedura. Premete 'Avanti' "
     "per iniziare."},
    {"cbLogga", "Log"},
    {"lblPg1FileName", "&Nome del file da inviare:"},
    {"btnSfoglia", "&Sfoglia..."},
    {"lblPg1InfoFile", "Informazioni sui componenti presenti nel file selezionato:"},
    {"lblPg1ID", "ID:"},
    {"lblPg1Version", "Versione:"},
    {"lblPg3Porte", "&Porte presenti su questo computer:"},
    {"lblPg4CheckWait", "Verifica della comunicazioni. Attendere prego..."},
    {"lblPg5CompToLoad", "&Componenti da caricare:"},
    {"lblNoSpace", "Lo spazio è insufficiente a contenere tutti i componenti selezionati."},
    {"lbProgresso", "Progresso complessivo"},
    {"lbFase", "Progresso fase"},
    {"Label14",
     "L'aggiornamento del cronometro è stato completato con successo. Se desiderate caricare lo "
     "stesso programma su altri cronometri, premete \"Altro cronometro...\"."},
    {"Label15", "Per uscire dal programma premete \"Fine\""},
    {"Label16", "Quando avete collegato il nuovo cronometro da aggiornare, premete \"Avanti\"."},
};

// Captions the wizard sets as it goes.
inline constexpr Text NEXT_ON_DONE = {"btnAvanti", "&Fine"};
inline constexpr Text PROGRAM_VERSION = {"lblProgramVersion", "Versione %s"};
inline constexpr Text LOG_BOX = {"cbLogga", "Crea file registro in %s"};
inline constexpr Text OVERALL_PROGRESS = {"lbProgresso", "Progresso complessivo (fase %d di %d):"};
inline constexpr Text PHASE_PROGRESS = {"lbFase", "Progresso fase (%d %%):"};

// Column headers of the two lists, left to right.
inline constexpr Text COLUMNS[] = {
    {"lwPorte", "Porta"},
    {"lwPorte", "Informazioni"},
    {"lvSelLang", "Componente"},
    {"lvSelLang", "Versione"},
};

// The instructions on the page that prepares the chronometer, line by line.
inline constexpr const char* HELP_LINES[] = {
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

// The component page's verdict in lbErroreLingua.
inline constexpr Text VERDICTS[] = {
    {"unchanged", "Situazione preesistente:"},
    {"complete", "Aggiornamento completo"},
    {"partial", "Aggiornamento parziale"},
    {"noMilo", "Situazione imprevista. Contattare assistenza!"},
};

// The file-open dialog behind "Sfoglia...": title and filters, the first
// being the initial choice.
inline constexpr const char* OPEN_DIALOG_TITLE = "Seleziona il file d'aggiornamento";
inline constexpr Text OPEN_DIALOG_FILTERS[] = {
    {"*.upd", "Aggiornamenti firmware (*.upd)"},
    {"*.bin", "Aggiornamenti firmware 1.0 (*.bin)"},
    {"*.*", "Tutti i file (*.*)"},
};

enum class Icon { Information, Exclamation, Error };

// Every message box the wizard can show. text and caption may be formats;
// beep tells whether the warning sound comes first.
struct Box {
    const char* name;
    const char* text;
    const char* caption;
    Icon icon;
    bool beep;
};

#define ZOR_USAGE "Uso: %s [-v] [-high] [-?] [FileDaCaricare]"
inline constexpr Box BOXES[] = {
    // Command line, before the window shows.
    {"version", "Informazioni sulla versione:\r\n\r\n%s\nVersione %s", "Zorload", Icon::Information,
     false},
    {"usage", ZOR_USAGE, "Zorload", Icon::Information, false},
    {"unknownOption", "Opzione della linea di comando sconosciuta: '%s'\r\n" ZOR_USAGE, "Zorload",
     Icon::Error, false},
    // Start page with the log box ticked.
    {"logOpen", "Impossibile aprire il log file.", "Zorload", Icon::Information, false},
    // File page.
    {"systemError", "%s", "Errore apertura file", Icon::Exclamation, true},
    {"notAnUpdate", "Il file selezionato non è un file di aggiornamento (oppure è danneggiato).",
     "Zorload - Impossibile caricare il file", Icon::Exclamation, true},
    {"tooNew",
     "Il file selezionato è stato scritto per una versione più recente di Zorload. Per poterlo "
     "caricare è quindi necessario utilizzare una versione aggiornata del programma.",
     "Zorload - Impossibile caricare il file", Icon::Exclamation, true},
    {"readError", "Si è verificato un errore durante la lettura del file:\n%s",
     "Zorload - Impossibile caricare il file", Icon::Exclamation, true},
    // Port and check pages.
    {"noPort",
     "Su questo computer non è disponibile nessuna porta seriale. Non è quindi possibile "
     "proseguire nell'aggiornamento.",
     "Scansione porte", Icon::Exclamation, true},
    {"portSetup", "Impossibile impostare la porta!", "Errore:", Icon::Exclamation, true},
    {"noContact",
     "Non è stato possibile stabilire la comunicazione con il cronometro.\nVerificate che il "
     "cronometro sia effettivamente collegato alla porta seriale indicata e che sia stato messo "
     "in modalità \"Aggiornamento software\".",
     "Errore:", Icon::Exclamation, true},
    // Transfer page.
    {"transferFailed", "Il trasferimento non ha avuto successo.\nCodice errore: %d\nMessaggio: %s.",
     "Trasferimento interrotto", Icon::Exclamation, true},
    {"closeRefused",
     "L'invio dei dati al cronometro non può essere interrotto. Prima di chiudere l'applicazione "
     "è necessario attendere il completamento dell'operazione di trasferimento.",
     "Zorload", Icon::Exclamation, true},
    // The bench window, closed while %s chronometer(s) are written.
    {"benchCloseRefused",
     "C'è ancora 1 trasferimento in corso. L'invio dei dati al cronometro non può essere "
     "interrotto: prima di chiudere il banco è necessario attendere che termini.",
     "Zorload - banco", Icon::Exclamation, true},
};
#undef ZOR_USAGE

// A box by its name; a name missing from BOXES is a mistake in the test.
inline const Box& box(const char* name) {
    for (const Box& b : BOXES) {
        if (std::strcmp(b.name, name) == 0)
            return b;
    }
    throw std::out_of_range(name);
}

// A caption by its control's name; null when the table has none.
inline const char* caption(const char* name) {
    for (const Text& t : CAPTIONS) {
        if (std::strcmp(t.name, name) == 0)
            return t.text;
    }
    return nullptr;
}

}  // namespace zor::test::window_texts
