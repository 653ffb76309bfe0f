// Where a log saved after a trigger goes: "Autolog_yyyymmddhhnnss.txt" in
// <documents>/Orvitek Corporation/Quillon.
#pragma once

#include <QDateTime>
#include <QString>

#include <optional>
#include <string_view>

namespace quillon {

// The file name for a log saved at when; nth > 1 for a further log of the
// same second: "Autolog_yyyymmddhhnnss_2.txt", "_3", ...
QString auto_save_file_name(const QDateTime& when, int nth = 1);

// Writes text as a new file in folder under the name for when, never over
// another file: a name already taken (a log saved in the same second by this
// or another program) gives way to the next _N. The path written; throws
// write_error() when the file cannot be written.
QString write_auto_save(const QString& folder, const QDateTime& when, std::string_view text);

// Where a capture that a series' condition left out goes: the folder
// "left-out" beside it, made when missing.
inline constexpr const char* kLeftOutFolder = "left-out";

// A capture moved into the left-out folder: its new path, or why it stayed.
struct LeftOutMove {
    std::optional<QString> path;
    QString failure;
};
// Moves a saved capture into kLeftOutFolder beside it, never over another
// file: a name taken there gives way to "NAME_2.txt", "_3", ...
LeftOutMove move_left_out(const QString& path);

// The save folder inside documents, made when missing; nothing when there is
// no documents folder or the save folder cannot be made.
std::optional<QString> auto_save_folder(const QString& documents);
// Where that folder is, made or not; "" without a documents folder.
QString auto_save_folder_path(const QString& documents);

}  // namespace quillon
