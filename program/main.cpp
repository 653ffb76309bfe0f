// Quillon's program entry: the application, then the main window (which
// loads the link libraries, reads the settings and connects), then the
// configuration dialog, then the log view window; then the message loop.
#include "Configuration.h"
#include "Log.h"
#include "Logwindow.h"
#include "MessageBoxes.h"

#include <QApplication>
#include <QMessageBox>

#include <exception>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QApplication::setApplicationName("Quillon");
    quillon::install_qt_message_boxes();
    try {
        TMainForm main_form;
        if (!main_form.StartUp()) {
            return 0;  // a link library is missing; the user has been told
        }
        TfrmConfiguration configuration(main_form, &main_form);
        main_form.SetConfigurationDialog(&configuration);
        TfrmLogWindow log_window(main_form.Sender());
        main_form.SetLogWindow(&log_window);
        main_form.show();
        QApplication::exec();
    } catch (const std::exception&) {
        QMessageBox::critical(nullptr, QApplication::applicationName(), "Error Occurred!");
    }
    return 0;
}
