#include "JsonLine.h"

#include <QByteArray>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QStringDecoder>

namespace quillon {

namespace {

std::string json_text(const QJsonValue& value)
{
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

// Whether the bytes are UTF-8 throughout; a sequence cut at the end is not.
bool is_utf8(const QByteArray& bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    static_cast<void>(QString(decoder.decode(bytes)));
    return !decoder.hasError();
}

}  // namespace

JsonLine& JsonLine::add(const char* key, const QJsonValue& value)
{
    members_.emplace_back(json_text(QJsonValue(key)), json_text(value));
    return *this;
}

JsonLine& JsonLine::add(const char* key, const JsonLine& object)
{
    members_.emplace_back(json_text(QJsonValue(key)), object.text());
    return *this;
}

JsonLine& JsonLine::add(const char* key, const std::vector<JsonLine>& objects)
{
    std::string array = "[";
    for (std::size_t i = 0; i < objects.size(); ++i) {
        array += (i == 0 ? "" : ", ") + objects[i].text();
    }
    members_.emplace_back(json_text(QJsonValue(key)), array + "]");
    return *this;
}

std::string JsonLine::text() const
{
    std::string text = "{";
    for (std::size_t i = 0; i < members_.size(); ++i) {
        text += (i == 0 ? "" : ", ") + members_[i].first + ": " + members_[i].second;
    }
    return text + "}";
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
