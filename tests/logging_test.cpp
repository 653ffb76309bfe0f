// Logging from the main window: START and STOP with the stop condition, the
// trigger poll and the automatic save, and SAVE LOG, against the simulated
// amplifier. Files are checked byte for byte against texts built here.
#include "MainWindowFixture.h"
#include "ui_Log.h"

#include <QLocale>

#include <cstdio>

namespace {

using testsupport::MainWindowTest;

class LoggingTest : public MainWindowTest {
protected:
    LoggingTest()
    {
        documents = QString::fromStdString(testsupport::private_root()) + "/Documents";
        quillon::set_documents_folder([this] { return documents; });
        quillon::set_clock([this] { return clock; });
    }
    ~LoggingTest() override
    {
        quillon::set_documents_folder({});
        quillon::set_clock({});
        quillon::set_save_dialog({});
    }

    // The log text file as the amplifier's current log makes it.
    std::string expected_file(const QDateTime& when, const std::string& condition_line) const
    {
        const QLocale locale = QLocale::system();
        std::string text = "#Date and Time  : " +
                           (locale.toString(when.date(), QLocale::ShortFormat) + " " +
                            locale.toString(when.time(), QLocale::LongFormat))
                               .toLocal8Bit()
                               .toStdString() +
                           "\r\n" + condition_line + "\r\n\r\n";
        for (const auto& record : model->log_in_read_order()) {
            text += "Recv";
            char two[4];
            for (auto byte : record.received) {
                std::snprintf(two, sizeof two, ",%02X", byte);
                text += two;
            }
            text += ", Send";
            for (auto byte : record.sent) {
                std::snprintf(two, sizeof two, ",%02X", byte);
                text += two;
            }
            text += "\r\n";
        }
        return text;
    }

    static std::string read_file(const QString& path)
    {
        std::ifstream in(path.toStdString(), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    QString documents;
    QDateTime clock = QDateTime(QDate(2014, 7, 3), QTime(16, 5, 9));
};

TEST_F(LoggingTest, TriggerFiresAndTheLogIsSavedAutomatically)
{
    ASSERT_TRUE(start());
    window->btnStatusCheckClick();
    auto& ui = window->controls();
    ui.cbxStopCondition->setChecked(true);
    window->cbxStopConditionClick();
    ui.cbxDataSelect->setEditText(" 0");
    ui.edtMaskData->setText("0x01");
    ui.edtConditionData->setText("$00");
    ui.edtLogStartCounter->setText("3");
    window->btnLogStartClick();
    ASSERT_TRUE(messages.shown().empty());
    EXPECT_TRUE(window->ChkTrigDtctTmr.isActive());
    EXPECT_EQ(ui.btnLogStart->text(), "STOP");
    EXPECT_EQ(model->stop_condition(), (ampsim::StopCondition{0, 0x01, 0x00, 3}));

    window->ChkTrigDtctTmrTimer();
    EXPECT_EQ(ui.edtComStatus->text(), "Logging");
    model->advance(400);  // the condition matches long before
    ASSERT_EQ(model->log_status(), 0);
    window->ChkTrigDtctTmrTimer();
    EXPECT_FALSE(window->ChkTrigDtctTmr.isActive());
    EXPECT_TRUE(messages.shown().empty());
    const QString file = documents + "/Orvitek Corporation/Quillon/Autolog_20140703160509.txt";
    EXPECT_EQ(read_file(file), expected_file(clock, "#Stop Condition : Recv[0] & 0x01 = 0x00 ,count 3"));
    EXPECT_EQ(ui.btnLogStart->text(), "START");
    EXPECT_EQ(ui.btnLogSave->text(), "SAVE LOG");
    EXPECT_TRUE(ui.btnLogSave->isEnabled());
    EXPECT_TRUE(window->AutoSaveText.empty());
}

}  // namespace
