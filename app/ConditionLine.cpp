#include "ConditionLine.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>

#include <utility>

QString condition_error_text(const QString& text, const quillon::ConditionError& error)
{
    const QByteArray typed = text.toUtf8();
    // The engine's English reason, looked up in the catalogue's context of
    // the libraries' marked texts.
    QString reason = QCoreApplication::translate("Message", quillon::condition_problem_text(error));
    if (reason.contains("%1")) {
        reason = reason.arg(QString::fromStdString(quillon::condition_error_after(
            std::string_view(typed.constData(), std::size_t(typed.size())), error)));
    }
    return ConditionLine::tr("%1 (column %2)").arg(reason).arg(error.column);
}

ConditionLine::ConditionLine(const QString& caption, QWidget* parent)
    : QWidget(parent), caption_(new QLabel(this)), edit_(new QLineEdit(this)),
      error_label_(new QLabel(this))
{
    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    caption_->setBuddy(edit_);
    SetCaption(caption);
    error_label_->setObjectName("lblConditionError");
    error_label_->setWordWrap(true);
    error_label_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    error_label_->hide();
    layout->addWidget(caption_, 0, 0);
    layout->addWidget(edit_, 0, 1);
    layout->addWidget(error_label_, 1, 1);
    layout->setColumnStretch(1, 1);
    connect(edit_, &QLineEdit::textChanged, this, [this] { Read(); });
}

void ConditionLine::SetCaption(const QString& caption)
{
    caption_->setText(caption);
    edit_->setAccessibleName(QString(caption).remove('&'));
}

void ConditionLine::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange) {
        ShowError();
    }
    QWidget::changeEvent(event);
}

void ConditionLine::SetFields(std::vector<quillon::FieldSpec> fields)
{
    fields_ = std::move(fields);
    Read();
}

void ConditionLine::SetText(const QString& text)
{
    if (edit_->text() == text) {
        Read();
        return;
    }
    edit_->setText(text);  // read through textChanged
}

QString ConditionLine::Text() const
{
    return edit_->text();
}

QString ConditionLine::ErrorText() const
{
    return error_ ? condition_error_text(edit_->text(), *error_) : QString();
}

void ConditionLine::Read()
{
    condition_.reset();
    error_.reset();
    const QString text = edit_->text();
    if (!text.trimmed().isEmpty()) {
        const QByteArray typed = text.toUtf8();
        quillon::ConditionRead read = quillon::read_condition(
            std::string_view(typed.constData(), std::size_t(typed.size())), fields_);
        condition_ = std::move(read.condition);
        error_ = read.error;
    }
    ShowError();
    emit conditionChanged();
}

void ConditionLine::ShowError()
{
    const QString error = ErrorText();
    error_label_->setText(error);
    error_label_->setVisible(!error.isEmpty());
    edit_->setAccessibleDescription(error);
}
