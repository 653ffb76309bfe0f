#include "Startup.h"

#include "Messages.h"
#include "OpenLogs.h"

#include <QCoreApplication>
#include <QDir>

#include <iostream>

namespace quillon {

namespace {

void bring_to_front(QWidget& window)
{
    window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
    window.show();
    window.raise();
    window.activateWindow();
}

// What keeps this Quillon from the hand-over: English, with %1 the path and
// %2 the system's reason, marked for the catalogue.
const char* why_alone(InstanceClaim::Outcome outcome)
{
    using Outcome = InstanceClaim::Outcome;
    switch (outcome) {
    case Outcome::NoFolder:
        return QT_TRANSLATE_NOOP("main",
                                 "There is no runtime folder for Quillon's socket "
                                 "(XDG_RUNTIME_DIR is not set).");
    case Outcome::OpenFolder:
        return QT_TRANSLATE_NOOP("main",
                                 "%1 is not a folder of yours that only you may enter, so "
                                 "Quillon keeps no socket there.");
    case Outcome::NotOurs:
        return QT_TRANSLATE_NOOP("main",
                                 "%1 is a folder or another kind of file, not Quillon's socket "
                                 "or lock; Quillon leaves it be.");
    case Outcome::Failed: return QT_TRANSLATE_NOOP("main", "Quillon cannot make %1: %2");
    case Outcome::HandedOver:
    case Outcome::NoAnswer:
    case Outcome::TooLarge:
    case Outcome::Serving: break;
    }
    return "";
}

const char* const kRunsAlone =
    QT_TRANSLATE_NOOP("main",
                      "Quillon runs without handing files between Quillons: one started later "
                      "opens a window of its own, on the same amplifier, rather than handing its "
                      "files to this one.");

}  // namespace

std::unique_ptr<ProgramWindows> start_program(const std::string& settings_path,
                                              const std::vector<std::string>& files,
                                              std::unique_ptr<InstanceServer> instance_server)
{
    auto windows = std::make_unique<ProgramWindows>();
    windows->main_form = std::make_unique<TMainForm>(settings_path);
    TMainForm& main_form = *windows->main_form;
    if (!main_form.StartUp()) {
        return nullptr;
    }
    windows->configuration = std::make_unique<TfrmConfiguration>(main_form, &main_form);
    main_form.SetConfigurationDialog(windows->configuration.get());
    windows->log_window = std::make_unique<TfrmLogWindow>(main_form.Sender());
    main_form.SetLogWindow(windows->log_window.get());
    main_form.SetLogOpener(log_opener(settings_path));
    main_form.show();
    if (!files.empty()) {
        open_logs(files, settings_path);
    }
    if (instance_server) {
        instance_server->SetRequestHandler(
            [&main_form, settings_path](const std::vector<std::string>& handed) {
                if (handed.empty()) {
                    bring_to_front(main_form);
                } else {
                    open_logs(handed, settings_path);
                }
            });
        windows->instance_server = std::move(instance_server);
    }
    return windows;
}

std::unique_ptr<ProgramWindows> start_program(const std::string& settings_path,
                                              const QStringList& files)
{
    return start_program(settings_path, quillon::local_names(files));
}

void say_why_alone(const InstanceClaim& claim)
{
    const char* why = why_alone(claim.outcome);
    const QString path = QDir::toNativeSeparators(claim.path);
    const auto worded = [&](const char* source, bool translated) {
        QString text =
            translated ? QCoreApplication::translate("main", source) : QString::fromUtf8(source);
        return text.contains("%2")   ? text.arg(path, claim.reason)
               : text.contains("%1") ? text.arg(path)
                                     : text;
    };
    std::cerr << "quillon: " << worded(why, false).toStdString() << ' '
              << worded(kRunsAlone, false).toStdString() << std::endl;
    show_message({(worded(why, true) + '\n' + worded(kRunsAlone, true)).toStdString(), "",
                  MessageIcon::Warning});
}

}  // namespace quillon
