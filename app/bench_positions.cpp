#include "app/bench_positions.h"

#include <algorithm>
#include <cstdint>

#include "app/encoding.h"
#include "platform/system_error.h"

namespace zor {
namespace {

const char SECTION[] = "posti";
const char SETTINGS_SECTION[] = "storico";
// A byte order mark, as Windows' Notepad may write it.
const char BOM[] = "\xEF\xBB\xBF";

std::string trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return std::string();
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// Whether text is UTF-8 without a control character (C0, DEL, C1): a name
// or port the terminal, the JSON lines and the records can carry as it is.
bool cleanText(const std::string& text) {
    for (size_t at = 0; at < text.size();) {
        uint32_t c = 0;
        const size_t length = decodeUtf8(text, at, c);
        if (length == 0 || c < 0x20 || (c >= 0x7F && c <= 0x9F))
            return false;
        at += length;
    }
    return true;
}

// A section's heading, "[name]", and its name; false for any other line.
bool heading(const std::string& line, std::string& name) {
    if (line.size() < 2 || line.front() != '[' || line.back() != ']')
        return false;
    name = trimmed(line.substr(1, line.size() - 2));
    return true;
}

// Whether name is wanted, an ASCII name, in any case.
bool sameName(const std::string& name, const char* wanted) {
    size_t i = 0;
    for (; i < name.size() && wanted[i]; ++i) {
        const char c = name[i];
        if ((c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c) != wanted[i])
            return false;
    }
    return i == name.size() && !wanted[i];
}

bool isOurs(const std::string& section) {
    return sameName(section, SECTION);
}

// What is wrong with adding the position name=port to those before it.
PositionsFault faultOf(const std::string& name, const std::string& port,
                       const std::vector<BenchPosition>& before) {
    if (name.empty())
        return PositionsFault::EmptyName;
    if (port.empty())
        return PositionsFault::EmptyPort;
    if (!cleanText(name) || !cleanText(port))
        return PositionsFault::BadCharacter;
    for (const BenchPosition& p : before) {
        if (p.name == name)
            return PositionsFault::SameName;
        if (p.port == port)
            return PositionsFault::SamePort;
    }
    return PositionsFault::None;
}

// Whether text ends with an empty line (or is one).
bool endsBlank(const std::string& text, const std::string& eol) {
    const std::string two = eol + eol;
    return text == eol || (text.size() >= two.size() &&
                           text.compare(text.size() - two.size(), two.size(), two) == 0);
}

PositionsResult faulty(PositionsFault fault, int line) {
    PositionsResult r;
    r.fault = fault;
    r.line = line;
    return r;
}

// The file's bytes, at most one more than a positions file may hold.
PositionsFault readText(const std::string& path, std::string& text, FileProblem& problem) {
    if (path.empty())
        return PositionsFault::Missing;
    int error = 0;
    File file = File::openRead(path, error);
    if (!file.isOpen()) {
        problem.error = error;
        return isNoSuchFile(error) ? PositionsFault::Missing : PositionsFault::Unreadable;
    }
    text.resize(BENCH_POSITIONS_MAX_BYTES + 1);
    size_t got = 0;
    if (!file.read(&text[0], text.size(), got)) {
        problem.error = lastSystemError();
        return PositionsFault::Unreadable;
    }
    text.resize(got);
    return got > BENCH_POSITIONS_MAX_BYTES ? PositionsFault::TooLarge : PositionsFault::None;
}

// Calls take(key, value) for each "key=value" line of section (matched in
// any case; blanks around key and value dropped), in order, until it
// returns a fault. Lines of other sections are skipped; a line before any
// heading is a NoSection fault when strict, skipped otherwise. line: the
// line at fault.
template <typename Take>
PositionsFault forEachSetting(const std::string& text, const char* section, bool strict, Take take,
                              int& line) {
    line = 0;
    if (text.size() > BENCH_POSITIONS_MAX_BYTES)
        return PositionsFault::TooLarge;
    enum { NONE, OURS, OTHER } where = NONE;
    int number = 0;
    for (size_t at = text.compare(0, 3, BOM) == 0 ? 3 : 0; at < text.size();) {
        const size_t end = std::min(text.find('\n', at), text.size());
        std::string entry = text.substr(at, end - at);
        at = end + 1;
        ++number;
        if (!entry.empty() && entry.back() == '\r')
            entry.pop_back();
        entry = trimmed(entry);
        std::string name;
        if (entry.empty() || entry[0] == ';' || entry[0] == '#')
            continue;
        if (heading(entry, name)) {
            where = sameName(name, section) ? OURS : OTHER;
            continue;
        }
        if (where == OTHER || (where == NONE && !strict))
            continue;
        line = number;
        if (where == NONE)
            return PositionsFault::NoSection;
        const size_t equals = entry.find('=');
        if (equals == std::string::npos)
            return PositionsFault::BadLine;
        const PositionsFault fault =
            take(trimmed(entry.substr(0, equals)), trimmed(entry.substr(equals + 1)));
        if (fault != PositionsFault::None)
            return fault;
    }
    line = 0;
    return PositionsFault::None;
}

}  // namespace

std::string benchPositionsPath() {
    const std::string named = environmentText("ZORLOAD_POSITIONS");
    return named.empty() ? userConfigPath("banco.ini") : named;
}

PositionsResult parseBenchPositions(const std::string& text) {
    PositionsResult r;
    r.fault = forEachSetting(
        text, SECTION, true,
        [&r](const std::string& name, const std::string& port) {
            const PositionsFault fault = faultOf(name, port, r.positions);
            if (fault == PositionsFault::None)
                r.positions.push_back({name, port});
            return fault;
        },
        r.line);
    if (!r.ok())
        r.positions.clear();
    return r;
}

PositionsResult readBenchPositions(const std::string& path) {
    std::string text;
    PositionsResult r;
    r.fault = readText(path, text, r.problem);
    if (r.fault != PositionsFault::None)
        return r;
    return parseBenchPositions(text);
}

PositionsResult checkBenchPositions(const std::vector<BenchPosition>& positions) {
    std::vector<BenchPosition> before;
    for (const BenchPosition& p : positions) {
        const int number = int(before.size()) + 1;
        PositionsFault fault = faultOf(p.name, p.port, before);
        const bool heldByALine = p.name.find('=') == std::string::npos &&
                                 p.name.find_first_of(";#[") != 0 && trimmed(p.name) == p.name &&
                                 trimmed(p.port) == p.port;
        if (fault == PositionsFault::None && !heldByALine)
            fault = PositionsFault::BadLine;
        if (fault != PositionsFault::None)
            return faulty(fault, number);
        before.push_back(p);
    }
    PositionsResult r;
    r.positions = positions;
    return r;
}

std::string benchPositionsText(const std::vector<BenchPosition>& positions,
                               const std::string& previous) {
    const std::string eol = previous.find("\r\n") != std::string::npos ? "\r\n" : "\n";
    std::string ours = std::string("[") + SECTION + "]" + eol;
    for (const BenchPosition& p : positions)
        ours += p.name + "=" + p.port + eol;

    std::string text;
    bool placed = false, skipping = false;
    for (size_t at = 0; at < previous.size();) {
        const size_t end = std::min(previous.find('\n', at), previous.size() - 1);
        const std::string line = previous.substr(at, end + 1 - at);
        const size_t start = at == 0 && line.compare(0, 3, BOM) == 0 ? 3 : 0;
        at = end + 1;
        std::string name;
        if (heading(trimmed(line.substr(start, line.find_last_not_of("\r\n") + 1 - start)), name)) {
            // The section after ours, a blank line before it.
            if (skipping && !isOurs(name) && !endsBlank(text, eol))
                text += eol;
            skipping = isOurs(name);
            if (skipping && !placed) {
                text += line.substr(0, start) + ours;
                placed = true;
            }
        }
        if (!skipping)
            text += line;
    }
    if (!placed) {
        if (!text.empty() && text.back() != '\n')
            text += eol;
        if (!text.empty() && !endsBlank(text, eol))
            text += eol;
        text += ours;
    }
    return text;
}

bool writeBenchPositions(const std::string& path, const std::vector<BenchPosition>& positions,
                         FileProblem& problem) {
    problem = FileProblem();
    if (!checkBenchPositions(positions).ok())
        return false;
    std::string previous;
    const PositionsFault read = readText(path, previous, problem);
    if (read == PositionsFault::Missing) {
        previous.clear();
        problem = FileProblem();
    } else if (read != PositionsFault::None) {
        return false;
    }
    return writeWholeFile(path, benchPositionsText(positions, previous), true, problem);
}

namespace {

// si, sì, no, 1, 0 in any case; false when value is none of them.
bool yesOrNo(const std::string& value, bool& out) {
    std::string lower;
    for (char c : value)
        lower += c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
    if (lower == "si" || lower == "s\xC3\xAC" || lower == "s\xC3\x8C" || lower == "1") {
        out = true;
        return true;
    }
    if (lower == "no" || lower == "0") {
        out = false;
        return true;
    }
    return false;
}

}  // namespace

SettingsResult parseBenchSettings(const std::string& text) {
    SettingsResult r;
    BenchSettings& s = r.settings;
    r.fault = forEachSetting(
        text, SETTINGS_SECTION, false,
        [&s](const std::string& key, const std::string& value) {
            if (!cleanText(value))
                return PositionsFault::BadCharacter;
            bool* flag = sameName(key, "procedura") ? &s.wizardHistory
                         : sameName(key, "banco")   ? &s.benchHistory
                                                    : nullptr;
            if (flag)
                return yesOrNo(value, *flag) ? PositionsFault::None : PositionsFault::BadValue;
            if (sameName(key, "percorso"))
                s.historyPlace = value;
            else if (sameName(key, "mqtt"))
                s.mqtt = value;
            else
                return PositionsFault::UnknownKey;
            return PositionsFault::None;
        },
        r.line);
    if (!r.ok())
        r.settings = BenchSettings();
    return r;
}

SettingsResult readBenchSettings(const std::string& path) {
    std::string text;
    SettingsResult r;
    r.fault = readText(path, text, r.problem);
    if (r.fault != PositionsFault::None)
        return r;
    return parseBenchSettings(text);
}

}  // namespace zor
