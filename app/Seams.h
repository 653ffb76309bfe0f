// What would block a test, behind small seams that the program wires to Qt
// and tests replace: how a modal dialog is run, the file save dialog, the
// clock, the documents folder, and how an error that escapes a handler is
// shown. (Message boxes have their seam in Messages.h.)
#pragma once

#include <QDateTime>
#include <QString>

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

// The file save dialog of the main window: proposes a file name, asks before
// replacing a file, adds ".txt" to a name without extension. Nothing when
// the user cancels.
using SaveDialogRunner = std::function<std::optional<QString>(const QString& proposed)>;
SaveDialogRunner set_save_dialog(SaveDialogRunner runner);
std::optional<QString> run_save_dialog(const QString& proposed);

// The local clock.
using LocalClock = std::function<QDateTime()>;
LocalClock set_clock(LocalClock clock);
QDateTime local_now();

// The user's documents folder.
using DocumentsFolder = std::function<QString()>;
DocumentsFolder set_documents_folder(DocumentsFolder folder);
QString documents_folder();

// The program's default error display: a message box with the error's text
// (for a conversion error, "'abc' is not a valid integer value."), after
// which the handler has stopped and the program carries on.
void show_default_error(const std::string& text);

// Runs a handler; an error escaping it goes to the default error display.
void run_guarded(const std::function<void()>& handler);

}  // namespace quillon
