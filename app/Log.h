// The main window: the program's settings, its two ways to the amplifier,
// the status check and the communication-data display.
#pragma once

#include "AmplifierProtocol.h"
#include "AmplifierQueries.h"
#include "CaptureSeries.h"
#include "Commands.h"
#include "IniFile.h"
#include "SeriesLock.h"
#include "Settings.h"

#include <QButtonGroup>
#include <QMainWindow>
#include <QStringList>
#include <QTimer>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

class ConditionLine;
class QAbstractButton;
class QLineEdit;
class QLabel;
class QDialog;
namespace quillon {
class CaptureNotices;
}  // namespace quillon
namespace Ui {
class TMainForm;
}  // namespace Ui

class TMainForm : public QMainWindow {
    Q_OBJECT

public:
    // Builds the window from its layout; StartUp() does the rest.
    explicit TMainForm(std::string settings_path = quillon::settings_file_path(),
                       QWidget* parent = nullptr);
    ~TMainForm() override;

    // Loads both link libraries, reads the settings file and opens the
    // connection that "USB MODE" selects. False when a library is missing:
    // the message has been shown and the program must end.
    bool StartUp();

    // The dialog that "Configuration" runs; it stores into this window.
    void SetConfigurationDialog(QDialog* dialog) { configuration_ = dialog; }

    // Settings members, read at start-up, changed by the configuration
    // dialog, written at close.
    std::string ComPort = "COM1";
    std::int32_t BaudRate = 9600;
    std::int32_t UsbMode = 1;
    std::int32_t LogSaveCondition = 0;
    std::string LastSaveFileName;
    std::string AutoSaveText;

    // Event handlers, named after their control and event.
    void btnStatusCheckClick();
    void rgpModeSelectClick();
    void btnLogStartClick();
    void btnLogSaveClick();
    void ChkTrigDtctTmrTimer();
    void cbxStopConditionClick();
    void mnuConfigurationClick();
    void Exit1Click();
    // Writes the settings file and ends the program.
    void FormClose();

    void clear_com_data();
    void enable_condition();
    void disable_condition();

    // The selected item of "Log Mode": 0 "16 byte mode", 1 "32 byte mode",
    // -1 none (which counts as 32-byte mode). Selecting an item runs
    // rgpModeSelectClick as a user's choice would.
    int LogModeIndex() const;
    void SetLogModeIndex(int index);

    // The controls, for the handlers of other windows and for tests.
    Ui::TMainForm& controls() { return *ui_; }
    QLineEdit* ReceivedBox(int byte) const { return received_[static_cast<std::size_t>(byte)]; }
    QLineEdit* SentBox(int byte) const { return sent_[static_cast<std::size_t>(byte)]; }
    // "Keep only captures where": the condition a series' capture must meet
    // at its fired record to be kept.
    ConditionLine* KeepIfLine() const { return keep_if_; }

    // Watches for the trigger once a second while a stop condition is armed.
    QTimer ChkTrigDtctTmr;

    // One exchange through the adapter that UsbMode selects now (the USB
    // adapter with address byte 0).
    bool SendCommand(std::uint32_t command_word, std::span<const std::uint8_t> params,
                     std::span<std::uint8_t> response);
    // SendCommand as the engine's way to send, for the engine and the log
    // view window.
    quillon::AmplifierSend Sender();

    void SetLogWindow(QWidget* log_window) { log_window_ = log_window; }
    void mnuViewLogDataClick();

    // What opens log files: "File" > "Open Log..." hands it each file
    // chosen on its own (a browser each), "File" > "Open Series..." the
    // folder chosen, and a drop the files dropped (several: a series).
    using LogOpener = std::function<void(const QStringList& files)>;
    void SetLogOpener(LogOpener opener) { log_opener_ = std::move(opener); }
    void mnuOpenLogClick();
    void mnuOpenSeriesClick();
    void OpenLogs(const QStringList& files);
    // Opens a capture whose desktop notification was clicked, and brings
    // the windows it opened to the front.
    void OpenNotifiedCapture(const QString& path);

    // "Help" > "About Quillon": the version, the licence and Qt's version,
    // run through run_modal. "Help" > "Reading Logs": the guide installed
    // with the program, opened through open_document.
    void mnuAboutClick();
    void mnuReadingLogsClick();

    quillon::TCommAdapter& serial_adapter() { return *serial_; }
    quillon::TCommAdapterUSB& usb_adapter() { return *usb_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // What the log's state shows in "Status" and on the two log buttons,
    // kept so that a change of language can word it anew.
    enum class StatusShown { None, Idle, Logging, Cancelled };
    void ShowStatus(StatusShown status);
    void ShowStartCaption(bool stop);
    void ShowSaveCaption(bool saving);
    // Every text of the window in the current language: the layout's, then
    // those that the state sets.
    void RetranslateUi();
    // "Setting" > "Language": the item of the language applied checked.
    void ShowLanguage();
    // Opens the connection that UsbMode selects and enables "Check!" when it
    // came up. A port name that is no number throws ConversionError.
    void ConnectSelected();
    void ReadSettings();
    bool IsWideMode() const { return LogModeIndex() != 0; }
    void ShowLogStatus(quillon::LogStatus status);
    void ShowLogging();
    void ShowCancelled();
    // START, SAVE LOG and "Enable Stop Condition" enabled, the condition
    // controls as the check box says.
    void EnableIdleControls();

    // Reads the whole log: the log control command, then the 64 blocks; lines
    // (the date and time line) gets the stop condition line, the empty line
    // and the record lines read. On failure the message has been shown.
    std::optional<quillon::AmplifierFailure> ReadLog(std::vector<std::string>& lines);
    void ShowReadProgress(int exchanges_done);
    // The watch for the trigger and the series of captures it runs, as
    // START's controls set them; begun by START (or a tick without one).
    quillon::CaptureSeriesRules SeriesRules() const;
    void BeginSeries();
    // What the series tells, shown in the window.
    void ShowSeriesNews(quillon::SeriesNews news);
    void ShowCaptureSaved(const quillon::SavedCapture& capture);
    // A capture that does not meet the keep condition, moved into the
    // left-out folder beside it; a move that fails is told, and the series
    // goes on.
    void LeaveOut(const quillon::LeftOutCapture& capture);
    // rearming: the series was to start the log again.
    void ShowSeriesEnd(const quillon::SeriesEnd& end, bool rearming);
    // A capture written as an automatic save; when that cannot be written,
    // where the user chooses. Every failure has been told.
    quillon::AutoSaveOutcome SaveCapture(const QDateTime& when, const std::string& text);
    // Tells the desktop of a capture of a series saved while this window is
    // shown but not active.
    void NotifyCapture(const QString& path, int fired_record);
    // A series over USB holds the lock that quillon-cli's wait takes, so
    // that two never re-arm one amplifier. False, with the message shown,
    // when another series holds it.
    bool HoldSeriesLock();
    void cbxRearmClick();
    // Where a capture goes: the series' folder when one is chosen and the
    // log is re-armed, else the automatic save folder (nothing when that
    // cannot be made).
    std::optional<QString> SeriesFolder() const;
    void btnSeriesFolderClick();
    // "Fields...": the fields file that the keep condition is read on.
    void btnKeepIfFieldsClick();
    // Reads the fields file for the keep condition and shows its name;
    // nothing changes when it does not read (the reason then shown when
    // report).
    void UseKeepIfFields(const std::string& path, bool report);
    // Whether a series keeps only the captures that meet the condition: a
    // stop condition, the automatic save and a text in the line.
    bool KeepIfInUse() const;
    // The series count as the label shows it and a screen reader reads it.
    void ShowSeriesCount();
    // "Re-arm after automatic save" can be changed while a stop condition
    // is enabled and the save is automatic; otherwise it is off.
    void UpdateRearmAvailability();
    // Writes the text; shows the error naming the file when it cannot.
    static bool WriteLogFile(const QString& path, const std::string& text);
    // The six stop-condition controls, in the order they are switched.
    std::array<QWidget*, 6> condition_controls() const;

    std::unique_ptr<Ui::TMainForm> ui_;
    std::string settings_path_;
    QButtonGroup mode_group_;
    std::array<QLineEdit*, 32> received_{};
    std::array<QLineEdit*, 32> sent_{};
    std::array<QLabel*, 4> upper_half_labels_{};
    std::unique_ptr<quillon::TCommAdapter> serial_;
    std::unique_ptr<quillon::TCommAdapterUSB> usb_;
    QDialog* configuration_ = nullptr;
    // The trigger watch under way, and the logs saved in this series.
    std::unique_ptr<quillon::CaptureSeries> series_;
    std::optional<quillon::SeriesLock> series_lock_;
    int series_logs_ = 0;
    int series_left_out_ = 0;  // captures the keep condition left out
    ConditionLine* keep_if_ = nullptr;
    // The fields file that the keep condition is read on ("" for none),
    // and the condition as the settings file had it.
    std::string keep_if_fields_file_;
    std::string keep_if_read_;
    // The series' folder and count as the settings file had them.
    quillon::SeriesSettings series_settings_read_;
    StatusShown status_shown_ = StatusShown::None;
    bool stop_shown_ = false;
    bool saving_shown_ = false;
    QWidget* log_window_ = nullptr;
    LogOpener log_opener_;
    // Made on the first capture notified.
    std::unique_ptr<quillon::CaptureNotices> capture_notices_;
};
