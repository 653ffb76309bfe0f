#include "MessageBoxes.h"

#include "Messages.h"

#include <QApplication>
#include <QMessageBox>

namespace quillon {

void install_qt_message_boxes()
{
    set_message_sink([](const Message& message) {
        const QMessageBox::Icon icon = message.icon == MessageIcon::Error ? QMessageBox::Critical
                                       : message.icon == MessageIcon::Information
                                           ? QMessageBox::Information
                                       : message.icon == MessageIcon::Warning ? QMessageBox::Warning
                                                                              : QMessageBox::NoIcon;
        // A plain message dialog carries the application's title.
        const QString caption = message.caption.empty() ? QApplication::applicationName()
                                                        : QString::fromStdString(message.caption);
        QMessageBox box(icon, caption, QString::fromStdString(message.text), QMessageBox::Ok);
        if (!message.details.empty()) {
            box.setDetailedText(QString::fromStdString(message.details));
        }
        box.setWindowModality(Qt::ApplicationModal);
        box.exec();
    });
}

}  // namespace quillon
