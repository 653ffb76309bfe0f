// Saved captures for the benchmarks that read many: a log with the bytes of
// a busy line, fired at its record 250, and a week of them.
#pragma once

#include "AtomicFile.h"
#include "LogAnalysis.h"
#include "LogText.h"
#include "TestEnvironment.h"

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace benchsupport {

// A log with the bytes of a busy line, written as SAVE LOG writes it; its
// record 250 met the stop condition, so that it fired there.
inline std::string log_text(unsigned seed)
{
    std::mt19937 random(seed);
    std::vector<std::string> lines{"#Date and Time  : 2026/12/08 18:31:10",
                                   "#Stop Condition : Send[2] & 0x0F = 0x01 ,count 5", ""};
    for (int i = 0; i < quillon::kLogRecords; ++i) {
        quillon::LogRecord record{};
        for (auto& byte : record) {
            byte = static_cast<std::uint8_t>(random());
        }
        if (i == quillon::kLogRecords - 1 - 5) {
            record[quillon::record_byte_index(quillon::Direction::Send, 2)] = 0x01;
        }
        lines.push_back(quillon::record_line(record));
    }
    std::string text;
    for (const auto& line : lines) {
        text += line + "\r\n";
    }
    return text;
}

// A week of captures, made once for the benchmarks that read them all.
inline const std::vector<std::string>& ten_thousand_files()
{
    static const std::vector<std::string> files = [] {
        const std::string folder = testsupport::private_root() + "/many";
        std::filesystem::create_directories(folder);
        std::vector<std::string> made;
        for (unsigned i = 0; i < 10000; ++i) {
            // One capture a minute from 2026-12-01 00:00.
            char name[64];
            std::snprintf(name, sizeof name, "/Autolog_202612%02u%02u%02u00.txt", 1 + i / 1440,
                          i / 60 % 24, i % 60);
            made.push_back(folder + name);
            quillon::write_file_atomically(made.back(), log_text(i));
        }
        return made;
    }();
    return files;
}

// A fields file of count fields, each entry on its own line as a generated
// file is; its path.
inline std::string many_fields_file(int count)
{
    std::string text = "{\"fields\": [\n";
    for (int i = 0; i < count; ++i) {
        text += "{\"name\": \"f" + std::to_string(i) +
                "\", \"direction\": \"send\", \"byte\": " + std::to_string(i % 16) +
                (i + 1 < count ? "},\n" : "}\n");
    }
    text += "]}\n";
    const std::string path =
        testsupport::private_root() + "/fields-" + std::to_string(count) + ".json";
    quillon::write_file_atomically(path, text);
    return path;
}

}  // namespace benchsupport
