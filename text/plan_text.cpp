#include "text/plan_text.h"

#include "app/encoding.h"
#include "engine/chronometer_run.h"

namespace zor {

namespace {

// A component's name between quotes, as the terminal may show it.
std::string quoted(const std::string& cp1252) {
    const std::string text = utf8Text(cp1252, true);
    return "\"" + (text.empty() ? std::string("senza nome") : text) + "\"";
}

}  // namespace

const char* verdictText(PlanVerdict verdict) {
    switch (verdict) {
        case PlanVerdict::Unchanged:
            return "Situazione preesistente:";
        case PlanVerdict::Complete:
            return "Aggiornamento completo";
        case PlanVerdict::Partial:
            return "Aggiornamento parziale";
        case PlanVerdict::NoMilo:
            break;
    }
    return "Situazione imprevista. Contattare assistenza!";
}

const char* alreadyUpToDateText() {
    return "già aggiornato";
}

std::string runVerdictText(const ChronometerRun& run) {
    if (run.end == RunEnd::NothingToWrite)
        return alreadyUpToDateText();
    return run.planMade ? verdictText(run.verdict) : "";
}

std::vector<std::string> planWarnings(const PlanView& view) {
    std::vector<std::string> lines;
    for (const PlanDowngrade& d : view.downgrades) {
        lines.push_back("Attenzione: " + quoted(d.name) + " torna a una versione precedente: da " +
                        versionPhrase(d.installed) + " a " + versionPhrase(d.planned) + ".");
    }
    for (const PlanRemoval& r : view.removals) {
        lines.push_back("Attenzione: " + quoted(r.name) + " (" + typeText(r.type) + ", " +
                        blockRangeText(r.first, r.length) +
                        "), installato sul cronometro, viene rimosso.");
    }
    return lines;
}

std::string blockRangeText(uint8_t first, uint8_t length) {
    if (length <= 1)
        return "blocco " + std::to_string(first);
    return "blocchi " + std::to_string(first) + "-" + std::to_string(first + length - 1);
}

std::string versionPhrase(const std::string& cp1252) {
    const TextParts p = splitText(cp1252);
    std::string out;
    if (!p.version.empty())
        out = "VERS " + p.version;
    if (!p.build.empty())
        out += (out.empty() ? "BUILD " : " BUILD ") + p.build;
    return out.empty() ? utf8Text(cp1252, true) : utf8Text(out, true);
}

std::string chartLabelText(const ChartBox& box) {
    return box.label.empty() ? std::string("Spazio libero") : cp1252ToUtf8(box.label);
}

}  // namespace zor
