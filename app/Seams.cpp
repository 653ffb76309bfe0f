#include "Seams.h"

#include "AutoSave.h"
#include "Messages.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QStandardPaths>
#include <exception>

namespace quillon {

namespace {

ModalRunner& modal_runner()
{
    static ModalRunner runner = [](QDialog& dialog) { return dialog.exec(); };
    return runner;
}

std::optional<QString> qt_save_dialog(const SaveRequest& request)
{
    QFileDialog dialog(nullptr, QString(), request.proposed, request.filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(request.default_suffix);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    if (!request.proposed.isEmpty()) {
        dialog.selectFile(request.proposed);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return dialog.selectedFiles().front();
}

QStringList qt_open_dialog(const QString& filter, const QString& folder)
{
    QFileDialog dialog(nullptr, QString(), folder, filter);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    if (dialog.exec() != QDialog::Accepted) {
        return {};
    }
    return dialog.selectedFiles();
}

QString qt_folder_dialog(const QString& folder)
{
    QFileDialog dialog(nullptr, QString(), folder);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return dialog.selectedFiles().front();
}

// Each seam: a slot holding the program's default until a test replaces it.
template <typename Function>
Function replace(Function& slot, Function replacement, const Function& fallback)
{
    Function previous = std::move(slot);
    slot = replacement ? std::move(replacement) : fallback;
    return previous;
}

const SaveDialogRunner kQtSaveDialog = qt_save_dialog;
const OpenDialogRunner kQtOpenDialog = qt_open_dialog;
const FolderDialogRunner kQtFolderDialog = qt_folder_dialog;
const LocalClock kSystemClock = [] { return QDateTime::currentDateTime(); };
const DocumentsFolder kDocumentsFolder = [] {
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
};
const DocumentOpener kDesktopOpener = [](const QUrl& document) {
    return QDesktopServices::openUrl(document);
};

SaveDialogRunner& save_dialog()
{
    static SaveDialogRunner runner = kQtSaveDialog;
    return runner;
}

OpenDialogRunner& open_dialog()
{
    static OpenDialogRunner runner = kQtOpenDialog;
    return runner;
}

FolderDialogRunner& folder_dialog()
{
    static FolderDialogRunner runner = kQtFolderDialog;
    return runner;
}

LocalClock& clock_slot()
{
    static LocalClock clock = kSystemClock;
    return clock;
}

DocumentsFolder& documents_slot()
{
    static DocumentsFolder folder = kDocumentsFolder;
    return folder;
}

DocumentOpener& document_opener()
{
    static DocumentOpener opener = kDesktopOpener;
    return opener;
}

// The folder of the log opened last in this session; "" before the first.
QString& last_log_folder()
{
    static QString folder;
    return folder;
}

}  // namespace

SaveDialogRunner set_save_dialog(SaveDialogRunner runner)
{
    return replace(save_dialog(), std::move(runner), kQtSaveDialog);
}

std::optional<QString> run_save_dialog(const SaveRequest& request)
{
    SaveRequest asking = request;
    for (;;) {
        auto chosen = save_dialog()(asking);
        if (!chosen || QFileInfo(*chosen).absoluteDir().exists()) {
            return chosen;
        }
        show_message(
            {QCoreApplication::translate("FileDialogs",
                                         "%1\nThe folder does not exist.\nCheck the path and "
                                         "try again.")
                 .arg(QDir::toNativeSeparators(*chosen))
                 .toStdString(),
             QCoreApplication::translate("FileDialogs", "Save As").toStdString(),
             MessageIcon::Warning});
        asking.proposed = *chosen;
    }
}

QString log_file_filter()
{
    return QStringList{QCoreApplication::translate("FileDialogs", "Text files (*.txt)"),
                       QCoreApplication::translate("FileDialogs", "CSV files (*.csv)"),
                       QCoreApplication::translate("FileDialogs", "All files (*)")}
        .join(";;");
}

QString log_open_filter()
{
    return QStringList{QCoreApplication::translate("FileDialogs", "Log files (*.txt)"),
                       QCoreApplication::translate("FileDialogs", "All files (*)")}
        .join(";;");
}

SaveRequest log_text_save_request(const QString& proposed)
{
    return {proposed, log_file_filter(), "txt"};
}

OpenDialogRunner set_open_dialog(OpenDialogRunner runner)
{
    return replace(open_dialog(), std::move(runner), kQtOpenDialog);
}

QStringList run_open_dialog(const QString& filter, const QString& folder)
{
    return open_dialog()(filter, folder);
}

FolderDialogRunner set_folder_dialog(FolderDialogRunner runner)
{
    return replace(folder_dialog(), std::move(runner), kQtFolderDialog);
}

QString run_folder_dialog(const QString& folder)
{
    return folder_dialog()(folder);
}

QString log_start_folder()
{
    if (QString last = last_log_folder(); !last.isEmpty() && QDir(last).exists()) {
        return last;
    }
    // Where automatic saving puts its logs, when it has made that folder;
    // not made here: opening a dialog should leave no trace.
    const QString documents = documents_folder();
    const QString saved = auto_save_folder_path(documents);
    return !saved.isEmpty() && QDir(saved).exists() ? saved : documents;
}

void remember_log_opened(const QString& file_or_folder)
{
    const QFileInfo opened(file_or_folder);
    last_log_folder() = opened.isDir() ? opened.absoluteFilePath() : opened.absolutePath();
}

void forget_logs_opened()
{
    last_log_folder().clear();
}

LocalClock set_clock(LocalClock clock)
{
    return replace(clock_slot(), std::move(clock), kSystemClock);
}

QDateTime local_now()
{
    return clock_slot()();
}

DocumentsFolder set_documents_folder(DocumentsFolder folder)
{
    return replace(documents_slot(), std::move(folder), kDocumentsFolder);
}

QString documents_folder()
{
    return documents_slot()();
}

DocumentOpener set_document_opener(DocumentOpener opener)
{
    return replace(document_opener(), std::move(opener), kDesktopOpener);
}

bool open_document(const QUrl& document)
{
    return document_opener()(document);
}

ModalRunner set_modal_runner(ModalRunner runner)
{
    static const ModalRunner exec = [](QDialog& dialog) { return dialog.exec(); };
    return replace(modal_runner(), std::move(runner), exec);
}

int run_modal(QDialog& dialog)
{
    return modal_runner()(dialog);
}

void show_default_error(const std::string& text)
{
    show_message({text, "Quillon", MessageIcon::Error});
}

void run_guarded(const std::function<void()>& handler)
{
    try {
        handler();
    } catch (const std::exception& error) {
        show_default_error(error.what());
    }
}

}  // namespace quillon
