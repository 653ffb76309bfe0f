// Quillon's program entry: the application, then the main window (which
// loads the link libraries, reads the settings and connects), then the
// configuration dialog, then the log view window, then a browser for each
// log file named on the command line; then the message loop. When a Quillon
// runs already, its files are handed to it instead (or it is raised), and
// this one ends before it opens the port that the first one holds.
#include "IniFile.h"
#include "Language.h"
#include "MessageBoxes.h"
#include "SingleInstance.h"
#include "Startup.h"
#include "Wording.h"

#include <QApplication>
#include <QMessageBox>

#include <cstdlib>
#include <exception>
#include <iostream>
#include <string>
#include <utility>
#include <vector>

namespace {

// Qt ends a program whose window system cannot be reached (no display, or one
// that does not answer) with qFatal, which aborts. While the application is
// made, Qt's messages are held back: a fatal one ends the program with one
// line and status 1 instead; the others are passed on once it stands.
struct HeldMessage {
    QtMsgType type;
    std::string category;
    QString text;
};
std::vector<HeldMessage> held_messages;

void hold_message(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (type == QtFatalMsg) {
        const char* display = std::getenv("DISPLAY");
        std::cerr << "quillon: cannot open the display "
                  << (display != nullptr && *display != '\0' ? display : "(DISPLAY is not set)")
                  << "; quillon needs a graphical session, see quillon-cli for the command line"
                  << std::endl;
        std::_Exit(1);
    }
    held_messages.push_back({type, context.category != nullptr ? context.category : "", text});
}

void pass_on_held_messages(QtMessageHandler handler)
{
    for (const HeldMessage& message : held_messages) {
        handler(message.type, QMessageLogContext(nullptr, 0, nullptr, message.category.c_str()),
                message.text);
    }
    held_messages.clear();
}

}  // namespace

int main(int argc, char** argv)
{
    const QtMessageHandler qt_handler = qInstallMessageHandler(hold_message);
    QApplication application(argc, argv);
    qInstallMessageHandler(qt_handler);
    pass_on_held_messages(qt_handler);
    QApplication::setApplicationName("Quillon");
    quillon::install_qt_message_boxes();
    try {
        quillon::apply_language(quillon::language_setting(quillon::settings_file_path()));
        const QStringList files = QApplication::arguments().mid(1);
        quillon::InstanceClaim claim =
            quillon::claim_instance(quillon::instance_socket_path(), files);
        if (claim.outcome == quillon::InstanceClaim::Outcome::HandedOver) {
            return 0;
        }
        if (claim.outcome == quillon::InstanceClaim::Outcome::NoAnswer) {
            QMessageBox::warning(nullptr, QApplication::applicationName(),
                                 QCoreApplication::translate(
                                     "main", "Quillon is running already but does not answer."));
            return 1;
        }
        const auto windows =
            quillon::start_program(quillon::settings_file_path(), files, std::move(claim.server));
        if (!windows) {
            return 0;  // a link library is missing; the user has been told
        }
        QApplication::exec();
    } catch (const std::exception&) {
        QMessageBox::critical(nullptr, QApplication::applicationName(),
                              quillon::worded_message(QUILLON_TEXT("Message", "Error Occurred!")));
    }
    return 0;
}
