// The log view window: fetches the amplifier's whole log into a list, saves
// the list in a file of its own format and clears it. Modeless; closing it
// only hides it, so its list stays.
#pragma once

#include "AmplifierQueries.h"

#include <QMainWindow>

#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace Ui {
class TfrmLogWindow;
}  // namespace Ui

class TfrmLogWindow : public QMainWindow {
    Q_OBJECT

public:
    // send: the way to the amplifier that the main window has chosen.
    explicit TfrmLogWindow(quillon::AmplifierSend send, QWidget* parent = nullptr);
    ~TfrmLogWindow() override;

    void mnuGetLogClick();
    void mnuSaveLogClick();
    void mnuClearLogClick();
    void FormResize();

    Ui::TfrmLogWindow& controls() { return *ui_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void AddRow(const std::string& row);

    std::unique_ptr<Ui::TfrmLogWindow> ui_;
    quillon::AmplifierSend send_;
};
