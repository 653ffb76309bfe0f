// What would block a test, behind small seams that the program wires to Qt
// and tests replace: how a modal dialog is run, the file dialogs, the
// clock, the documents folder, how a document is opened, and how an error
// that escapes a handler is shown. (Message boxes have their seam in
// Messages.h.)
#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <optional>
#include <string>

class QDialog;

namespace quillon {

// Runs a dialog modally and returns its result (QDialog::Accepted or
// Rejected). The program's runner is QDialog::exec().
using ModalRunner = std::function<int(QDialog&)>;
ModalRunner set_modal_runner(ModalRunner runner);
int run_modal(QDialog& dialog);

// A file save dialog: it proposes a file name, offers the filter (Qt's
// "Text (*.a);;All (*)" form), adds the default suffix to a name without
// extension, and asks before replacing a file. Nothing when the user cancels.
// The path must exist: run_save_dialog refuses a name in a folder that does
// not, whichever runner answered, with a warning, and asks again.
struct SaveRequest {
    QString proposed;
    QString filter;
    QString default_suffix;
};
// The filters of the main window's "SAVE LOG" dialog, text files first.
// Each filter's name is followed by its pattern, once: Qt's dialog shows
// the name as it is.
QString log_file_filter();
// The filters of a dialog that opens logs: log files and all files (no
// reader takes CSV).
QString log_open_filter();
// The main window's "SAVE LOG" dialog.
SaveRequest log_text_save_request(const QString& proposed);

using SaveDialogRunner = std::function<std::optional<QString>(const SaveRequest& request)>;
SaveDialogRunner set_save_dialog(SaveDialogRunner runner);
std::optional<QString> run_save_dialog(const SaveRequest& request);

// A file open dialog for existing files, several at once, with the filter
// given, starting in folder; the files chosen, none when the user cancels.
using OpenDialogRunner = std::function<QStringList(const QString& filter, const QString& folder)>;
OpenDialogRunner set_open_dialog(OpenDialogRunner runner);
QStringList run_open_dialog(const QString& filter, const QString& folder);

// A folder dialog for an existing folder, starting in folder; the folder
// chosen, "" when the user cancels.
using FolderDialogRunner = std::function<QString(const QString& folder)>;
FolderDialogRunner set_folder_dialog(FolderDialogRunner runner);
QString run_folder_dialog(const QString& folder);

// Where "Open Log..." and "Open Series..." start: the folder of the log (or
// series) opened last in this session, else the automatic save folder when
// it exists, else the documents folder.
QString log_start_folder();
// Remembers the folder of a log file opened, or a series' folder.
void remember_log_opened(const QString& file_or_folder);
// Forgets it (for tests).
void forget_logs_opened();

// The local clock.
using LocalClock = std::function<QDateTime()>;
LocalClock set_clock(LocalClock clock);
QDateTime local_now();

// The user's documents folder.
using DocumentsFolder = std::function<QString()>;
DocumentsFolder set_documents_folder(DocumentsFolder folder);
QString documents_folder();

// Opens a document in the desktop's viewer; false when none could.
using DocumentOpener = std::function<bool(const QUrl& document)>;
DocumentOpener set_document_opener(DocumentOpener opener);
bool open_document(const QUrl& document);

// The program's default error display: a message box with the error's text
// (for a conversion error, "'abc' is not a valid integer value."), after
// which the handler has stopped and the program carries on.
void show_default_error(const std::string& text);

// Runs a handler; an error escaping it goes to the default error display.
void run_guarded(const std::function<void()>& handler);

}  // namespace quillon
