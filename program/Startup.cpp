#include "Startup.h"

#include "SeriesWindow.h"

namespace quillon {

std::unique_ptr<ProgramWindows> start_program(const std::string& settings_path,
                                              const QStringList& files)
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
    return windows;
}

}  // namespace quillon
