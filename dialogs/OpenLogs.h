// Opening logs named by the user (the command line, the single-instance
// hand-over, "Open Log...", a drop): one file in a log browser, a folder or
// several files as a series. The windows opened are given the opener, so
// that files dropped on them are opened the same way.
#pragma once

#include "FileDrops.h"
#include "IniFile.h"

#include <QStringList>

#include <string>
#include <vector>

class TfrmSeries;

// Opens what was named: one file in a log browser; a folder, or two or
// more files, as a series (a folder's *.txt files). A series none of whose
// files can be read shows the reasons and opens nothing. Returns the series
// window opened, if any.
TfrmSeries* open_logs(const QStringList& files_or_folders,
                      const std::string& settings_path = quillon::settings_file_path());
// The same for names as the bytes they are (the command line's, which need
// not be UTF-8).
TfrmSeries* open_logs(const std::vector<std::string>& files_or_folders,
                      const std::string& settings_path = quillon::settings_file_path());

// open_logs with settings_path, as a window's handler of the files it is
// given.
quillon::FilesHandler log_opener(const std::string& settings_path);
