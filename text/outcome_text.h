#pragma once
// An outcome in words: the message the user is given and the boxes a window
// shows it in, a terminal as its lines.
#include <string>
#include <vector>

#include "app/outcome.h"

namespace zor {

// The message of an outcome (UTF-8), empty when the user is told nothing.
// appTitle, the program's title, is named by a file of a newer format; a
// failed transfer shows the chronometer's last answer as displayText() makes
// it.
std::string outcomeMessage(const Outcome& outcome, const std::string& appTitle);

// "Il trasferimento non ha avuto successo." with the code and the
// chronometer's last answer as it is to be shown.
std::string transferFailureText(int code, const std::string& answerShown);

// The OS's text for an error code, or "Errore di sistema N" where it has none.
std::string osErrorText(int code);

// The message of a file the loader refused without a reason of its own.
extern const char* const NOT_AN_UPDATE_FILE;

enum class BoxIcon { Information, Exclamation, Error };

// One modal box with an OK button, and whether the warning beep comes first.
struct BoxRequest {
    std::string text;
    std::string caption;
    BoxIcon icon;
    bool beep;
};

// The boxes that tell the user an outcome, in the order they are shown;
// none for a success or an incomplete listing. appTitle is the program's
// title, which captions the file and log boxes.
std::vector<BoxRequest> boxesFor(const Outcome& outcome, const std::string& appTitle);

}  // namespace zor
