// One JSON object on one line, its members in the order they were added
// ({"status": "IDLE", "phase": "00", ...}): what a script reads line by
// line. Each value is written by Qt's JSON writer.
#pragma once

#include <QJsonValue>

#include <string>
#include <utility>
#include <vector>

namespace quillon {

class JsonLine {
public:
    JsonLine& add(const char* key, const QJsonValue& value);
    JsonLine& add(const char* key, const JsonLine& object);
    JsonLine& add(const char* key, const std::vector<JsonLine>& objects);
    std::string text() const;  // without a line end

private:
    std::vector<std::pair<std::string, std::string>> members_;  // key, value as JSON
};

}  // namespace quillon
