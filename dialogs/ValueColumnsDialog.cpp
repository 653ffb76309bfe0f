#include "ValueColumnsDialog.h"

#include "GuardedHandlers.h"
#include "LogFile.h"
#include "LogTimeline.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QVBoxLayout>

#include <algorithm>
#include <string>

namespace {

// The operands offered: each field by its name, then each byte position.
QStringList operand_texts(std::span<const quillon::FieldSpec> fields)
{
    QStringList texts;
    for (const quillon::FieldSpec& field : fields) {
        texts << QString::fromStdString(field.name);
    }
    for (const char* direction : {"recv", "send"}) {
        for (int byte = 0; byte < quillon::kDirectionBytes; ++byte) {
            texts << QString("%1[%2]").arg(direction).arg(byte);
        }
    }
    return texts;
}

// The column of an operand at a place, written as --value takes it; a
// field whose name reads as something else is written in backquotes.
std::optional<quillon::ValueColumn> value_column(const std::string& operand, int offset)
{
    const std::string place = "@" + quillon::offset_text(offset);
    auto read = quillon::read_value_column(operand + place);
    const bool as_meant =
        read.column && (operand.find('[') != std::string::npos ||
                        (read.column->operand.kind == quillon::Operand::Kind::Field &&
                         read.column->operand.field == operand));
    if (!as_meant) {
        read = quillon::read_value_column("`" + operand + "`" + place);
    }
    return read.column;
}

}  // namespace

PlaceSpinBox::PlaceSpinBox(QWidget* parent) : QSpinBox(parent)
{
    setRange(-(quillon::kLogRecords - 1), quillon::kLogRecords - 1);
}

QString PlaceSpinBox::textFromValue(int value) const
{
    return QString::fromStdString(quillon::offset_text(value));
}

int PlaceSpinBox::valueFromText(const QString& text) const
{
    QString number = text.trimmed();
    if (number.startsWith('T', Qt::CaseInsensitive)) {
        number.remove(0, 1);
    }
    return number.toInt();
}

QValidator::State PlaceSpinBox::validate(QString& text, int& /*position*/) const
{
    static const QRegularExpression partial("^[Tt]?[-+]?[0-9]{0,3}$");
    if (!partial.match(text.trimmed()).hasMatch()) {
        return QValidator::Invalid;
    }
    bool read = false;
    QString number = text.trimmed();
    if (number.startsWith('T', Qt::CaseInsensitive)) {
        number.remove(0, 1);
    }
    const int value = number.toInt(&read);
    return read && value >= minimum() && value <= maximum() ? QValidator::Acceptable
                                                            : QValidator::Intermediate;
}

ValueColumnsDialog::ValueColumnsDialog(std::span<const quillon::FieldSpec> fields,
                                       std::vector<quillon::ValueColumn> chosen, QWidget* parent)
    : QDialog(parent), columns_(std::move(chosen)), operand_label_(new QLabel(this)),
      operand_(new QComboBox(this)), place_label_(new QLabel(this)), place_(new PlaceSpinBox(this)),
      add_(new QPushButton(this)), list_(new QListWidget(this)), remove_(new QPushButton(this)),
      buttons_(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this))
{
    setObjectName("dlgValueColumns");
    operand_->setObjectName("cbxOperand");
    place_->setObjectName("spnPlace");
    add_->setObjectName("btnAddColumn");
    list_->setObjectName("lbxColumns");
    remove_->setObjectName("btnRemoveColumn");
    operand_->addItems(operand_texts(fields));
    // Typed as the command line takes it; the list offers each one.
    operand_->setEditable(false);
    operand_label_->setBuddy(operand_);
    place_label_->setBuddy(place_);
    for (const quillon::ValueColumn& column : columns_) {
        list_->addItem(QString::fromStdString(column.key));
    }

    auto* chooser = new QHBoxLayout;
    chooser->addWidget(operand_label_);
    chooser->addWidget(operand_, 1);
    chooser->addWidget(place_label_);
    chooser->addWidget(place_);
    chooser->addWidget(add_);
    auto* listed = new QHBoxLayout;
    listed->addWidget(list_, 1);
    auto* list_buttons = new QVBoxLayout;
    list_buttons->addWidget(remove_);
    list_buttons->addStretch();
    listed->addLayout(list_buttons);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(chooser);
    layout->addLayout(listed);
    layout->addWidget(buttons_);

    using quillon::on_signal;
    on_signal(add_, &QAbstractButton::clicked, this, &ValueColumnsDialog::btnAddClick);
    on_signal(remove_, &QAbstractButton::clicked, this, &ValueColumnsDialog::btnRemoveClick);
    connect(buttons_, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);
    // Add, not OK, is what Return presses while a column is being chosen.
    add_->setDefault(true);
    RetranslateUi();
}

void ValueColumnsDialog::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange) {
        RetranslateUi();
    }
    QDialog::changeEvent(event);
}

void ValueColumnsDialog::RetranslateUi()
{
    setWindowTitle(tr("Columns"));
    operand_label_->setText(tr("&Value:"));
    operand_->setAccessibleName(tr("Field or byte"));
    place_label_->setText(tr("&At:"));
    place_->setAccessibleName(tr("Place from the fired record"));
    add_->setText(tr("&Add Column"));
    add_->setAccessibleName(tr("Add Column"));
    list_->setAccessibleName(tr("Columns shown"));
    remove_->setText(tr("&Remove Column"));
    remove_->setAccessibleName(tr("Remove Column"));
}

void ValueColumnsDialog::btnAddClick()
{
    const auto column = value_column(operand_->currentText().toStdString(), place_->value());
    if (!column || std::ranges::any_of(columns_, [&](const quillon::ValueColumn& listed) {
            return listed.key == column->key;
        })) {
        return;
    }
    columns_.push_back(*column);
    list_->addItem(QString::fromStdString(column->key));
    list_->setCurrentRow(list_->count() - 1);
}

void ValueColumnsDialog::btnRemoveClick()
{
    const int row = list_->currentRow();
    if (row < 0 || std::size_t(row) >= columns_.size()) {
        return;
    }
    columns_.erase(columns_.begin() + row);
    delete list_->takeItem(row);
}
