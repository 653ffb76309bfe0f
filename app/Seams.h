// What would block a test, behind small seams that the program wires to Qt
// and tests replace: how a modal dialog is run, and how an error that escapes
// a handler is shown. (Message boxes have their seam in Messages.h.)
#pragma once

#include <functional>
#include <string>

class QDialog;

namespace quillon {

// Runs a dialog modally and returns its result (QDialog::Accepted or
// Rejected). The program's runner is QDialog::exec().
using ModalRunner = std::function<int(QDialog&)>;
ModalRunner set_modal_runner(ModalRunner runner);
int run_modal(QDialog& dialog);

// The program's default error display: a message box with the error's text
// (for a conversion error, "'abc' is not a valid integer value."), after
// which the handler has stopped and the program carries on.
void show_default_error(const std::string& text);

// Runs a handler; an error escaping it goes to the default error display.
void run_guarded(const std::function<void()>& handler);

}  // namespace quillon
