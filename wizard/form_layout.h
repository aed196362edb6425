#pragma once
// The main form TfrmZORMain as data: its pages, their titles and texts, and
// every control with its parent, bounds (pixels at 96 DPI, relative to the
// parent's client area), caption and settings. Both windows build themselves
// from this table, so a position lives in one place; the words are the text
// layer's (text/wizard_text.h), found by the page's or the control's name.
#include <cstdint>
#include <string>
#include <vector>

namespace zor::wizard {

// The notebook's pages, by page index.
enum class Page { Pres, SelFile, SetCrono, SelPort, CheckCom, SelLanguage, Download, Done, New };
constexpr int PAGE_COUNT = 9;

// Step title and step text of a page (UTF-8).
const char* pageTitle(Page page);
const char* pageText(Page page);
// The page's name in the form definition ("Pres", "SelFile", ...).
const char* pageName(Page page);

// The form itself and its controls, named as in the form definition.
enum class Ctl {
    Form,
    imgTop,
    bvlTop,
    lblStepTitle,
    lblStepText,
    Pagine,
    bvlBottom,
    lblProgramVersion,
    btnAltro,
    btnIndietro,
    btnAvanti,
    btnAnnulla,
    pnlPresenta,
    imgStart,
    lblPresentaTitle,
    lblPg0Presentazione,
    cbLogga,
    // SelFile
    lblPg1FileName,
    FileName,
    btnSfoglia,
    pnlVersione,
    lblPg1InfoFile,
    lblPg1ID,
    memID,
    lblPg1Version,
    memVersion,
    // SetCrono
    memPg2Help,
    // SelPort
    imgPortaCom,
    lblPg3Porte,
    lwPorte,
    // CheckCom
    lblPg4CheckWait,
    // SelLanguage
    imgComponenti,
    lblPg5CompToLoad,
    lvSelLang,
    lbErroreLingua,
    imgNoSpace,
    lblNoSpace,
    pnlComponenti,
    pbSelLang,
    // Download
    anmAggiornamento,
    lbProgresso,
    barProgresso,
    lbFase,
    barFase,
    // Done
    Label14,
    Label15,
    // New
    Label16,
};
constexpr int CONTROL_COUNT = static_cast<int>(Ctl::Label16) + 1;

enum class Kind {
    Form,
    Picture,  // a bitmap or an icon
    Bevel,    // a sunken line along the bottom of its bounds
    Label,
    Notebook,
    Button,
    Panel,
    CheckBox,
    Edit,
    Memo,
    ListView,
    ProgressBar,
    PaintBox,
    Animation,
};

enum class Bevel { None, Raised, Lowered };

struct ControlSpec {
    Ctl id;
    const char* name;
    Kind kind;
    // Ctl::Form, a panel, or Ctl::Pagine with page set.
    Ctl parent;
    Page page;                     // meaningful when parent is Pagine
    int left, top, width, height;  // width and height 0: sized to the caption
    const char* caption;           // UTF-8, '&' marks the accelerator
    int fontPx = 0;                // 0: the form's font (8 points, 11 pixels)
    bool bold = false;
    bool wordWrap = false;
    bool hidden = false;        // not visible in the form definition
    bool disabledLook = false;  // grey text
    bool defaultButton = false;
    bool cancelButton = false;
    int tabOrder = -1;      // among its siblings; -1: not a tab stop or unordered
    Ctl buddy = Ctl::Form;  // the control a label's accelerator focuses
    int maxLength = 0;      // edits
    Bevel innerBevel = Bevel::None;
    Bevel outerBevel = Bevel::None;
};

// Every control, parents before their children, in painting order: a later
// sibling lies over an earlier one.
const std::vector<ControlSpec>& formControls();
const ControlSpec& control(Ctl id);

// The form's client area and font.
constexpr int FORM_WIDTH = 495;
constexpr int FORM_HEIGHT = 358;
constexpr int FORM_FONT_PX = 11;

// The instruction lines of the SetCrono page, joined with "\n".
std::string helpText();

// List view columns: caption and width in pixels; width 0 fills the rest.
struct Column {
    const char* caption;
    int width;
};
extern const Column PORT_COLUMNS[2];
extern const Column COMPONENT_COLUMNS[2];

// The file-open dialog's filters as (description, pattern) pairs, the first
// being the initial choice; its title is OPEN_DIALOG_TITLE of the text layer.
struct FileFilter {
    const char* description;
    const char* pattern;
};
extern const FileFilter OPEN_DIALOG_FILTERS[3];

}  // namespace zor::wizard
