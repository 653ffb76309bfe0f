#include "Startup.h"

#include "SeriesWindow.h"

namespace quillon {

namespace {

void bring_to_front(QWidget& window)
{
    window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
    window.show();
    window.raise();
    window.activateWindow();
}

}  // namespace

std::unique_ptr<ProgramWindows> start_program(const std::string& settings_path,
                                              const QStringList& files,
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
    main_form.SetLogOpener(
        [settings_path](const QStringList& opened) { open_logs(opened, settings_path); });
    main_form.show();
    if (!files.isEmpty()) {
        open_logs(files, settings_path);
    }
    if (instance_server) {
        instance_server->SetRequestHandler([&main_form, settings_path](const QStringList& handed) {
            if (handed.isEmpty()) {
                bring_to_front(main_form);
            } else {
                open_logs(handed, settings_path);
            }
        });
        windows->instance_server = std::move(instance_server);
    }
    return windows;
}

}  // namespace quillon
