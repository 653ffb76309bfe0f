// "Columns...": the values at places that the series window's table shows,
// a column each. A field of the fields file or a byte position, and a place
// counted from the fired record (T-3, T0, T+2), added to a list as the
// command line's --value writes it ("position@T-3", "send[3]@T0"); the
// list's order is the columns' order.
#pragma once

#include "Fields.h"
#include "ValueColumns.h"

#include <QDialog>
#include <QSpinBox>

#include <span>
#include <vector>

class QComboBox;
class QDialogButtonBox;
class QLabel;
class QListWidget;
class QPushButton;

// A place counted from the fired record: "T-3", "T0", "T+2".
class PlaceSpinBox : public QSpinBox {
public:
    explicit PlaceSpinBox(QWidget* parent = nullptr);

protected:
    QString textFromValue(int value) const override;
    int valueFromText(const QString& text) const override;
    QValidator::State validate(QString& text, int& position) const override;
};

class ValueColumnsDialog : public QDialog {
    Q_OBJECT

public:
    ValueColumnsDialog(std::span<const quillon::FieldSpec> fields,
                       std::vector<quillon::ValueColumn> chosen, QWidget* parent = nullptr);

    // The columns listed, in their order.
    const std::vector<quillon::ValueColumn>& Columns() const { return columns_; }

    // The operand and the place chosen added to the list (once).
    void btnAddClick();
    // The column chosen in the list removed.
    void btnRemoveClick();

    QComboBox& OperandBox() { return *operand_; }
    QSpinBox& PlaceBox() { return *place_; }
    QPushButton& AddButton() { return *add_; }
    QListWidget& List() { return *list_; }
    QPushButton& RemoveButton() { return *remove_; }
    QDialogButtonBox& Buttons() { return *buttons_; }

protected:
    void changeEvent(QEvent* event) override;

private:
    void RetranslateUi();

    std::vector<quillon::ValueColumn> columns_;
    QLabel* operand_label_;
    QComboBox* operand_;
    QLabel* place_label_;
    PlaceSpinBox* place_;
    QPushButton* add_;
    QListWidget* list_;
    QPushButton* remove_;
    QDialogButtonBox* buttons_;
};
