#include "app/json.h"

#include <cmath>
#include <cstdio>

#include "app/encoding.h"

namespace zor {

std::string jsonString(const std::string& utf8) {
    std::string out;
    out.reserve(utf8.size() + 2);
    out += '"';
    for (size_t i = 0; i < utf8.size();) {
        uint32_t cp = 0;
        const size_t length = decodeUtf8(utf8, i, cp);
        if (length == 0) {
            // A byte that belongs to no character (a device or file name may
            // hold any): a JSON reader refuses the whole document over one
            // such byte, so it becomes U+FFFD.
            out += "\xEF\xBF\xBD";
            ++i;
            continue;
        }
        if (cp == '"' || cp == '\\') {
            out += '\\';
            out += static_cast<char>(cp);
        } else if (cp < 0x20 || (cp >= 0x80 && cp <= 0x9F)) {
            // The C1 codes are legal in JSON, but a terminal that shows the
            // document (cat, less -R) would act on them as on ESC sequences
            // (U+009B is CSI). DEL stays: JSON allows it, terminals ignore it.
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04X", static_cast<unsigned>(cp));
            out += escaped;
        } else {
            out.append(utf8, i, length);
        }
        i += length;
    }
    out += '"';
    return out;
}

JsonWriter& JsonWriter::key(const std::string& name) {
    beforeValue();
    out_ += jsonString(name);
    out_ += ": ";
    afterKey_ = true;
    return *this;
}

void JsonWriter::beforeValue() {
    if (afterKey_) {
        afterKey_ = false;
        return;
    }
    if (!first_.empty()) {
        if (!first_.back())
            out_ += ", ";
        first_.back() = false;
    }
}

JsonWriter& JsonWriter::open(char bracket) {
    beforeValue();
    out_ += bracket;
    first_.push_back(true);
    return *this;
}

JsonWriter& JsonWriter::close(char bracket) {
    out_ += bracket;
    if (!first_.empty())
        first_.pop_back();
    return *this;
}

JsonWriter& JsonWriter::value(const std::string& text) {
    beforeValue();
    out_ += jsonString(text);
    return *this;
}

JsonWriter& JsonWriter::value(int64_t number) {
    beforeValue();
    out_ += std::to_string(number);
    return *this;
}

JsonWriter& JsonWriter::value(uint64_t number) {
    beforeValue();
    out_ += std::to_string(number);
    return *this;
}

JsonWriter& JsonWriter::value(double number) {
    beforeValue();
    // JSON has no NaN or infinity.
    if (!std::isfinite(number)) {
        out_ += "null";
        return *this;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", number);
    out_ += text;
    return *this;
}

JsonWriter& JsonWriter::value(bool flag) {
    beforeValue();
    out_ += flag ? "true" : "false";
    return *this;
}

JsonWriter& JsonWriter::raw(const std::string& json) {
    beforeValue();
    out_ += json;
    return *this;
}

JsonWriter& JsonWriter::null() {
    beforeValue();
    out_ += "null";
    return *this;
}

}  // namespace zor
