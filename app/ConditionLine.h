// A condition typed on one line, with what is wrong with it shown under it
// as it is typed: its reason in the user's language and its column. The
// engine reads it (read_condition) on the fields given; the line only holds
// the text and words the error. Says when what it holds changes
// (conditionChanged), a text that does not read holding no condition.
#pragma once

#include "Conditions.h"
#include "Fields.h"

#include <QString>
#include <QWidget>

#include <optional>
#include <span>
#include <vector>

class QLabel;
class QLineEdit;

class ConditionLine : public QWidget {
    Q_OBJECT

public:
    // caption: the label before the line ("Keep only captures where").
    explicit ConditionLine(const QString& caption, QWidget* parent = nullptr);

    // The caption, as the window's language words it.
    void SetCaption(const QString& caption);

    // The fields that names in the condition are looked up in; the text is
    // read again on them.
    void SetFields(std::vector<quillon::FieldSpec> fields);
    // The text, replaced and read (conditionChanged is emitted).
    void SetText(const QString& text);
    QString Text() const;

    // The condition typed; none when the line is empty or does not read.
    const std::optional<quillon::Condition>& Condition() const { return condition_; }
    // Whether the line holds a text that does not read.
    bool HasError() const { return error_.has_value(); }
    // What is wrong, as shown under the line; "" when nothing is.
    QString ErrorText() const;
    std::span<const quillon::FieldSpec> Fields() const { return fields_; }

    QLineEdit* Edit() const { return edit_; }

signals:
    void conditionChanged();

protected:
    // What is wrong worded anew in the language chosen.
    void changeEvent(QEvent* event) override;

private:
    void Read();
    void ShowError();

    QLabel* caption_;
    QLineEdit* edit_;
    QLabel* error_label_;
    std::vector<quillon::FieldSpec> fields_;
    std::optional<quillon::Condition> condition_;
    std::optional<quillon::ConditionError> error_;
};

// A condition's error as the windows word it: "a value expected after '>'
// (column 12)", in the user's language.
QString condition_error_text(const QString& text, const quillon::ConditionError& error);
