// The configuration dialog: connection type, port, baud rate and the log
// save condition. It keeps no settings of its own: it shows the main
// window's and, on "OK", stores into them.
#pragma once

#include <QButtonGroup>
#include <QDialog>

#include <memory>

class TMainForm;
namespace Ui {
class TfrmConfiguration;
}  // namespace Ui

class TfrmConfiguration : public QDialog {
    Q_OBJECT

public:
    explicit TfrmConfiguration(TMainForm& main_form, QWidget* parent = nullptr);
    ~TfrmConfiguration() override;

    void FormShow();
    void btnComSetOKClick();
    void btnComSetCancelClick();
    void rbUSBClick();
    void rbRS232Click();

    // The selected item of "Log Save Condition": 0 automatic, 1 manual, -1 none.
    int LogSaveConditionIndex() const;

    Ui::TfrmConfiguration& controls() { return *ui_; }

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void SetLogSaveConditionIndex(int index);
    void SetListsEnabled(bool enabled);
    // Each COM port item's tooltip and accessible description name the
    // device it leads to and whether that is present.
    void DescribePortDevices();

    std::unique_ptr<Ui::TfrmConfiguration> ui_;
    TMainForm& main_form_;
    QButtonGroup save_condition_group_;
};
