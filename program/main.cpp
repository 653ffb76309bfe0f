// Quillon's program entry: the application, then the main window (which
// loads the link libraries, reads the settings and connects), then the
// configuration dialog, then the log view window, then a browser for each
// log file named on the command line; then the message loop. When a Quillon
// runs already, its files are handed to it instead (or it is raised), and
// this one ends before it opens the port that the first one holds.
// --help and --version are answered before there is a display; file names
// are taken from argv as the bytes they are, never through Qt's text.
#include "IniFile.h"
#include "Language.h"
#include "MessageBoxes.h"
#include "SingleInstance.h"
#include "Startup.h"
#include "Version.h"
#include "Wording.h"

#include <QApplication>
#include <QMessageBox>

#include <cstdlib>
#include <cstring>
#include <exception>
#include <iostream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr int kUsage = 2;

constexpr const char* kHelp =
    "Usage: quillon [OPTIONS] [FILE]...\n"
    "Connects to a servo amplifier, captures its communication log and shows\n"
    "saved logs. Each FILE is a saved log, opened in a log browser; a folder, or\n"
    "two or more files, open as a series. When Quillon runs already, the files\n"
    "are handed to it (without any, its main window comes to the front).\n"
    "\nOptions:\n"
    "  --help\n"
    "      shows this help\n"
    "  --version\n"
    "      shows the program's version\n"
    "  --\n"
    "      ends the options: every word after it is a FILE\n"
    "Qt's own options (-style, -platform, ...) are taken as well.\n"
    "\nExit status: 0 done; 1 no display, or the running Quillon did not take the\n"
    "files; 2 bad usage.\n";

bool is_option(const char* arg)
{
    return arg[0] == '-' && arg[1] != '\0';
}

// The words before "--", which may be options (Qt's among them).
int options_end(int argc, char** argv)
{
    int end = 1;
    while (end < argc && std::strcmp(argv[end], "--") != 0) {
        ++end;
    }
    return end;
}

// --help or --version, answered at once; nothing when neither was given.
std::optional<int> answer_at_once(int argc, char** argv)
{
    for (int i = 1; i < options_end(argc, argv); ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::cout << kHelp << std::flush;
            return 0;
        }
        if (arg == "--version") {
            std::cout << "quillon (Quillon) " << quillon::kVersion << std::endl;
            return 0;
        }
    }
    return std::nullopt;
}

// The files named by the words that Qt left (it takes its own options out
// of argv) and by every word after "--"; nothing, after a message, when an
// option is not one.
std::optional<std::vector<std::string>> named_files(int qt_argc, char** qt_argv, int argc,
                                                    char** argv)
{
    std::vector<std::string> files;
    for (int i = 1; i < qt_argc; ++i) {
        if (is_option(qt_argv[i])) {
            std::cerr << "quillon: unknown option " << qt_argv[i] << "\nTry 'quillon --help'."
                      << std::endl;
            return std::nullopt;
        }
        files.emplace_back(qt_argv[i]);
    }
    for (int i = options_end(argc, argv) + 1; i < argc; ++i) {
        files.emplace_back(argv[i]);
    }
    return files;
}

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
    if (const auto answered = answer_at_once(argc, argv)) {
        return *answered;
    }
    // Qt sees the words before "--" only, so that no file is taken for one
    // of its options.
    int qt_argc = options_end(argc, argv);
    std::vector<char*> qt_argv(argv, argv + qt_argc);
    qt_argv.push_back(nullptr);
    const QtMessageHandler qt_handler = qInstallMessageHandler(hold_message);
    QApplication application(qt_argc, qt_argv.data());
    qInstallMessageHandler(qt_handler);
    pass_on_held_messages(qt_handler);
    const auto files = named_files(qt_argc, qt_argv.data(), argc, argv);
    if (!files) {
        return kUsage;
    }
    QApplication::setApplicationName("Quillon");
    quillon::install_qt_message_boxes();
    try {
        using Outcome = quillon::InstanceClaim::Outcome;
        quillon::apply_language(quillon::language_setting(quillon::settings_file_path()));
        quillon::InstanceClaim claim =
            quillon::claim_instance(quillon::instance_socket_path(), *files);
        switch (claim.outcome) {
        case Outcome::HandedOver: return 0;
        case Outcome::NoAnswer:
        case Outcome::TooLarge:
            QMessageBox::warning(
                nullptr, QApplication::applicationName(),
                claim.outcome == Outcome::NoAnswer
                    ? QCoreApplication::translate("main",
                                                  "Quillon is running already but does not answer.")
                    : QCoreApplication::translate("main",
                                                  "Quillon is running already, but the files "
                                                  "named are too many to hand over to it."));
            return 1;
        case Outcome::Serving: break;
        case Outcome::NoFolder:
        case Outcome::OpenFolder:
        case Outcome::NotOurs:
        case Outcome::Failed: quillon::say_why_alone(claim); break;
        }
        const auto windows =
            quillon::start_program(quillon::settings_file_path(), *files, std::move(claim.server));
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
