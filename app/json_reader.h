#pragma once
// Reads back the JSON the program wrote: the bench's record lines, for
// `history import`, and the tables the history keeps. Strict JSON; each
// value remembers where it stood in the text, so a part of a line can be
// kept as it was written.
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace zor {

struct JsonValue {
    enum class Type { Null, Bool, Number, String, Array, Object };
    Type type = Type::Null;
    bool flag = false;
    double number = 0;
    std::string text;                                        // String
    std::vector<JsonValue> items;                            // Array
    std::vector<std::pair<std::string, JsonValue>> members;  // Object, in order
    size_t begin = 0, end = 0;                               // where it stood in the text

    // The member named name, or null when there is none (or this is no object).
    const JsonValue* find(const std::string& name) const;
    // The member's text, number, flag; fallback when it is missing or of another type.
    std::string textOf(const std::string& name) const;
    double numberOf(const std::string& name, double fallback = 0) const;
    bool flagOf(const std::string& name) const;
};

// Parses text, which must hold one value and nothing but white space
// around it. False when it is no JSON; nesting is limited to 32 levels.
bool parseJson(const std::string& text, JsonValue& out);

}  // namespace zor
