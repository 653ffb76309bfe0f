// One JSON object on one line, its members in the order they were added
// ({"status": "IDLE", "phase": "00", ...}): what a script reads line by
// line. Each value is written by Qt's JSON writer.
#pragma once

#include <QJsonValue>

#include <concepts>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace quillon {

class JsonLine {
public:
    JsonLine& add(const char* key, const QJsonValue& value);
    // The same without a QJsonValue, for the values written most.
    template <std::integral Number>
    requires(!std::same_as<Number, bool>) JsonLine& add(const char* key, Number number)
    {
        return add_integer(key, static_cast<std::int64_t>(number));
    }
    JsonLine& add(const char* key, bool value);
    // Without it a double would be taken for a bool.
    JsonLine& add(const char* key, double number) { return add(key, QJsonValue(number)); }
    JsonLine& add(const char* key, const char* text);  // UTF-8
    JsonLine& add(const char* key, const JsonLine& object);
    JsonLine& add(const char* key, const std::vector<JsonLine>& objects);
    std::string text() const;  // without a line end

private:
    JsonLine& add_integer(const char* key, std::int64_t number);
    // Appends ", " when a member went before, then the key quoted and ": ".
    void start_member(const char* key);
    void append_to(std::string& text) const;

    // The members so far, as JSON without the braces: one text, so that
    // the many small objects of a series cost no allocation per member.
    std::string members_;
};

// A number, or null for none.
inline QJsonValue number_or_null(std::optional<int> number)
{
    return number ? QJsonValue(*number) : QJsonValue();
}

// A file name, given as the bytes the system knows it by: key holds it
// decoded (each byte that is not UTF-8 as U+FFFD), and only when the bytes
// are not UTF-8, key + "_bytes" holds them in lower-case hexadecimal, so
// that a script can still name the file.
JsonLine& add_file_name(JsonLine& object, const char* key, const std::string& name_bytes);

}  // namespace quillon
