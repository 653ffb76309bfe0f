#include "MessageBoxes.h"

#include "Messages.h"

#include <QApplication>
#include <QMessageBox>
#include <QRegularExpression>

#include <optional>

namespace quillon {

namespace {

// The context of the libraries' marked texts (QUILLON_TEXT).
constexpr const char* kContext = "Message";

std::optional<QString> translated(const QString& text)
{
    const QByteArray source = text.toUtf8();
    QString done = QCoreApplication::translate(kContext, source.constData());
    if (done == text) {
        return std::nullopt;
    }
    return done;
}

// "the file ends after 12 records" looked up as "the file ends after %1
// records", and filled again.
std::optional<QString> translated_with_numbers(const QString& text)
{
    static const QRegularExpression number(R"(\d+)");
    constexpr qsizetype kMostPlaces = 9;
    QStringList numbers;
    QString pattern;
    qsizetype from = 0;
    for (auto found = number.globalMatch(text); found.hasNext();) {
        const auto match = found.next();
        if (numbers.size() == kMostPlaces) {
            return std::nullopt;
        }
        pattern += text.mid(from, match.capturedStart() - from) + '%' +
                   QString::number(numbers.size() + 1);
        numbers << match.captured();
        from = match.capturedEnd();
    }
    if (numbers.isEmpty()) {
        return std::nullopt;
    }
    pattern += text.mid(from);
    std::optional<QString> done = translated(pattern);
    if (done) {
        for (const QString& value : numbers) {
            *done = done->arg(value);
        }
    }
    return done;
}

std::optional<QString> translated_text(const QString& text)
{
    if (auto done = translated(text)) {
        return done;
    }
    return translated_with_numbers(text);
}

QString worded_line(const QString& line)
{
    if (auto done = translated_text(line)) {
        return *done;
    }
    for (qsizetype at = line.indexOf(": "); at >= 0; at = line.indexOf(": ", at + 2)) {
        if (auto done = translated_text(line.mid(at + 2))) {
            return line.left(at + 2) + *done;
        }
    }
    return line;
}

}  // namespace

QString worded_message(const std::string& text)
{
    QStringList lines = QString::fromStdString(text).split('\n');
    for (QString& line : lines) {
        line = worded_line(line);
    }
    return lines.join('\n');
}

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
                                                        : worded_message(message.caption);
        QMessageBox box(icon, caption, worded_message(message.text), QMessageBox::Ok);
        if (!message.details.empty()) {
            box.setDetailedText(worded_message(message.details));
        }
        box.setWindowModality(Qt::ApplicationModal);
        box.exec();
    });
}

}  // namespace quillon
