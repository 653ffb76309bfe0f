// Where a log saved after a trigger goes: "Autolog_yyyymmddhhnnss.txt" in
// <documents>/Orvitek Corporation/Quillon.
#pragma once

#include <QDateTime>
#include <QString>

#include <optional>

namespace quillon {

// The file name for a log saved at when.
QString auto_save_file_name(const QDateTime& when);

// The save folder inside documents, made when missing; nothing when there is
// no documents folder or the save folder cannot be made.
std::optional<QString> auto_save_folder(const QString& documents);

}  // namespace quillon
