// A reader and writer of Windows profile (INI) files: "[Section]" headers and
// "key=value" lines, keys and sections matched without regard to case. LF and
// CR LF are both read; CR LF is written. Writing a key leaves every other line
// of the file as it was, a leading UTF-8 byte-order mark included.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quillon {

class IniFile {
public:
    // Reads the file at path; a missing or unreadable file reads as empty.
    // Only a regular file of at most kLargestFile bytes is read: anything
    // else (a pipe, a device, a folder) is unreadable, and opening it never
    // blocks.
    explicit IniFile(std::string path);

    static constexpr std::size_t kLargestFile = 1 << 20;

    const std::string& path() const { return path_; }

    std::string read_string(const std::string& section, const std::string& key,
                            const std::string& fallback) const;
    // The value as an integer by the program's conversion ("0x" hexadecimal
    // included); a missing key or a text that is no integer gives fallback.
    std::int32_t read_integer(const std::string& section, const std::string& key,
                              std::int32_t fallback) const;

    // A line break in the section, key or value would make lines of its own
    // in the file: it throws write_error() naming the file, as a file that
    // cannot be written does, and changes nothing.
    void write_string(const std::string& section, const std::string& key, const std::string& value);
    void write_integer(const std::string& section, const std::string& key, std::int32_t value);

    // Writes the file whole or not at all; throws std::runtime_error naming
    // the file when it cannot. A file that is there but could not be read is
    // never replaced: what it holds would be lost.
    void save() const;

private:
    struct Location {
        std::size_t section_line;             // the "[Section]" line
        std::size_t end;                      // one past the section's last line
        std::optional<std::size_t> key_line;  // the key's line, if present
    };
    std::optional<Location> find(const std::string& section, const std::string& key) const;

    std::string path_;
    std::vector<std::string> lines_;
    bool byte_order_mark_ = false;
    bool unreadable_ = false;  // there, but not read
};

// The settings file of the running program: beside it with the extension
// replaced by ".INI" (build/bin/quillon.INI), or for an installed program
// ~/.config/quillon/quillon.INI (settings_path_of).
std::string settings_file_path();

}  // namespace quillon
