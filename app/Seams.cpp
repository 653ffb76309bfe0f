#include "Seams.h"

#include "Messages.h"

#include <QDialog>
#include <exception>

namespace quillon {

namespace {

ModalRunner& modal_runner()
{
    static ModalRunner runner = [](QDialog& dialog) { return dialog.exec(); };
    return runner;
}

}  // namespace

ModalRunner set_modal_runner(ModalRunner runner)
{
    ModalRunner previous = std::move(modal_runner());
    modal_runner() = runner ? std::move(runner) : [](QDialog& dialog) { return dialog.exec(); };
    return previous;
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
