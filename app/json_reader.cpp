#include "app/json_reader.h"

#include <cstdlib>
#include <cstring>

namespace zor {
namespace {

constexpr int MAX_DEPTH = 32;

class Parser {
  public:
    explicit Parser(const std::string& text) : s_(text) {}

    bool document(JsonValue& out) {
        if (!value(out, 0))
            return false;
        space();
        return at_ == s_.size();
    }

  private:
    void space() {
        while (at_ < s_.size() && std::strchr(" \t\r\n", s_[at_]) && s_[at_] != '\0')
            ++at_;
    }

    bool literal(const char* word) {
        const size_t n = std::strlen(word);
        if (s_.compare(at_, n, word) != 0)
            return false;
        at_ += n;
        return true;
    }

    void utf8(std::string& out, unsigned code) {
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | (code >> 6));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += static_cast<char>(0xE0 | (code >> 12));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (code >> 18));
            out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }

    bool hex4(unsigned& code) {
        if (at_ + 4 > s_.size())
            return false;
        code = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = s_[at_++];
            code <<= 4;
            if (c >= '0' && c <= '9')
                code |= static_cast<unsigned>(c - '0');
            else if (c >= 'a' && c <= 'f')
                code |= static_cast<unsigned>(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F')
                code |= static_cast<unsigned>(c - 'A' + 10);
            else
                return false;
        }
        return true;
    }

    bool string(std::string& out) {
        if (at_ >= s_.size() || s_[at_] != '"')
            return false;
        ++at_;
        while (at_ < s_.size()) {
            const char c = s_[at_++];
            if (c == '"')
                return true;
            if (static_cast<unsigned char>(c) < 0x20)
                return false;
            if (c != '\\') {
                out += c;
                continue;
            }
            if (at_ >= s_.size())
                return false;
            const char e = s_[at_++];
            switch (e) {
                case '"':
                case '\\':
                case '/':
                    out += e;
                    break;
                case 'b':
                    out += '\b';
                    break;
                case 'f':
                    out += '\f';
                    break;
                case 'n':
                    out += '\n';
                    break;
                case 'r':
                    out += '\r';
                    break;
                case 't':
                    out += '\t';
                    break;
                case 'u': {
                    unsigned code;
                    if (!hex4(code))
                        return false;
                    if (code >= 0xD800 && code < 0xDC00 && s_.compare(at_, 2, "\\u") == 0) {
                        at_ += 2;
                        unsigned low;
                        if (!hex4(low) || low < 0xDC00 || low > 0xDFFF)
                            return false;
                        code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                    }
                    utf8(out, code);
                    break;
                }
                default:
                    return false;
            }
        }
        return false;
    }

    bool value(JsonValue& out, int depth) {
        if (depth > MAX_DEPTH)
            return false;
        space();
        out.begin = at_;
        if (at_ >= s_.size())
            return false;
        const char c = s_[at_];
        bool ok = false;
        if (c == '{') {
            out.type = JsonValue::Type::Object;
            ++at_;
            space();
            ok = true;
            if (at_ < s_.size() && s_[at_] == '}') {
                ++at_;
            } else {
                for (;;) {
                    space();
                    std::string name;
                    JsonValue member;
                    if (!string(name))
                        return false;
                    space();
                    if (at_ >= s_.size() || s_[at_++] != ':' || !value(member, depth + 1))
                        return false;
                    out.members.emplace_back(std::move(name), std::move(member));
                    space();
                    if (at_ < s_.size() && s_[at_] == ',') {
                        ++at_;
                        continue;
                    }
                    if (at_ < s_.size() && s_[at_] == '}') {
                        ++at_;
                        break;
                    }
                    return false;
                }
            }
        } else if (c == '[') {
            out.type = JsonValue::Type::Array;
            ++at_;
            space();
            ok = true;
            if (at_ < s_.size() && s_[at_] == ']') {
                ++at_;
            } else {
                for (;;) {
                    JsonValue item;
                    if (!value(item, depth + 1))
                        return false;
                    out.items.push_back(std::move(item));
                    space();
                    if (at_ < s_.size() && s_[at_] == ',') {
                        ++at_;
                        continue;
                    }
                    if (at_ < s_.size() && s_[at_] == ']') {
                        ++at_;
                        break;
                    }
                    return false;
                }
            }
        } else if (c == '"') {
            out.type = JsonValue::Type::String;
            ok = string(out.text);
        } else if (c == 't' || c == 'f') {
            out.type = JsonValue::Type::Bool;
            out.flag = c == 't';
            ok = literal(out.flag ? "true" : "false");
        } else if (c == 'n') {
            ok = literal("null");
        } else {
            const char* start = s_.c_str() + at_;
            if (!(c == '-' || (c >= '0' && c <= '9')))
                return false;
            char* stop = nullptr;
            out.type = JsonValue::Type::Number;
            out.number = std::strtod(start, &stop);
            ok = stop != start;
            at_ += static_cast<size_t>(stop - start);
        }
        out.end = at_;
        return ok;
    }

    const std::string& s_;
    size_t at_ = 0;
};

}  // namespace

const JsonValue* JsonValue::find(const std::string& name) const {
    for (const auto& [key, value] : members) {
        if (key == name)
            return &value;
    }
    return nullptr;
}

std::string JsonValue::textOf(const std::string& name) const {
    const JsonValue* v = find(name);
    return v && v->type == Type::String ? v->text : std::string();
}

double JsonValue::numberOf(const std::string& name, double fallback) const {
    const JsonValue* v = find(name);
    return v && v->type == Type::Number ? v->number : fallback;
}

bool JsonValue::flagOf(const std::string& name) const {
    const JsonValue* v = find(name);
    return v && v->type == Type::Bool && v->flag;
}

bool parseJson(const std::string& text, JsonValue& out) {
    out = JsonValue();
    return Parser(text).document(out);
}

}  // namespace zor
