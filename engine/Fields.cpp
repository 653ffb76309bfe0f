#include "Fields.h"

#include "HexText.h"
#include "IntegerText.h"
#include "SmallFile.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <span>
#include <unordered_map>
#include <utility>

namespace quillon {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// The line (from 1) that holds the byte at offset.
int line_at(std::string_view text, std::size_t offset)
{
    const auto before = text.substr(0, std::min(offset, text.size()));
    return 1 + int(std::count(before.begin(), before.end(), '\n'));
}

// The closing quote of the JSON string that opens at text[open].
std::size_t string_end(std::string_view text, std::size_t open)
{
    std::size_t at = open + 1;
    while (at < text.size() && text[at] != '"') {
        at += text[at] == '\\' ? 2U : 1U;
    }
    return std::min(at, text.size());
}

bool is_json_space(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

void append_utf8(std::string& text, std::uint32_t code)
{
    const auto byte = [&](std::uint32_t bits) { text += char(std::uint8_t(bits)); };
    if (code < 0x80) {
        byte(code);
    } else if (code < 0x800) {
        byte(0xC0 | (code >> 6));
        byte(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        byte(0xE0 | (code >> 12));
        byte(0x80 | ((code >> 6) & 0x3F));
        byte(0x80 | (code & 0x3F));
    } else {
        byte(0xF0 | (code >> 18));
        byte(0x80 | ((code >> 12) & 0x3F));
        byte(0x80 | ((code >> 6) & 0x3F));
        byte(0x80 | (code & 0x3F));
    }
}

// The four hexadecimal digits of a "u" escape, from text[at]; nothing
// when they are not there.
std::optional<std::uint32_t> escaped_unit(std::string_view text, std::size_t at)
{
    constexpr std::size_t kDigits = 4;
    std::uint32_t unit = 0;
    if (at + kDigits > text.size()) {
        return std::nullopt;
    }
    const char* end = text.data() + at + kDigits;
    const auto read = std::from_chars(text.data() + at, end, unit, 16);
    return read.ec == std::errc() && read.ptr == end ? std::optional(unit) : std::nullopt;
}

// The text of a JSON string's body with its escapes undone, as
// QJsonDocument reads it: a key spelt with an escape is the same key.
std::string unescaped(std::string_view body)
{
    if (body.find('\\') == std::string_view::npos) {
        return std::string(body);
    }
    std::string text;
    for (std::size_t at = 0; at < body.size(); ++at) {
        if (body[at] != '\\' || at + 1 == body.size()) {
            text += body[at];
            continue;
        }
        const char escape = body[++at];
        constexpr std::string_view kLetters = "bfnrt";
        constexpr std::string_view kMeanings = "\b\f\n\r\t";
        if (const auto letter = kLetters.find(escape); letter != std::string_view::npos) {
            text += kMeanings[letter];
        } else if (const auto unit = escape == 'u' ? escaped_unit(body, at + 1) : std::nullopt) {
            at += 4;
            std::uint32_t code = *unit;
            const auto low =
                body.substr(at + 1, 2) == "\\u" ? escaped_unit(body, at + 3) : std::nullopt;
            if (code >= 0xD800 && code < 0xDC00 && low && *low >= 0xDC00 && *low < 0xE000) {
                code = 0x10000 + ((code - 0xD800) << 10) + (*low - 0xDC00);
                at += 6;
            }
            append_utf8(text, code);
        } else {
            text += escape;  // " \ /
        }
    }
    return text;
}

// A key met a second time in one object: the file would silently keep the
// last.
struct KeyGivenTwice {
    std::string key;
    int line = 0;  // the second's
    int first_line = 0;
    std::optional<std::size_t> entry;  // the entry of "fields" it lies in
};

// What the text of a fields file tells that its document does not: the
// line each entry of the top-level "fields" list begins on, and the first
// key given twice in one object.
struct FieldsLayout {
    std::vector<int> entry_lines;
    std::optional<KeyGivenTwice> twice;
};

// One pass over text already read as JSON, counting lines as it goes and
// reading each key with its escapes undone.
FieldsLayout fields_layout(std::string_view text)
{
    struct Open {
        bool object = false;
        bool fields_list = false;
        std::unordered_map<std::string, int> keys;  // an object's, with their lines
    };
    FieldsLayout layout;
    std::vector<Open> open;
    std::size_t list_level = 0;  // the "fields" list's open.size(), while it is open
    std::string top_key;         // the top-level object's last key
    bool key_next = false;
    bool element_next = false;
    int line = 1;
    for (std::size_t at = 0; at < text.size(); ++at) {
        const char c = text[at];
        line += c == '\n' ? 1 : 0;
        if (is_json_space(c)) {
            continue;
        }
        if (std::exchange(element_next, false) && c != ']') {
            layout.entry_lines.push_back(line);
        }
        if (c == '"') {
            const std::size_t end = string_end(text, at);
            const std::string_view body = text.substr(at + 1, end - at - 1);
            if (std::exchange(key_next, false)) {
                std::string key = unescaped(body);
                const auto [first, added] = open.back().keys.emplace(key, line);
                if (!added && !layout.twice) {
                    const bool in_entry = list_level != 0 && open.size() > list_level;
                    layout.twice = KeyGivenTwice{
                        key, line, first->second,
                        in_entry ? std::optional(layout.entry_lines.size() - 1) : std::nullopt};
                }
                if (open.size() == 1) {
                    top_key = std::move(key);
                }
            }
            line += int(std::count(body.begin(), body.end(), '\n'));
            at = end;
        } else if (c == '{' || c == '[') {
            const bool fields_list = c == '[' && open.size() == 1 && top_key == "fields";
            open.push_back({c == '{', fields_list, {}});
            key_next = c == '{';
            element_next = fields_list;
            list_level = fields_list ? open.size() : list_level;
        } else if ((c == '}' || c == ']') && !open.empty()) {
            list_level = open.size() == list_level ? 0 : list_level;
            open.pop_back();
            key_next = false;
        } else if (c == ',' && !open.empty()) {
            key_next = open.back().object;
            element_next = open.back().fields_list;
        }
    }
    return layout;
}

// A JSON integer, or a text as integer64_from_text reads it.
std::optional<std::int64_t> integer_in_json(const QJsonValue& value)
{
    if (value.isString()) {
        return integer64_from_text(value.toString().toStdString());
    }
    constexpr double kLargestExact = 9007199254740992.0;  // 2^53
    const double number = value.toDouble();
    if (!value.isDouble() || number != std::trunc(number) || std::fabs(number) > kLargestExact) {
        return std::nullopt;
    }
    return std::int64_t(number);
}

// A text of the file or of a condition as a message quotes it, its control
// characters escaped.
std::string quoted(std::string_view text)
{
    return '"' + with_control_characters_escaped(text) + '"';
}

// One JSON object of the file, read key by key; every fault is refused with
// the file and the line of the object's entry.
class ObjectReader {
public:
    ObjectReader(QJsonObject object, const std::string& file, int line, std::string owner)
        : object_(std::move(object)), file_(file), line_(line), owner_(std::move(owner))
    {
    }

    [[noreturn]] void refuse(const std::string& reason) const
    {
        throw LogReadError(file_, line_, reason);
    }

    // "\"byte\"", or "\"byte\" of \"when\"".
    std::string label(const char* key) const
    {
        return quoted(key) + (owner_.empty() ? "" : " of " + quoted(owner_));
    }

    void refuse_unknown_keys(std::span<const char* const> known) const
    {
        for (const QString& key : object_.keys()) {
            const std::string text = key.toStdString();
            const bool is_known =
                std::any_of(known.begin(), known.end(), [&](const char* k) { return text == k; });
            if (!is_known) {
                refuse("unknown key " + quoted(text) +
                       (owner_.empty() ? "" : " in " + quoted(owner_)));
            }
        }
    }

    bool has(const char* key) const { return object_.contains(QLatin1String(key)); }

    QJsonValue required(const char* key) const
    {
        if (!has(key)) {
            refuse(label(key) + " is missing");
        }
        return object_.value(QLatin1String(key));
    }

    std::int64_t integer(const char* key, std::int64_t low, std::int64_t high) const
    {
        const auto value = integer_in_json(required(key));
        if (!value || *value < low || *value > high) {
            refuse(label(key) + " must be an integer from " + std::to_string(low) + " to " +
                   std::to_string(high));
        }
        return *value;
    }

    std::int64_t integer_or(const char* key, std::int64_t low, std::int64_t high,
                            std::int64_t fallback) const
    {
        return has(key) ? integer(key, low, high) : fallback;
    }

    // One of two words, the first for false.
    bool choice(const char* key, const char* if_false, const char* if_true) const
    {
        const std::string text = required(key).toString().toStdString();
        if (text != if_false && text != if_true) {
            refuse(label(key) + " must be " + quoted(if_false) + " or " + quoted(if_true));
        }
        return text == if_true;
    }

    bool choice_or(const char* key, const char* if_false, const char* if_true, bool fallback) const
    {
        return has(key) ? choice(key, if_false, if_true) : fallback;
    }

    Direction direction() const
    {
        return choice("direction", "recv", "send") ? Direction::Send : Direction::Recv;
    }

    bool flag_or(const char* key, bool fallback) const
    {
        const QJsonValue value = object_.value(QLatin1String(key));
        if (has(key) && !value.isBool()) {
            refuse(label(key) + " must be true or false");
        }
        return value.toBool(fallback);
    }

    std::string text_or(const char* key, const std::string& fallback) const
    {
        const QJsonValue value = object_.value(QLatin1String(key));
        if (has(key) && !value.isString()) {
            refuse(label(key) + " must be a text");
        }
        return has(key) ? value.toString().toStdString() : fallback;
    }

    QJsonObject object(const char* key) const
    {
        const QJsonValue value = required(key);
        if (!value.isObject()) {
            refuse(label(key) + " must be an object");
        }
        return value.toObject();
    }

    int line() const { return line_; }
    const std::string& file() const { return file_; }

private:
    QJsonObject object_;
    const std::string& file_;
    int line_;
    std::string owner_;
};

constexpr const char* kFieldKeys[] = {"name", "direction", "byte", "width", "order", "signed",
                                      "mask", "scale",     "unit", "names", "when",  "compare"};
constexpr const char* kConditionKeys[] = {"direction", "byte", "mask", "value"};
constexpr std::int64_t kWidths[] = {1, 2, 4};
constexpr std::int64_t kLastByte = kDirectionBytes - 1;

bool is_field_name(const std::string& name)
{
    const auto is_name_character = [](char c) {
        return c == '_' || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
               (c >= '0' && c <= '9');
    };
    return !name.empty() && !(name[0] >= '0' && name[0] <= '9') &&
           std::all_of(name.begin(), name.end(), is_name_character);
}

std::uint32_t width_bits(int width)
{
    return width == 4 ? 0xFFFFFFFFU : (1U << (8 * width)) - 1;
}

std::uint32_t kept_bits(const FieldSpec& field)
{
    return field.mask.value_or(width_bits(field.width));
}

// The raw values a field can take: those of its kept bits, unsigned or
// with the highest as the sign.
std::pair<std::int64_t, std::int64_t> raw_range(const FieldSpec& field)
{
    const std::uint32_t kept = kept_bits(field);
    if (!field.is_signed) {
        return {0, kept};
    }
    const std::int64_t sign = std::int64_t{1} << (int(std::bit_width(kept)) - 1);
    return {-sign, sign - 1};
}

RecordCondition read_condition(const ObjectReader& entry)
{
    const ObjectReader when(entry.object("when"), entry.file(), entry.line(), "when");
    when.refuse_unknown_keys(kConditionKeys);
    RecordCondition condition;
    condition.direction = when.direction();
    condition.byte = int(when.integer("byte", 0, kLastByte));
    condition.mask = std::uint8_t(when.integer_or("mask", 0, 0xFF, 0xFF));
    condition.value = std::uint8_t(when.integer("value", 0, 0xFF));
    if ((condition.value & ~condition.mask) != 0) {
        when.refuse("the value 0x" + hex_byte(condition.value) +
                    " of \"when\" has bits outside its mask 0x" + hex_byte(condition.mask) +
                    ": no record would meet it");
    }
    return condition;
}

std::map<std::int64_t, std::string> read_names(const ObjectReader& entry, const FieldSpec& field)
{
    const QJsonObject names = entry.object("names");
    const auto [low, high] = raw_range(field);
    std::map<std::int64_t, std::string> read;
    std::map<std::int64_t, std::string> keys;
    for (auto it = names.begin(); it != names.end(); ++it) {
        const std::string key = it.key().toStdString();
        const auto raw = integer64_from_text(key);
        if (!raw || *raw < low || *raw > high) {
            entry.refuse("the key " + quoted(key) +
                         " of \"names\" must be a decimal or 0x integer from " +
                         std::to_string(low) + " to " + std::to_string(high));
        }
        if (keys.count(*raw) != 0) {
            entry.refuse("the keys " + quoted(keys[*raw]) + " and " + quoted(key) +
                         " of \"names\" are the same value");
        }
        if (!it.value().isString() || it.value().toString().isEmpty()) {
            entry.refuse("the name of " + quoted(key) + " in \"names\" must be a text, not empty");
        }
        keys[*raw] = key;
        read[*raw] = it.value().toString().toStdString();
    }
    return read;
}

// The shortest text that reads back as value: "0.01", "1e+308".
std::string number_text(double value)
{
    std::array<char, 32> text{};
    const auto written = std::to_chars(text.data(), text.data() + text.size(), value);
    return {text.data(), written.ptr};
}

// A number other than 0 by which no raw value of the field's passes the
// largest number: such a value would show as "inf".
double read_scale(const ObjectReader& entry, const FieldSpec& field)
{
    const QJsonValue scale = entry.has("scale") ? entry.required("scale") : QJsonValue(1.0);
    if (scale.isString()) {
        entry.refuse("\"scale\" must be a number, not text");
    }
    if (!scale.isDouble() || scale.toDouble() == 0.0) {
        entry.refuse("\"scale\" must be a number other than 0");
    }
    const auto [low, high] = raw_range(field);
    const double farthest = double(-low > high ? low : high);
    if (!std::isfinite(farthest * scale.toDouble())) {
        entry.refuse("\"scale\" " + number_text(scale.toDouble()) +
                     " is too large: the raw value " + number_text(farthest) +
                     " times it passes the largest number");
    }
    return scale.toDouble();
}

FieldSpec read_field(const ObjectReader& entry)
{
    entry.refuse_unknown_keys(kFieldKeys);
    FieldSpec field;
    field.line = entry.line();
    field.name = entry.text_or("name", "");
    if (!is_field_name(field.name)) {
        entry.refuse(entry.has("name")
                         ? "the name " + quoted(field.name) +
                               " is not letters, digits and _ that begin with no digit"
                         : "\"name\" is missing");
    }
    field.direction = entry.direction();
    field.byte = int(entry.integer("byte", 0, kLastByte));
    const auto width = entry.has("width") ? integer_in_json(entry.required("width"))
                                          : std::optional<std::int64_t>(1);
    if (!width || std::find(std::begin(kWidths), std::end(kWidths), *width) == std::end(kWidths)) {
        entry.refuse("\"width\" must be 1, 2 or 4");
    }
    field.width = int(*width);
    if (field.byte + field.width > kDirectionBytes) {
        entry.refuse("bytes " + std::to_string(field.byte) + " to " +
                     std::to_string(field.byte + field.width - 1) + " pass the " +
                     std::to_string(kDirectionBytes) + " bytes of a direction");
    }
    field.order =
        entry.choice_or("order", "little", "big", false) ? ByteOrder::Big : ByteOrder::Little;
    field.is_signed = entry.flag_or("signed", false);
    if (entry.has("mask")) {
        field.mask = std::uint32_t(entry.integer("mask", 1, width_bits(field.width)));
    }
    field.scale = read_scale(entry, field);
    field.unit = entry.text_or("unit", "");
    if (entry.has("names")) {
        field.names = read_names(entry, field);
    }
    if (entry.has("when")) {
        field.when = read_condition(entry);
    }
    field.compared = entry.flag_or("compare", true);
    return field;
}

QJsonArray fields_list(const QJsonDocument& document, const std::string& name)
{
    const QJsonObject top = document.object();
    if (!document.isObject() || !top.value("fields").isArray()) {
        throw LogReadError(name, 0, "not a fields file: no object with a \"fields\" list");
    }
    for (const QString& key : top.keys()) {
        if (key != "fields") {
            throw LogReadError(name, 0,
                               "unknown key " + quoted(key.toStdString()) +
                                   ": a fields file holds only \"fields\"");
        }
    }
    return top.value("fields").toArray();
}

// The decimals of the shortest fixed text that reads back as value.
int decimals_of(double value)
{
    if (std::trunc(value) == value) {
        return 0;  // a whole number, as most scales are (1 above all)
    }
    std::string text(400, '\0');
    const auto written =
        std::to_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed);
    text.resize(std::size_t(written.ptr - text.data()));
    const auto point = text.find('.');
    return point == std::string::npos ? 0 : int(text.size() - point - 1);
}

std::string fixed_text(double value, int decimals)
{
    std::string text(std::size_t(400 + decimals), '\0');
    // + 0.0 turns -0 into 0.
    const auto written = std::to_chars(text.data(), text.data() + text.size(), value + 0.0,
                                       std::chars_format::fixed, decimals);
    text.resize(written.ec == std::errc() ? std::size_t(written.ptr - text.data()) : 0);
    return text;
}

// The double nearest to value's text with that many decimals: 1234 x 0.01
// gives 12.34, not 12.340000000000002.
double to_decimals(double value, int decimals)
{
    if (std::trunc(value) == value) {
        return value + 0.0;  // already as its text reads back, -0 as 0
    }
    const std::string text = fixed_text(value, decimals);
    double rounded = value;
    std::from_chars(text.data(), text.data() + text.size(), rounded);
    return rounded;
}

// Where the field's byte i (from its first) stands in its value, 0 the
// lowest.
int place_in_value(const FieldSpec& field, int i)
{
    return field.order == ByteOrder::Little ? i : field.width - 1 - i;
}

std::uint32_t bits_read(const FieldSpec& field, const LogRecord& record)
{
    const std::size_t first = record_byte_index(field.direction, field.byte);
    std::uint32_t bits = 0;
    for (int i = 0; i < field.width; ++i) {
        bits |= std::uint32_t(record[first + std::size_t(i)]) << (8 * place_in_value(field, i));
    }
    return bits;
}

// The kept bits as a number, negative when signed and the highest kept is
// set.
std::int64_t raw_value(std::uint32_t bits, std::uint32_t kept, bool is_signed)
{
    const std::int64_t value = bits & kept;
    if (!is_signed || kept == 0) {
        return value;
    }
    const int sign_bit = int(std::bit_width(kept)) - 1;
    return ((value >> sign_bit) & 1) != 0 ? value - (std::int64_t{1} << (sign_bit + 1)) : value;
}

}  // namespace

FieldsFile parse_fields(std::string_view bytes, const std::string& name)
{
    if (bytes.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
        bytes.remove_prefix(kByteOrderMark.size());
    }
    QJsonParseError error{};
    const QJsonDocument document =
        QJsonDocument::fromJson(QByteArray(bytes.data(), qsizetype(bytes.size())), &error);
    if (error.error != QJsonParseError::NoError) {
        throw LogReadError(name, line_at(bytes, std::size_t(error.offset)),
                           "not JSON: " + error.errorString().toStdString());
    }
    const FieldsLayout layout = fields_layout(bytes);
    const auto refuse_twice = [&] {
        const KeyGivenTwice& twice = *layout.twice;
        throw LogReadError(name, twice.line,
                           "the key " + quoted(twice.key) + " is given twice in one object" +
                               (twice.first_line == twice.line
                                    ? std::string()
                                    : ", first on line " + std::to_string(twice.first_line)));
    };
    if (layout.twice && !layout.twice->entry) {
        refuse_twice();
    }
    const QJsonArray list = fields_list(document, name);
    const bool lines_known = layout.entry_lines.size() == std::size_t(list.size());
    FieldsFile file{name, {}};
    std::unordered_map<std::string, int> lines_of_names;
    for (qsizetype i = 0; i < list.size(); ++i) {
        const std::size_t index = std::size_t(i);
        const int line = lines_known ? layout.entry_lines[index] : 0;
        if (!list[i].isObject()) {
            throw LogReadError(name, line, "field " + std::to_string(i + 1) + " is not an object");
        }
        if (layout.twice && layout.twice->entry == index) {
            refuse_twice();
        }
        FieldSpec field = read_field(ObjectReader(list[i].toObject(), name, line, ""));
        const auto [first, added] = lines_of_names.emplace(field.name, line);
        if (!added) {
            throw LogReadError(name, line,
                               "the name " + quoted(field.name) +
                                   " is taken by the field of line " +
                                   std::to_string(first->second));
        }
        file.fields.push_back(std::move(field));
    }
    return file;
}

FieldsFile read_fields_file(const std::string& path)
{
    return parse_fields(read_small_text(path, kLargestFieldsFile, "a fields file"), path);
}

std::optional<std::int64_t> field_raw(const FieldSpec& field, const LogRecord& record)
{
    if (field.when && !meets(record, *field.when)) {
        return std::nullopt;
    }
    return raw_value(bits_read(field, record), kept_bits(field), field.is_signed);
}

LogRecord field_bits(const FieldSpec& field)
{
    LogRecord bits{};
    const std::uint32_t kept = kept_bits(field);
    const std::size_t first = record_byte_index(field.direction, field.byte);
    for (int i = 0; i < field.width; ++i) {
        bits[first + std::size_t(i)] = std::uint8_t(kept >> (8 * place_in_value(field, i)));
    }
    return bits;
}

ComparisonRules with_fields_left_out(ComparisonRules rules, std::span<const FieldSpec> fields)
{
    for (const FieldSpec& field : fields) {
        if (field.compared) {
            continue;
        }
        const LogRecord bits = field_bits(field);
        for (std::size_t k = 0; k < kRecordBytes; ++k) {
            if (bits[k] != 0) {
                const Direction direction = k < kDirectionBytes ? Direction::Recv : Direction::Send;
                rules.ignore.push_back({direction, int(k % kDirectionBytes), bits[k]});
            }
        }
    }
    return rules;
}

std::uint32_t field_bits_compared(const FieldSpec& field, const LogRecord& compared)
{
    return field.compared ? bits_read(field, compared) & kept_bits(field) : 0;
}

std::optional<std::uint32_t> field_compared_value(const FieldSpec& field, std::uint32_t bits,
                                                  const LogRecord& record)
{
    if (field.when && !meets(record, *field.when)) {
        return std::nullopt;
    }
    return bits_read(field, record) & bits;
}

std::optional<FieldValue> field_value(const FieldSpec& field, const LogRecord& record)
{
    const auto raw = field_raw(field, record);
    if (!raw) {
        return std::nullopt;
    }
    FieldValue value;
    value.raw = *raw;
    value.value = to_decimals(double(value.raw) * field.scale, decimals_of(field.scale));
    const auto named = field.names.find(value.raw);
    if (named != field.names.end()) {
        value.name = named->second;
    }
    return value;
}

std::string field_number_text(const FieldSpec& field, const FieldValue& value)
{
    return fixed_text(value.value, decimals_of(field.scale));
}

std::string field_value_text(const FieldSpec& field, const std::optional<FieldValue>& value)
{
    if (!value) {
        return "";
    }
    if (value->name) {
        return *value->name;
    }
    const std::string number = field_number_text(field, *value);
    return field.unit.empty() ? number : number + " " + field.unit;
}

namespace {

struct ComparisonWord {
    std::string_view word;
    FieldComparison comparison;
};
// The two-character words first, so that "<=" is not read as "<".
constexpr ComparisonWord kComparisonWords[] = {
    {"!=", FieldComparison::NotEqual},
    {"<=", FieldComparison::LessOrEqual},
    {">=", FieldComparison::GreaterOrEqual},
    {"=", FieldComparison::Equal},
    {"<", FieldComparison::Less},
    {">", FieldComparison::Greater},
};

constexpr std::string_view kBlanks = " \t";

std::string_view trimmed(std::string_view text)
{
    const auto first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

// A typed number in the field's unit: decimal with a fraction, or an
// integer in the forms of a fields file; never nan or inf.
std::optional<double> typed_number(std::string_view text)
{
    if (const auto integer = integer64_from_text(text)) {
        return double(*integer);
    }
    double number = 0.0;
    const auto read = std::from_chars(text.data(), text.data() + text.size(), number);
    if (read.ec != std::errc() || read.ptr != text.data() + text.size() || !std::isfinite(number)) {
        return std::nullopt;
    }
    return number;
}

// Why the name of the field that the typed value spells cannot be chosen:
// it reads as a number other than its value, or has blanks at its ends;
// "" when no name is left out so.
std::string name_not_chosen(const FieldSpec& field, std::string_view typed,
                            std::optional<double> number)
{
    const auto exact = [&](const auto& entry) { return entry.second == typed; };
    if (!number && std::ranges::any_of(field.names, exact)) {
        return "";
    }
    const int decimals = decimals_of(field.scale);
    for (const auto& [raw, raw_name] : field.names) {
        const double scaled = to_decimals(double(raw) * field.scale, decimals);
        const std::string value = fixed_text(scaled, decimals);
        if (number && raw_name == typed && scaled != *number) {
            return "--where: " + quoted(typed) + " is both the number " + number_text(*number) +
                   " and the name of the value " + value + " of the field " + quoted(field.name) +
                   "; a name that reads as a number cannot be chosen (write the number another "
                   "way to mean it)";
        }
        if (!number && raw_name != typed && trimmed(raw_name) == typed) {
            return "--where: the name " + quoted(raw_name) + " of the value " + value +
                   " of the field " + quoted(field.name) +
                   " has blanks at its ends and cannot be chosen";
        }
    }
    return "";
}

}  // namespace

TypedFieldCondition field_condition_from_text(std::string_view text,
                                              std::span<const FieldSpec> fields)
{
    const std::string usage = "--where takes \"NAME OP VALUE\", OP one of = != < <= > >=";
    text = trimmed(text);
    const auto name_end = std::min(text.find_first_of(" \t=!<>"), text.size());
    const std::string name(text.substr(0, name_end));
    std::string_view rest = trimmed(text.substr(name_end));
    const auto word =
        std::find_if(std::begin(kComparisonWords), std::end(kComparisonWords),
                     [&](const ComparisonWord& w) { return rest.starts_with(w.word); });
    if (name.empty() || word == std::end(kComparisonWords)) {
        return {std::nullopt, usage + ", not " + quoted(text)};
    }
    rest = trimmed(rest.substr(word->word.size()));
    const auto field = std::find_if(fields.begin(), fields.end(),
                                    [&](const FieldSpec& entry) { return entry.name == name; });
    if (field == fields.end()) {
        return {std::nullopt, "--where: no field is named " + quoted(name)};
    }
    std::optional<double> value = typed_number(rest);
    if (std::string why = name_not_chosen(*field, rest, value); !why.empty()) {
        return {std::nullopt, std::move(why)};
    }
    for (const auto& [raw, raw_name] : field->names) {
        if (!value && raw_name == rest) {
            value = to_decimals(double(raw) * field->scale, decimals_of(field->scale));
        }
    }
    if (!value || rest.empty()) {
        return {std::nullopt, "--where: " + quoted(rest) +
                                  " is neither a number nor a name of the field " + quoted(name)};
    }
    return {FieldCondition{std::size_t(field - fields.begin()), word->comparison, *value}, {}};
}

bool meets(const LogRecord& record, const FieldCondition& condition,
           std::span<const FieldSpec> fields)
{
    const auto value = field_value(fields[condition.field], record);
    if (!value) {
        return false;
    }
    const double v = value->value;
    switch (condition.comparison) {
    case FieldComparison::Equal: return v == condition.value;
    case FieldComparison::NotEqual: return v != condition.value;
    case FieldComparison::Less: return v < condition.value;
    case FieldComparison::LessOrEqual: return v <= condition.value;
    case FieldComparison::Greater: return v > condition.value;
    case FieldComparison::GreaterOrEqual: break;
    }
    return v >= condition.value;
}

}  // namespace quillon
