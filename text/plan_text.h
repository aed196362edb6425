#pragma once
// A plan in words: the planner's verdict on the component page and in the
// CLI's output, the warnings said before anything is written, the blocks and
// versions of a plan's lines, the labels of the flash chart.
#include <cstdint>
#include <string>
#include <vector>

#include "engine/plan_view.h"
#include "flash/partition_dump.h"
#include "flash/planner.h"

namespace zor {

struct ChronometerRun;

// "Situazione preesistente:", "Aggiornamento completo", "Aggiornamento
// parziale" or "Situazione imprevista. Contattare assistenza!": ASCII, so the
// same bytes in Windows-1252 and UTF-8.
const char* verdictText(PlanVerdict verdict);

// "già aggiornato" (UTF-8): a chronometer that has every selected component.
const char* alreadyUpToDateText();

// What a chronometer's run came to, as the bench's record says it (UTF-8):
// "già aggiornato" when nothing was to be written, the verdict once a plan
// was made, else empty.
std::string runVerdictText(const ChronometerRun& run);

// One line per downgrade, then one per removal, UTF-8:
//   Attenzione: "NAME" torna a una versione precedente: da VERS 2.20 BUILD 41
//   a VERS 2.10 BUILD 35.
//   Attenzione: "NAME" (PGM, blocchi 1-3), installato sul cronometro, viene
//   rimosso.
// A name that is empty once trimmed is "senza nome"; control codes show as '?'.
std::vector<std::string> planWarnings(const PlanView& view);

// "blocco 3" or "blocchi 1-3".
std::string blockRangeText(uint8_t first, uint8_t length);

// "VERS 2.10 BUILD 35" of a component text (Windows-1252), or the whole text
// when it has neither part; UTF-8 for people, control codes as '?'.
std::string versionPhrase(const std::string& cp1252);

// A box's label in the flash chart, UTF-8: the partition's name and VERS
// part, or "Spazio libero" for a box without a name.
std::string chartLabelText(const ChartBox& box);

}  // namespace zor
