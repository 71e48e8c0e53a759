// A JSON document written straight to a stream, on one line: the writer places the commas and
// escapes the texts, the caller opens and closes objects and arrays in the right order.
#pragma once

#include <ostream>
#include <string_view>
#include <vector>

class JsonWriter {
public:
    explicit JsonWriter(std::ostream& out) : m_out(out) {}

    JsonWriter& open(char bracket);  // '{' or '['
    JsonWriter& close(char bracket);
    JsonWriter& key(std::string_view name);
    JsonWriter& text(std::string_view value);
    JsonWriter& number(long long value);
    JsonWriter& null();
    // A member with a text value.
    JsonWriter& field(std::string_view name, std::string_view value) {
        return key(name).text(value);
    }

private:
    void separate();
    void quoted(std::string_view value);

    std::ostream& m_out;
    std::vector<bool> m_empty;  // per open object or array: nothing written in it yet
    bool m_afterKey = false;
};
