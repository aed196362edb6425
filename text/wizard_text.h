#pragma once
// The update wizard's words (UTF-8): the step titles and texts of its pages,
// the captions its main form TfrmZORMain is built with, the list headers, the
// instructions for readying the chronometer, the file dialog, the transfer
// page's progress captions, the refusal to close while a chronometer is
// written, and the lines the Qt program writes on stderr. Where the form
// definition names a page or a control, its words are looked up by that name.
#include <string>
#include <string_view>

namespace zor {

// The program's name: the form's caption until the version block's title
// replaces it, and the caption of a box shown before there is a form.
extern const char* const WIZARD_TITLE;

// A notebook page's step title and step text, by the page's name in the form
// definition ("Pres", "SelFile", ... "New"); "-" for the start page, whose
// panel covers them. Empty for any other name.
const char* wizardPageTitle(std::string_view page);
const char* wizardPageText(std::string_view page);

// The caption a control of the main form is built with, by the control's name
// in the form definition ("btnSfoglia", "lbFase", the form's own
// MAIN_WINDOW_CLASS); '&' marks the accelerator. Empty for a control built
// without one.
const char* wizardCaption(std::string_view control);

// Next's caption on the last page, where it closes the window.
extern const char* const FINISH_BUTTON_CAPTION;

// The transfer page's captions over its two bars once the first phase has
// begun: "Progresso complessivo (fase 2 di 3):" and "Progresso fase (45 %):".
// Before that the bars carry the captions they were built with.
std::string overallProgressCaption(int phase, int phases);
std::string phaseProgressCaption(int percent);

// The headers of the port list and of the component list, left to right.
extern const char* const PORT_LIST_HEADERS[2];
extern const char* const COMPONENT_LIST_HEADERS[2];

// How the chronometer is started in its update program, for the SetCrono
// page's memo: one step after another, lines joined with "\n".
std::string chronometerSetupText();

// The file dialog of the SelFile page: its title, and the names of its
// filters for *.upd, *.bin and every file.
extern const char* const OPEN_DIALOG_TITLE;
extern const char* const UPD_FILTER_NAME;
extern const char* const BIN_FILTER_NAME;
extern const char* const ALL_FILES_FILTER_NAME;

// The Qt program's stderr line, with its "\n", for a request to end (SIGTERM,
// SIGINT, SIGHUP) refused while a chronometer is written: the box's words.
std::string interruptRefusedLine();

// The Qt program's stderr line, with its "\n", when the folder meant for the
// one-instance lock belongs to someone else and the program starts unguarded.
std::string unguardedStartLine(const std::string& folder);

// The session log's line when the bench's settings ask for the wizard's
// history and no folder is known for it.
std::string historyNoFolderLogLine();

}  // namespace zor
