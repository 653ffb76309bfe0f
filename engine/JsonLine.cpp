#include "JsonLine.h"

#include <QByteArray>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QStringDecoder>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <iterator>
#include <optional>

namespace quillon {

namespace {

// A text of printable ASCII without a quote or a backslash, which JSON
// writes as it is.
bool is_plain_text(const QString& text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) {
        return c.unicode() >= 0x20 && c.unicode() < 0x7F && c != u'"' && c != u'\\';
    });
}

// The values written most (null, booleans, whole numbers, plain texts)
// without a document of their own each: a series' JSON holds hundreds of
// thousands. Qt writes these the same way.
std::optional<std::string> common_json_text(const QJsonValue& value)
{
    constexpr double kLargestExact = 9007199254740992.0;  // 2^53
    switch (value.type()) {
    case QJsonValue::Null: return "null";
    case QJsonValue::Bool: return value.toBool() ? "true" : "false";
    case QJsonValue::Double: {
        const double number = value.toDouble();
        if (number == std::trunc(number) && std::fabs(number) <= kLargestExact) {
            return std::to_string(std::int64_t(number));
        }
        return std::nullopt;
    }
    case QJsonValue::String: {
        const QString text = value.toString();
        if (is_plain_text(text)) {
            return '"' + text.toStdString() + '"';
        }
        return std::nullopt;
    }
    default: return std::nullopt;
    }
}

std::string json_text(const QJsonValue& value)
{
    if (auto common = common_json_text(value)) {
        return std::move(*common);
    }
    if (value.isArray()) {
        std::string text = "[";
        const QJsonArray array = value.toArray();
        for (qsizetype i = 0; i < array.size(); ++i) {
            text += (i == 0 ? "" : ", ") + json_text(array[i]);
        }
        return text + "]";
    }
    // Qt writes documents only: the value alone in an array, brackets off.
    const QByteArray wrapped = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    return wrapped.mid(1, wrapped.size() - 2).toStdString();
}

// A key or a text given as UTF-8 bytes, quoted.
std::string quoted_text(std::string_view text)
{
    const bool plain = std::all_of(text.begin(), text.end(), [](char c) {
        return c >= 0x20 && c < 0x7F && c != '"' && c != '\\';
    });
    if (plain) {
        std::string quoted;
        quoted.reserve(text.size() + 2);
        quoted += '"';
        quoted += text;
        quoted += '"';
        return quoted;
    }
    return json_text(QString::fromUtf8(text.data(), qsizetype(text.size())));
}

// Whether the bytes are UTF-8 throughout; a sequence cut at the end is not.
bool is_utf8(const QByteArray& bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    static_cast<void>(QString(decoder.decode(bytes)));
    return !decoder.hasError();
}

}  // namespace

void JsonLine::start_member(const char* key)
{
    if (!members_.empty()) {
        members_ += ", ";
    }
    members_ += quoted_text(key);
    members_ += ": ";
}

JsonLine& JsonLine::add(const char* key, const QJsonValue& value)
{
    start_member(key);
    members_ += json_text(value);
    return *this;
}

JsonLine& JsonLine::add_integer(const char* key, std::int64_t number)
{
    start_member(key);
    char digits[24];
    const auto end = std::to_chars(std::begin(digits), std::end(digits), number).ptr;
    members_.append(digits, end);
    return *this;
}

JsonLine& JsonLine::add(const char* key, bool value)
{
    start_member(key);
    members_ += value ? "true" : "false";
    return *this;
}

JsonLine& JsonLine::add(const char* key, const char* text)
{
    start_member(key);
    members_ += quoted_text(text);
    return *this;
}

JsonLine& JsonLine::add(const char* key, const JsonLine& object)
{
    start_member(key);
    object.append_to(members_);
    return *this;
}

JsonLine& JsonLine::add(const char* key, const std::vector<JsonLine>& objects)
{
    start_member(key);
    members_ += '[';
    for (std::size_t i = 0; i < objects.size(); ++i) {
        if (i > 0) {
            members_ += ", ";
        }
        objects[i].append_to(members_);
    }
    members_ += ']';
    return *this;
}

void JsonLine::append_to(std::string& text) const
{
    text += '{';
    text += members_;
    text += '}';
}

std::string JsonLine::text() const
{
    std::string text;
    text.reserve(members_.size() + 2);
    append_to(text);
    return text;
}

JsonLine& add_file_name(JsonLine& object, const char* key, const std::string& name_bytes)
{
    const QByteArray bytes = QByteArray::fromStdString(name_bytes);
    object.add(key, QFile::decodeName(bytes));
    if (!is_utf8(bytes)) {
        object.add((std::string(key) + "_bytes").c_str(), QString::fromLatin1(bytes.toHex()));
    }
    return object;
}

}  // namespace quillon
