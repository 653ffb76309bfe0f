#include "AutoSave.h"

#include <QDir>

namespace quillon {

QString auto_save_file_name(const QDateTime& when)
{
    return "Autolog_" + when.toString("yyyyMMddhhmmss") + ".txt";
}

std::optional<QString> auto_save_folder(const QString& documents)
{
    if (documents.isEmpty()) {
        return std::nullopt;
    }
    const QString maker = documents + "/Orvitek Corporation";
    const QString folder = maker + "/Quillon";
    // The maker's folder is made only together with ours: an existing one
    // is used as it is.
    const bool made = QDir(maker).exists() ? (QDir(folder).exists() || QDir().mkdir(folder))
                                           : QDir().mkpath(folder);
    if (!made) {
        return std::nullopt;
    }
    return folder;
}

}  // namespace quillon
