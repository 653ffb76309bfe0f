#include "AutoSave.h"

#include "AtomicFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

namespace quillon {

QString auto_save_file_name(const QDateTime& when, int nth)
{
    const QString series = nth > 1 ? "_" + QString::number(nth) : QString();
    return "Autolog_" + when.toString("yyyyMMddhhmmss") + series + ".txt";
}

namespace {

// The folder's path and the name, one slash between them however the
// folder was typed ("night", "night/").
QString path_in(const QString& folder, const QString& name)
{
    return folder.endsWith('/') ? folder + name : folder + "/" + name;
}

}  // namespace

QString write_auto_save(const QString& folder, const QDateTime& when, std::string_view text)
{
    // Far more than the logs one second can hold: the amplifier's read alone
    // takes most of a second.
    constexpr int kMostNames = 10000;
    for (int nth = 1; nth <= kMostNames; ++nth) {
        QString path = path_in(folder, auto_save_file_name(when, nth));
        if (create_file_exclusively(QFile::encodeName(path).toStdString(), text)) {
            return path;
        }
    }
    throw write_error(QFile::encodeName(path_in(folder, auto_save_file_name(when))).toStdString(),
                      std::strerror(EEXIST));
}

LeftOutMove move_left_out(const QString& path)
{
    const QFileInfo saved(path);
    const QString folder = path_in(saved.path(), kLeftOutFolder);
    if (!QDir(folder).exists() && !QDir().mkdir(folder)) {
        return {std::nullopt, folder + ": " + QString::fromLocal8Bit(std::strerror(errno))};
    }
    constexpr int kMostNames = 10000;
    for (int nth = 1; nth <= kMostNames; ++nth) {
        const QString name = nth == 1 ? saved.fileName()
                                      : saved.completeBaseName() + "_" + QString::number(nth) +
                                            (saved.suffix().isEmpty() ? "" : "." + saved.suffix());
        const QString moved = path_in(folder, name);
        if (QFileInfo::exists(moved)) {
            continue;
        }
        // Qt's rename never replaces a file that appeared meanwhile.
        QFile file(path);
        if (file.rename(moved)) {
            return {moved, {}};
        }
        if (!QFileInfo::exists(moved)) {
            return {std::nullopt, path + ": " + file.errorString()};
        }
    }
    return {std::nullopt, folder + ": " + QString::fromLocal8Bit(std::strerror(EEXIST))};
}

QString auto_save_folder_path(const QString& documents)
{
    return documents.isEmpty() ? QString() : documents + "/Orvitek Corporation/Quillon";
}

std::optional<QString> auto_save_folder(const QString& documents)
{
    if (documents.isEmpty()) {
        return std::nullopt;
    }
    const QString folder = auto_save_folder_path(documents);
    const QString maker = QFileInfo(folder).path();
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
