#include "OpenLogs.h"

#include "LogBrowser.h"
#include "SeriesWindow.h"

#include <filesystem>
#include <system_error>

TfrmSeries* open_logs(const QStringList& files_or_folders, const std::string& settings_path)
{
    return open_logs(quillon::local_names(files_or_folders), settings_path);
}

TfrmSeries* open_logs(const std::vector<std::string>& files_or_folders,
                      const std::string& settings_path)
{
    std::error_code not_a_folder;
    if (files_or_folders.size() == 1 &&
        !std::filesystem::is_directory(files_or_folders.front(), not_a_folder)) {
        if (TfrmLogBrowser* browser = open_log_browser(files_or_folders.front(), settings_path)) {
            browser->SetLogOpener(log_opener(settings_path));
        }
        return nullptr;
    }
    TfrmSeries* series = open_series(files_or_folders, settings_path);
    if (series != nullptr) {
        series->SetLogOpener(log_opener(settings_path));
    }
    return series;
}

quillon::FilesHandler log_opener(const std::string& settings_path)
{
    return [settings_path](const QStringList& files) { open_logs(files, settings_path); };
}
