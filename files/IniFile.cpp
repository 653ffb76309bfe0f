#include "IniFile.h"

#include "AtomicFile.h"
#include "IntegerText.h"
#include "SettingsLocation.h"
#include "SharedLibrary.h"
#include "SmallFile.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <stdexcept>
#include <string_view>

namespace quillon {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool holds_line_break(const std::string& text)
{
    return text.find_first_of("\r\n") != std::string::npos;
}

std::string trimmed(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

bool same_name(const std::string& a, const std::string& b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::tolower(x) == std::tolower(y);
           });
}

// "[Name]" gives Name; any other line gives nothing.
std::optional<std::string> section_name(const std::string& line)
{
    const std::string text = trimmed(line);
    if (text.size() < 2 || text.front() != '[') {
        return std::nullopt;
    }
    const auto close = text.find(']');
    if (close == std::string::npos) {
        return std::nullopt;
    }
    return trimmed(text.substr(1, close - 1));
}

std::optional<std::string> key_of(const std::string& line)
{
    const auto equals = line.find('=');
    if (equals == std::string::npos || trimmed(line).starts_with(";")) {
        return std::nullopt;
    }
    return trimmed(line.substr(0, equals));
}

std::string value_of(const std::string& line)
{
    std::string value = trimmed(line.substr(line.find('=') + 1));
    // A value in double quotes reads without them, as the profile functions do.
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
        value = value.substr(1, value.size() - 2);
    }
    return value;
}

}  // namespace

IniFile::IniFile(std::string path) : path_(std::move(path))
{
    std::string bytes;
    const SmallFileState state = read_small_file(path_, kLargestFile, bytes).state;
    unreadable_ = state != SmallFileState::Read && state != SmallFileState::Missing;
    if (state != SmallFileState::Read) {
        return;
    }
    std::string_view text = bytes;
    // An editor's byte-order mark must not hide the first section header.
    byte_order_mark_ = text.starts_with(kByteOrderMark);
    if (byte_order_mark_) {
        text.remove_prefix(kByteOrderMark.size());
    }
    while (!text.empty()) {
        const auto end = std::min(text.find('\n'), text.size());
        std::string line(text.substr(0, end));
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines_.push_back(std::move(line));
        text.remove_prefix(std::min(end + 1, text.size()));
    }
}

std::optional<IniFile::Location> IniFile::find(const std::string& section,
                                               const std::string& key) const
{
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const auto name = section_name(lines_[i]);
        if (!name || !same_name(*name, section)) {
            continue;
        }
        Location where{i, lines_.size(), std::nullopt};
        for (std::size_t j = i + 1; j < lines_.size(); ++j) {
            if (section_name(lines_[j])) {
                where.end = j;
                break;
            }
            const auto found = key_of(lines_[j]);
            if (!where.key_line && found && same_name(*found, key)) {
                where.key_line = j;
            }
        }
        return where;
    }
    return std::nullopt;
}

std::string IniFile::read_string(const std::string& section, const std::string& key,
                                 const std::string& fallback) const
{
    const auto where = find(section, key);
    if (!where || !where->key_line) {
        return fallback;
    }
    return value_of(lines_[*where->key_line]);
}

std::int32_t IniFile::read_integer(const std::string& section, const std::string& key,
                                   std::int32_t fallback) const
{
    const auto where = find(section, key);
    if (!where || !where->key_line) {
        return fallback;
    }
    try {
        return integer_from_text(value_of(lines_[*where->key_line]));
    } catch (const ConversionError&) {
        return fallback;
    }
}

void IniFile::write_string(const std::string& section, const std::string& key,
                           const std::string& value)
{
    if (holds_line_break(section) || holds_line_break(key) || holds_line_break(value)) {
        throw write_error(path_, "A line break cannot be written into a value");
    }
    const std::string line = key + "=" + value;
    const auto where = find(section, key);
    if (!where) {
        lines_.push_back("[" + section + "]");
        lines_.push_back(line);
        return;
    }
    if (where->key_line) {
        lines_[*where->key_line] = line;
        return;
    }
    // A new key goes behind the section's last non-blank line.
    std::size_t insert_at = where->end;
    while (insert_at > where->section_line + 1 && trimmed(lines_[insert_at - 1]).empty()) {
        --insert_at;
    }
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insert_at), line);
}

void IniFile::write_integer(const std::string& section, const std::string& key, std::int32_t value)
{
    write_string(section, key, std::to_string(value));
}

void IniFile::save() const
{
    if (unreadable_) {
        throw write_error(path_, "It could not be read, so it is kept as it is");
    }
    write_file_atomically(path_, (byte_order_mark_ ? std::string(kByteOrderMark) : std::string()) +
                                     crlf_text(lines_));
}

std::string settings_file_path()
{
    return settings_path_of(running_program_path());
}

}  // namespace quillon
