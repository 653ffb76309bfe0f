#include "Configuration.h"

#include "Commands.h"
#include "GuardedHandlers.h"
#include "IntegerText.h"
#include "Log.h"
#include "PortPath.h"
#include "RadioGroup.h"
#include "Seams.h"
#include "ui_Configuration.h"

#include <QEvent>

#include <algorithm>

TfrmConfiguration::TfrmConfiguration(TMainForm& main_form, QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::TfrmConfiguration>()), main_form_(main_form)
{
    ui_->setupUi(this);
    setFixedSize(size());
    // A dialog frame without title-bar buttons.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    save_condition_group_.addButton(ui_->rbAutomatic, 0);
    save_condition_group_.addButton(ui_->rbManual, 1);

    using quillon::on_checked;
    using quillon::on_signal;
    on_signal(ui_->btnComSetOK, &QAbstractButton::clicked, this,
              &TfrmConfiguration::btnComSetOKClick);
    on_signal(ui_->btnComSetCancel, &QAbstractButton::clicked, this,
              &TfrmConfiguration::btnComSetCancelClick);
    on_checked(ui_->rbUSB, this, &TfrmConfiguration::rbUSBClick);
    on_checked(ui_->rbRS232, this, &TfrmConfiguration::rbRS232Click);
}

TfrmConfiguration::~TfrmConfiguration() = default;

void TfrmConfiguration::changeEvent(QEvent* event)
{
    // The layout's texts, and the ports' descriptions (the devices' own
    // names, a missing one's word).
    if (event->type() == QEvent::LanguageChange) {
        ui_->retranslateUi(this);
        DescribePortDevices();
    }
    QDialog::changeEvent(event);
}

void TfrmConfiguration::showEvent(QShowEvent* event)
{
    FormShow();
    QDialog::showEvent(event);
}

void TfrmConfiguration::FormShow()
{
    // First: a change to the items' data resets an editable list's text.
    DescribePortDevices();
    ui_->cbxComPort->setEditText(QString::fromStdString(main_form_.ComPort));
    ui_->cbxBaudrate->setEditText(QString::number(main_form_.BaudRate));
    const std::int32_t condition = main_form_.LogSaveCondition;
    SetLogSaveConditionIndex(condition < 0 ? -1 : std::min(condition, 1));
    const bool usb = main_form_.UsbMode != 0;
    ui_->rbUSB->setChecked(usb);
    ui_->rbRS232->setChecked(!usb);
    SetListsEnabled(!usb);
}

void TfrmConfiguration::DescribePortDevices()
{
    // Looked up at each showing: adapters come and go while the program runs.
    QComboBox& ports = *ui_->cbxComPort;
    const std::string absent = tr("not present", "a port's device").toStdString();
    for (int index = 0; index < ports.count(); ++index) {
        const auto number = tarnlink::port_number_of(ports.itemText(index).toStdString());
        const QString where =
            number ? QString::fromStdString(tarnlink::describe_port(*number, absent)) : QString();
        ports.setItemData(index, where, Qt::ToolTipRole);
        ports.setItemData(index, where, Qt::AccessibleDescriptionRole);
    }
}

void TfrmConfiguration::btnComSetOKClick()
{
    // The port number and the baud rate are converted before anything is
    // stored: a text that is no number (a pasted line break included) leaves
    // every setting as it was and the dialog open.
    quillon::port_number(ui_->cbxComPort->currentText().toStdString());
    const std::int32_t baud_rate =
        quillon::integer_from_text(ui_->cbxBaudrate->currentText().toStdString());
    main_form_.UsbMode = ui_->rbRS232->isChecked() ? 0 : 1;
    main_form_.ComPort = ui_->cbxComPort->currentText().toStdString();
    main_form_.BaudRate = baud_rate;
    main_form_.LogSaveCondition = LogSaveConditionIndex();
    done(QDialog::Accepted);
}

void TfrmConfiguration::btnComSetCancelClick()
{
    done(QDialog::Rejected);
}

void TfrmConfiguration::rbUSBClick()
{
    SetListsEnabled(false);
}

void TfrmConfiguration::rbRS232Click()
{
    SetListsEnabled(true);
}

void TfrmConfiguration::SetListsEnabled(bool enabled)
{
    ui_->cbxComPort->setEnabled(enabled);
    ui_->cbxBaudrate->setEnabled(enabled);
}

int TfrmConfiguration::LogSaveConditionIndex() const
{
    return save_condition_group_.checkedId();
}

void TfrmConfiguration::SetLogSaveConditionIndex(int index)
{
    quillon::select_item(save_condition_group_, index);
}
