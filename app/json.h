#pragma once
// A small writer of one-line JSON documents: what --json prints and what
// --record appends. Texts are taken as UTF-8; every document written is
// well-formed UTF-8 whatever they hold.
#include <cstdint>
#include <string>
#include <vector>

namespace zor {

// The text as a JSON string, quotes included: '"' and '\' escaped, control
// characters below 0x20 and the C1 codes U+0080..U+009F as \u00XX, every
// byte that is not part of well-formed UTF-8 (a device name is a file name:
// any bytes) as U+FFFD; everything else as it is.
std::string jsonString(const std::string& utf8);

class JsonWriter {
  public:
    JsonWriter& beginObject() { return open('{'); }
    JsonWriter& endObject() { return close('}'); }
    JsonWriter& beginArray() { return open('['); }
    JsonWriter& endArray() { return close(']'); }
    // The name of the next member of the object being written.
    JsonWriter& key(const std::string& name);
    JsonWriter& value(const std::string& text);
    JsonWriter& value(const char* text) { return value(std::string(text)); }
    JsonWriter& value(int64_t number);
    JsonWriter& value(int number) { return value(static_cast<int64_t>(number)); }
    JsonWriter& value(unsigned number) { return value(static_cast<int64_t>(number)); }
    JsonWriter& value(uint64_t number);
    JsonWriter& value(double number);
    JsonWriter& value(bool flag);
    JsonWriter& null();
    // A value already written as JSON (a table kept in the history), as it is.
    JsonWriter& raw(const std::string& json);
    // key(name) followed by value(v).
    template <typename T>
    JsonWriter& member(const std::string& name, const T& v) {
        key(name);
        return value(v);
    }

    const std::string& text() const { return out_; }

  private:
    JsonWriter& open(char bracket);
    JsonWriter& close(char bracket);
    void beforeValue();

    std::string out_;
    std::vector<bool> first_;  // per open container: nothing written in it yet
    bool afterKey_ = false;
};

}  // namespace zor
