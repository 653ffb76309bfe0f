// What the program entry builds: the main window (which loads the link
// libraries, reads the settings and connects), the configuration dialog and
// the log view window, wired together, then the log files named on the
// command line: one file in a browser, a folder or several files as a series.
// The requests of later Quillons are served as long as the windows live.
#pragma once

#include "Configuration.h"
#include "Log.h"
#include "Logwindow.h"
#include "SingleInstance.h"

#include <QStringList>

#include <memory>
#include <string>
#include <vector>

namespace quillon {

struct ProgramWindows {
    std::unique_ptr<TMainForm> main_form;
    std::unique_ptr<TfrmConfiguration> configuration;
    std::unique_ptr<TfrmLogWindow> log_window;
    // Last, so that it goes before the windows that its requests reach.
    std::unique_ptr<InstanceServer> instance_server;
};

// Nothing when a link library is missing (the user has been told and the
// program must end). The main window is shown before the files open, so
// that Quillon starts as usual when they cannot be read. files are named by
// their bytes, as on the command line. A later Quillon's files, handed to
// instance_server, open as this command line's do; its request without
// files raises the main window.
std::unique_ptr<ProgramWindows> start_program(
    const std::string& settings_path, const std::vector<std::string>& files,
    std::unique_ptr<InstanceServer> instance_server = nullptr);
std::unique_ptr<ProgramWindows> start_program(const std::string& settings_path,
                                              const QStringList& files);

// Says why this Quillon runs without the hand-over between Quillons (claim
// is one of the outcomes that start a window of its own): a line in
// English on standard error, then a warning box.
void say_why_alone(const InstanceClaim& claim);

}  // namespace quillon
