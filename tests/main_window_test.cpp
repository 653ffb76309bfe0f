// The main window: start-up, the settings file, the status check and the
// mode switch, against the simulated amplifier.
#include "MainWindowFixture.h"
#include "ui_Log.h"

#include <QLineEdit>

namespace {

using quillon::Message;
using quillon::MessageIcon;
using testsupport::MainWindowTest;

TEST_F(MainWindowTest, StartsInUsbModeWithoutSettingsAndWritesThemAtClose)
{
    ASSERT_TRUE(start());
    EXPECT_EQ(window->UsbMode, 1);
    EXPECT_EQ(window->LogModeIndex(), 0);
    EXPECT_TRUE(window->controls().btnStatusCheck->isEnabled());
    EXPECT_TRUE(messages.shown().empty());
    window->FormClose();
    EXPECT_EQ(settings_text(),
              "[Form]\r\nBaudRate=9600\r\nComPort=COM1\r\nUSB MODE=1\r\nAUTO SAVE=0\r\n"
              "TYPE SELECT=0\r\n");
}

TEST_F(MainWindowTest, StatusCheckShowsTheLastExchangeInSixteenByteMode)
{
    ASSERT_TRUE(start());
    model->advance(1);
    window->btnStatusCheckClick();
    EXPECT_TRUE(messages.shown().empty());
    const std::uint8_t wide_command[] = {0, 0, 0xAF};
    const auto reply = model->execute(wide_command);
    ASSERT_TRUE(reply);
    for (int byte = 0; byte < 16; ++byte) {
        EXPECT_EQ(window->ReceivedBox(byte)->text(),
                  QString::asprintf("%02X", reply->data[byte]));
        EXPECT_EQ(window->SentBox(byte)->text(),
                  QString::asprintf("%02X", reply->data[16 + byte]));
    }
    EXPECT_EQ(window->controls().edtComStatus->text(), "IDLE");
    EXPECT_EQ(window->ReceivedBox(16)->text(), "--");
}

}  // namespace
