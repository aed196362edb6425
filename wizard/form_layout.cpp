#include "wizard/form_layout.h"

#include "platform/single_instance.h"

namespace zor::wizard {
namespace {

struct PageInfo {
    const char* name;
    const char* title;
    const char* text;
};

const PageInfo PAGES[PAGE_COUNT] = {
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

const char* const HELP_LINES[] = {
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

// One row of the table, with the settings that most controls leave alone
// added by the chained setters.
struct Row : ControlSpec {
    Row(Ctl id, const char* name, Kind kind, Ctl parent, int l, int t, int w, int h,
        const char* caption = "")
        : ControlSpec{id, name, kind, parent, Page::Pres, l, t, w, h, caption} {}
    Row(Ctl id, const char* name, Kind kind, Page page, int l, int t, int w, int h,
        const char* caption = "")
        : ControlSpec{id, name, kind, Ctl::Pagine, page, l, t, w, h, caption} {}
    Row& font(int px, bool isBold) {
        fontPx = px;
        bold = isBold;
        return *this;
    }
    Row& wrap() {
        wordWrap = true;
        return *this;
    }
    Row& hide() {
        hidden = true;
        return *this;
    }
    Row& grey() {
        disabledLook = true;
        return *this;
    }
    Row& tab(int order) {
        tabOrder = order;
        return *this;
    }
    Row& focuses(Ctl target) {
        buddy = target;
        return *this;
    }
    Row& bevels(Bevel inner, Bevel outer) {
        innerBevel = inner;
        outerBevel = outer;
        return *this;
    }
    Row& asDefault() {
        defaultButton = true;
        return *this;
    }
    Row& asCancel() {
        cancelButton = true;
        return *this;
    }
    Row& limit(int chars) {
        maxLength = chars;
        return *this;
    }
};

std::vector<ControlSpec> buildControls() {
    using K = Kind;
    const Ctl F = Ctl::Form;
    std::vector<Row> rows = {
        Row(Ctl::Form, MAIN_WINDOW_CLASS, K::Form, F, 0, 0, FORM_WIDTH, FORM_HEIGHT, "Zorload"),
        // Header, notebook, bottom row.
        Row(Ctl::imgTop, "imgTop", K::Picture, F, 0, 0, 500, 59),
        Row(Ctl::lblStepTitle, "lblStepTitle", K::Label, F, 6, 6, 425, 20).font(16, true),
        Row(Ctl::lblStepText, "lblStepText", K::Label, F, 16, 28, 441, 30).wrap(),
        Row(Ctl::bvlTop, "bvlTop", K::Bevel, F, 1, 59, 494, 2),
        Row(Ctl::Pagine, "Pagine", K::Notebook, F, 0, 61, 495, 254).tab(4),
        Row(Ctl::bvlBottom, "bvlBottom", K::Bevel, F, 1, 315, 494, 2),
        Row(Ctl::lblProgramVersion, "lblProgramVersion", K::Label, F, 2, 318, 237, 31).grey(),
        Row(Ctl::btnAltro, "btnAltro", K::Button, F, 8, 328, 97, 24, "Altro &cronometro...")
            .hide()
            .tab(2),
        Row(Ctl::btnIndietro, "btnIndietro", K::Button, F, 250, 328, 74, 24, "< &Indietro").tab(1),
        Row(Ctl::btnAvanti, "btnAvanti", K::Button, F, 324, 328, 74, 24, "&Avanti >")
            .asDefault()
            .tab(0),
        Row(Ctl::btnAnnulla, "btnAnnulla", K::Button, F, 412, 328, 74, 24, "Annulla")
            .asCancel()
            .tab(3),
        // The start panel lies over the header and the notebook.
        Row(Ctl::pnlPresenta, "pnlPresenta", K::Panel, F, 0, 0, 497, 313).tab(5),
        Row(Ctl::imgStart, "imgStart", K::Picture, Ctl::pnlPresenta, 0, 0, 498, 313),
        Row(Ctl::lblPresentaTitle, "lblPresentaTitle", K::Label, Ctl::pnlPresenta, 168, 16, 313, 65,
            "Aggiornamento guidato firmware")
            .font(21, true)
            .wrap(),
        Row(Ctl::lblPg0Presentazione, "lblPg0Presentazione", K::Label, Ctl::pnlPresenta, 176, 80,
            305, 113,
            "Questo programma vi permette di effettuare l'aggiornamento del software installato "
            "nei vostri cronometri. Il programma vi guiderà passo-passo nella procedura. Premete "
            "'Avanti' per iniziare.")
            .wrap(),
        Row(Ctl::cbLogga, "cbLogga", K::CheckBox, Ctl::pnlPresenta, 176, 272, 305, 17, "Log")
            .hide()
            .tab(0),
        // SelFile.
        Row(Ctl::lblPg1FileName, "lblPg1FileName", K::Label, Page::SelFile, 30, 29, 0, 0,
            "&Nome del file da inviare:")
            .focuses(Ctl::FileName),
        Row(Ctl::FileName, "FileName", K::Edit, Page::SelFile, 30, 45, 305, 21).limit(250).tab(0),
        Row(Ctl::btnSfoglia, "btnSfoglia", K::Button, Page::SelFile, 347, 44, 74, 24, "&Sfoglia...")
            .tab(1),
        Row(Ctl::pnlVersione, "pnlVersione", K::Panel, Page::SelFile, 30, 88, 435, 153)
            .bevels(Bevel::Raised, Bevel::Lowered)
            .hide(),
        Row(Ctl::lblPg1InfoFile, "lblPg1InfoFile", K::Label, Ctl::pnlVersione, 8, 8, 0, 0,
            "Informazioni sui componenti presenti nel file selezionato:"),
        Row(Ctl::lblPg1ID, "lblPg1ID", K::Label, Ctl::pnlVersione, 8, 32, 0, 0, "ID:"),
        Row(Ctl::memID, "memID", K::Memo, Ctl::pnlVersione, 64, 32, 249, 17),
        Row(Ctl::lblPg1Version, "lblPg1Version", K::Label, Ctl::pnlVersione, 8, 56, 0, 0,
            "Versione:"),
        Row(Ctl::memVersion, "memVersion", K::Memo, Ctl::pnlVersione, 64, 56, 361, 89),
        // SetCrono.
        Row(Ctl::memPg2Help, "memPg2Help", K::Memo, Page::SetCrono, 30, 24, 435, 209),
        // SelPort.
        Row(Ctl::imgPortaCom, "imgPortaCom", K::Picture, Page::SelPort, 30, 15, 32, 32),
        Row(Ctl::lblPg3Porte, "lblPg3Porte", K::Label, Page::SelPort, 80, 33, 0, 0,
            "&Porte presenti su questo computer:")
            .focuses(Ctl::lwPorte),
        Row(Ctl::lwPorte, "lwPorte", K::ListView, Page::SelPort, 30, 58, 425, 113).tab(0),
        // CheckCom.
        Row(Ctl::lblPg4CheckWait, "lblPg4CheckWait", K::Label, Page::CheckCom, 30, 30, 305, 42,
            "Verifica della comunicazioni. Attendere prego...")
            .wrap(),
        // SelLanguage.
        Row(Ctl::imgComponenti, "imgComponenti", K::Picture, Page::SelLanguage, 30, 15, 32, 32),
        Row(Ctl::lblPg5CompToLoad, "lblPg5CompToLoad", K::Label, Page::SelLanguage, 80, 33, 0, 0,
            "&Componenti da caricare:")
            .focuses(Ctl::lvSelLang),
        Row(Ctl::lvSelLang, "lvSelLang", K::ListView, Page::SelLanguage, 30, 50, 435, 98).tab(0),
        Row(Ctl::lbErroreLingua, "lbErroreLingua", K::Label, Page::SelLanguage, 30, 154, 219, 16,
            "lbErroreLingua")
            .wrap(),
        Row(Ctl::imgNoSpace, "imgNoSpace", K::Picture, Page::SelLanguage, 284, 10, 32, 32).hide(),
        Row(Ctl::lblNoSpace, "lblNoSpace", K::Label, Page::SelLanguage, 320, 4, 153, 41,
            "Lo spazio è insufficiente a contenere tutti i componenti selezionati.")
            .wrap()
            .hide(),
        Row(Ctl::pnlComponenti, "pnlComponenti", K::Panel, Page::SelLanguage, 30, 172, 435, 75)
            .bevels(Bevel::Lowered, Bevel::None),
        Row(Ctl::pbSelLang, "pbSelLang", K::PaintBox, Ctl::pnlComponenti, 1, 1, 433, 73),
        // Download.
        Row(Ctl::anmAggiornamento, "anmAggiornamento", K::Animation, Page::Download, 112, 18, 272,
            60),
        Row(Ctl::lbProgresso, "lbProgresso", K::Label, Page::Download, 30, 93, 411, 25,
            "Progresso complessivo"),
        Row(Ctl::barProgresso, "barProgresso", K::ProgressBar, Page::Download, 30, 119, 430, 25),
        Row(Ctl::lbFase, "lbFase", K::Label, Page::Download, 30, 171, 411, 25, "Progresso fase"),
        Row(Ctl::barFase, "barFase", K::ProgressBar, Page::Download, 30, 195, 430, 25),
        // Done.
        Row(Ctl::Label14, "Label14", K::Label, Page::Done, 30, 64, 429, 49,
            "L'aggiornamento del cronometro è stato completato con successo. Se desiderate "
            "caricare lo stesso programma su altri cronometri, premete \"Altro cronometro...\".")
            .wrap(),
        Row(Ctl::Label15, "Label15", K::Label, Page::Done, 30, 136, 429, 33,
            "Per uscire dal programma premete \"Fine\"")
            .wrap(),
        // New.
        Row(Ctl::Label16, "Label16", K::Label, Page::New, 30, 24, 427, 81,
            "Quando avete collegato il nuovo cronometro da aggiornare, premete \"Avanti\".")
            .wrap(),
    };
    return std::vector<ControlSpec>(rows.begin(), rows.end());
}

}  // namespace

const char* pageTitle(Page page) {
    return PAGES[static_cast<int>(page)].title;
}
const char* pageText(Page page) {
    return PAGES[static_cast<int>(page)].text;
}
const char* pageName(Page page) {
    return PAGES[static_cast<int>(page)].name;
}

const std::vector<ControlSpec>& formControls() {
    static const std::vector<ControlSpec> controls = buildControls();
    return controls;
}

const ControlSpec& control(Ctl id) {
    static const std::vector<const ControlSpec*> byId = [] {
        std::vector<const ControlSpec*> v(CONTROL_COUNT, nullptr);
        for (const ControlSpec& c : formControls())
            v[static_cast<int>(c.id)] = &c;
        return v;
    }();
    return *byId[static_cast<int>(id)];
}

std::string helpText() {
    std::string text;
    for (const char* line : HELP_LINES) {
        if (line != HELP_LINES[0])
            text += '\n';
        text += line;
    }
    return text;
}

const Column PORT_COLUMNS[2] = {{"Porta", 100}, {"Informazioni", 0}};
const Column COMPONENT_COLUMNS[2] = {{"Componente", 280}, {"Versione", 140}};

const char* const OPEN_DIALOG_TITLE = "Seleziona il file d'aggiornamento";
const FileFilter OPEN_DIALOG_FILTERS[3] = {
    {"Aggiornamenti firmware (*.upd)", "*.upd"},
    {"Aggiornamenti firmware 1.0 (*.bin)", "*.bin"},
    {"Tutti i file (*.*)", "*.*"},
};

}  // namespace zor::wizard
