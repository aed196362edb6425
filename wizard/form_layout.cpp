#include "wizard/form_layout.h"

#include "platform/single_instance.h"
#include "text/wizard_text.h"

namespace zor::wizard {
namespace {

// The pages' names in the form definition, by page index.
const char* const PAGE_NAMES[PAGE_COUNT] = {
    "Pres", "SelFile", "SetCrono", "SelPort", "CheckCom", "SelLanguage", "Download", "Done", "New",
};

// One row of the table, with the settings that most controls leave alone
// added by the chained setters. The caption is the one the text layer words
// for the control's name.
struct Row : ControlSpec {
    Row(Ctl id, const char* name, Kind kind, Ctl parent, int l, int t, int w, int h)
        : ControlSpec{id, name, kind, parent, Page::Pres, l, t, w, h, wizardCaption(name)} {}
    Row(Ctl id, const char* name, Kind kind, Page page, int l, int t, int w, int h)
        : ControlSpec{id, name, kind, Ctl::Pagine, page, l, t, w, h, wizardCaption(name)} {}
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
        Row(Ctl::Form, MAIN_WINDOW_CLASS, K::Form, F, 0, 0, FORM_WIDTH, FORM_HEIGHT),
        // Header, notebook, bottom row.
        Row(Ctl::imgTop, "imgTop", K::Picture, F, 0, 0, 500, 59),
        Row(Ctl::lblStepTitle, "lblStepTitle", K::Label, F, 6, 6, 425, 20).font(16, true),
        Row(Ctl::lblStepText, "lblStepText", K::Label, F, 16, 28, 441, 30).wrap(),
        Row(Ctl::bvlTop, "bvlTop", K::Bevel, F, 1, 59, 494, 2),
        Row(Ctl::Pagine, "Pagine", K::Notebook, F, 0, 61, 495, 254).tab(4),
        Row(Ctl::bvlBottom, "bvlBottom", K::Bevel, F, 1, 315, 494, 2),
        Row(Ctl::lblProgramVersion, "lblProgramVersion", K::Label, F, 2, 318, 237, 31).grey(),
        Row(Ctl::btnAltro, "btnAltro", K::Button, F, 8, 328, 97, 24).hide().tab(2),
        Row(Ctl::btnIndietro, "btnIndietro", K::Button, F, 250, 328, 74, 24).tab(1),
        Row(Ctl::btnAvanti, "btnAvanti", K::Button, F, 324, 328, 74, 24).asDefault().tab(0),
        Row(Ctl::btnAnnulla, "btnAnnulla", K::Button, F, 412, 328, 74, 24).asCancel().tab(3),
        // The start panel lies over the header and the notebook.
        Row(Ctl::pnlPresenta, "pnlPresenta", K::Panel, F, 0, 0, 497, 313).tab(5),
        Row(Ctl::imgStart, "imgStart", K::Picture, Ctl::pnlPresenta, 0, 0, 498, 313),
        Row(Ctl::lblPresentaTitle, "lblPresentaTitle", K::Label, Ctl::pnlPresenta, 168, 16, 313, 65)
            .font(21, true)
            .wrap(),
        Row(Ctl::lblPg0Presentazione, "lblPg0Presentazione", K::Label, Ctl::pnlPresenta, 176, 80,
            305, 113)
            .wrap(),
        Row(Ctl::cbLogga, "cbLogga", K::CheckBox, Ctl::pnlPresenta, 176, 272, 305, 17)
            .hide()
            .tab(0),
        // SelFile.
        Row(Ctl::lblPg1FileName, "lblPg1FileName", K::Label, Page::SelFile, 30, 29, 0, 0)
            .focuses(Ctl::FileName),
        Row(Ctl::FileName, "FileName", K::Edit, Page::SelFile, 30, 45, 305, 21).limit(250).tab(0),
        Row(Ctl::btnSfoglia, "btnSfoglia", K::Button, Page::SelFile, 347, 44, 74, 24).tab(1),
        Row(Ctl::pnlVersione, "pnlVersione", K::Panel, Page::SelFile, 30, 88, 435, 153)
            .bevels(Bevel::Raised, Bevel::Lowered)
            .hide(),
        Row(Ctl::lblPg1InfoFile, "lblPg1InfoFile", K::Label, Ctl::pnlVersione, 8, 8, 0, 0),
        Row(Ctl::lblPg1ID, "lblPg1ID", K::Label, Ctl::pnlVersione, 8, 32, 0, 0),
        Row(Ctl::memID, "memID", K::Memo, Ctl::pnlVersione, 64, 32, 249, 17),
        Row(Ctl::lblPg1Version, "lblPg1Version", K::Label, Ctl::pnlVersione, 8, 56, 0, 0),
        Row(Ctl::memVersion, "memVersion", K::Memo, Ctl::pnlVersione, 64, 56, 361, 89),
        // SetCrono.
        Row(Ctl::memPg2Help, "memPg2Help", K::Memo, Page::SetCrono, 30, 24, 435, 209),
        // SelPort.
        Row(Ctl::imgPortaCom, "imgPortaCom", K::Picture, Page::SelPort, 30, 15, 32, 32),
        Row(Ctl::lblPg3Porte, "lblPg3Porte", K::Label, Page::SelPort, 80, 33, 0, 0)
            .focuses(Ctl::lwPorte),
        Row(Ctl::lwPorte, "lwPorte", K::ListView, Page::SelPort, 30, 58, 425, 113).tab(0),
        // CheckCom.
        Row(Ctl::lblPg4CheckWait, "lblPg4CheckWait", K::Label, Page::CheckCom, 30, 30, 305, 42)
            .wrap(),
        // SelLanguage.
        Row(Ctl::imgComponenti, "imgComponenti", K::Picture, Page::SelLanguage, 30, 15, 32, 32),
        Row(Ctl::lblPg5CompToLoad, "lblPg5CompToLoad", K::Label, Page::SelLanguage, 80, 33, 0, 0)
            .focuses(Ctl::lvSelLang),
        Row(Ctl::lvSelLang, "lvSelLang", K::ListView, Page::SelLanguage, 30, 50, 435, 98).tab(0),
        Row(Ctl::lbErroreLingua, "lbErroreLingua", K::Label, Page::SelLanguage, 30, 154, 219, 16)
            .wrap(),
        Row(Ctl::imgNoSpace, "imgNoSpace", K::Picture, Page::SelLanguage, 284, 10, 32, 32).hide(),
        Row(Ctl::lblNoSpace, "lblNoSpace", K::Label, Page::SelLanguage, 320, 4, 153, 41)
            .wrap()
            .hide(),
        Row(Ctl::pnlComponenti, "pnlComponenti", K::Panel, Page::SelLanguage, 30, 172, 435, 75)
            .bevels(Bevel::Lowered, Bevel::None),
        Row(Ctl::pbSelLang, "pbSelLang", K::PaintBox, Ctl::pnlComponenti, 1, 1, 433, 73),
        // Download.
        Row(Ctl::anmAggiornamento, "anmAggiornamento", K::Animation, Page::Download, 112, 18, 272,
            60),
        Row(Ctl::lbProgresso, "lbProgresso", K::Label, Page::Download, 30, 93, 411, 25),
        Row(Ctl::barProgresso, "barProgresso", K::ProgressBar, Page::Download, 30, 119, 430, 25),
        Row(Ctl::lbFase, "lbFase", K::Label, Page::Download, 30, 171, 411, 25),
        Row(Ctl::barFase, "barFase", K::ProgressBar, Page::Download, 30, 195, 430, 25),
        // Done.
        Row(Ctl::Label14, "Label14", K::Label, Page::Done, 30, 64, 429, 49).wrap(),
        Row(Ctl::Label15, "Label15", K::Label, Page::Done, 30, 136, 429, 33).wrap(),
        // New.
        Row(Ctl::Label16, "Label16", K::Label, Page::New, 30, 24, 427, 81).wrap(),
    };
    return std::vector<ControlSpec>(rows.begin(), rows.end());
}

}  // namespace

const char* pageTitle(Page page) {
    return wizardPageTitle(pageName(page));
}
const char* pageText(Page page) {
    return wizardPageText(pageName(page));
}
const char* pageName(Page page) {
    return PAGE_NAMES[static_cast<int>(page)];
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
    return chronometerSetupText();
}

const Column PORT_COLUMNS[2] = {{PORT_LIST_HEADERS[0], 100}, {PORT_LIST_HEADERS[1], 0}};
const Column COMPONENT_COLUMNS[2] = {{COMPONENT_LIST_HEADERS[0], 280},
                                     {COMPONENT_LIST_HEADERS[1], 140}};

const FileFilter OPEN_DIALOG_FILTERS[3] = {
    {UPD_FILTER_NAME, "*.upd"},
    {BIN_FILTER_NAME, "*.bin"},
    {ALL_FILES_FILTER_NAME, "*.*"},
};

}  // namespace zor::wizard
