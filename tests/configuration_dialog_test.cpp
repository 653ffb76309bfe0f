// The configuration dialog: what it shows of the main window's settings,
// what it stores on "OK", and that "Cancel" and a bad baud rate store
// nothing.
#include "IntegerText.h"
#include "MainWindowFixture.h"
#include "ui_Configuration.h"
#include "ui_Log.h"

#include <QAccessible>
#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include <filesystem>
#include <tuple>

namespace {

using quillon::Message;
using quillon::MessageIcon;
using quillon::TCommAdapterUSB;

// The four members the dialog shows and stores.
struct Settings {
    std::int32_t usb_mode;
    std::string com_port;
    std::int32_t baud_rate;
    std::int32_t log_save_condition;
    bool operator==(const Settings&) const = default;
};

void PrintTo(const Settings& s, std::ostream* out)
{
    *out << "{USB MODE " << s.usb_mode << ", " << s.com_port << ", " << s.baud_rate
         << ", AUTO SAVE " << s.log_save_condition << "}";
}

class ConfigurationDialogTest : public testsupport::MainWindowTest {
protected:
    void SetUp() override { ASSERT_TRUE(start()); }

    Ui::TfrmConfiguration& ui() { return dialog->controls(); }

    // Shows the dialog afresh, as each "Configuration" does.
    void show_dialog()
    {
        dialog->hide();
        dialog->setResult(0);
        dialog->show();
    }

    Settings settings() const
    {
        return {window->UsbMode, window->ComPort, window->BaudRate, window->LogSaveCondition};
    }

    void set_settings(const Settings& s)
    {
        window->UsbMode = s.usb_mode;
        window->ComPort = s.com_port;
        window->BaudRate = s.baud_rate;
        window->LogSaveCondition = s.log_save_condition;
    }
};

TEST_F(ConfigurationDialogTest, ShowingLoadsTheMainWindowsSettings)
{
    set_settings({1, "COM5", 38400, 1});
    show_dialog();
    EXPECT_TRUE(ui().rbUSB->isChecked());
    EXPECT_FALSE(ui().rbRS232->isChecked());
    EXPECT_FALSE(ui().cbxComPort->isEnabled());
    EXPECT_FALSE(ui().cbxBaudrate->isEnabled());
    EXPECT_EQ(ui().cbxComPort->currentText(), "COM5");
    EXPECT_EQ(ui().cbxBaudrate->currentText(), "38400");
    EXPECT_TRUE(ui().rbManual->isChecked());
    EXPECT_FALSE(ui().rbAutomatic->isChecked());

    set_settings({0, "COM12", 115200, 0});
    show_dialog();
    EXPECT_TRUE(ui().rbRS232->isChecked());
    EXPECT_FALSE(ui().rbUSB->isChecked());
    EXPECT_TRUE(ui().cbxComPort->isEnabled());
    EXPECT_TRUE(ui().cbxBaudrate->isEnabled());
    EXPECT_EQ(ui().cbxComPort->currentText(), "COM12");
    EXPECT_EQ(ui().cbxBaudrate->currentText(), "115200");
    EXPECT_TRUE(ui().rbAutomatic->isChecked());
    EXPECT_FALSE(ui().rbManual->isChecked());

    // Any non-zero mode is USB; a condition above 1 is "Manual", below 0 none.
    set_settings({7, "COM17", 1234, 5});
    show_dialog();
    EXPECT_TRUE(ui().rbUSB->isChecked());
    EXPECT_FALSE(ui().cbxComPort->isEnabled());
    EXPECT_EQ(ui().cbxComPort->currentText(), "COM17");
    EXPECT_EQ(ui().cbxBaudrate->currentText(), "1234");
    EXPECT_TRUE(ui().rbManual->isChecked());

    set_settings({0, "COM1", 9600, -2});
    show_dialog();
    EXPECT_FALSE(ui().rbAutomatic->isChecked());
    EXPECT_FALSE(ui().rbManual->isChecked());
    EXPECT_EQ(dialog->LogSaveConditionIndex(), -1);
}

TEST_F(ConfigurationDialogTest, SwitchingTheConnectionTypeEnablesOrDisablesTheListsOnly)
{
    set_settings({1, "COM6", 19200, 0});
    show_dialog();
    ASSERT_FALSE(ui().cbxComPort->isEnabled());

    ui().rbRS232->click();
    EXPECT_TRUE(ui().cbxComPort->isEnabled());
    EXPECT_TRUE(ui().cbxBaudrate->isEnabled());
    EXPECT_EQ(ui().cbxComPort->currentText(), "COM6");
    EXPECT_EQ(ui().cbxBaudrate->currentText(), "19200");

    ui().rbUSB->click();
    EXPECT_FALSE(ui().cbxComPort->isEnabled());
    EXPECT_FALSE(ui().cbxBaudrate->isEnabled());
    EXPECT_EQ(ui().cbxComPort->currentText(), "COM6");
    EXPECT_EQ(ui().cbxBaudrate->currentText(), "19200");
    // Nothing is stored before "OK".
    EXPECT_EQ(settings(), (Settings{1, "COM6", 19200, 0}));
}

TEST_F(ConfigurationDialogTest, OkStoresTheControlsIntoTheMainWindow)
{
    set_settings({1, "COM1", 9600, 0});
    show_dialog();
    ui().rbRS232->click();
    ui().cbxComPort->setEditText("COM17");
    ui().cbxBaudrate->setCurrentIndex(ui().cbxBaudrate->findText("57600"));
    ui().rbManual->click();
    ui().btnComSetOK->click();
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_FALSE(dialog->isVisible());
    // A typed name outside the list is kept as typed.
    EXPECT_EQ(settings(), (Settings{0, "COM17", 57600, 1}));

    // With "USB" the disabled lists are stored too; the mode is stored as 1.
    set_settings({7, "COM1", 9600, 1});
    show_dialog();
    ui().rbRS232->click();
    ui().cbxComPort->setEditText("COM3");
    ui().cbxBaudrate->setEditText("0x4B00");
    ui().rbUSB->click();
    ui().rbAutomatic->click();
    ui().btnComSetOK->click();
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(settings(), (Settings{1, "COM3", 19200, 0}));

    EXPECT_TRUE(messages.shown().empty());
    // The settings file is written at close only.
    EXPECT_FALSE(std::filesystem::exists(settings_path));
}

TEST_F(ConfigurationDialogTest, ABaudRateThatIsNoNumberIsReportedAndNothingIsStored)
{
    set_settings({1, "COM1", 9600, 0});
    show_dialog();
    ui().rbRS232->click();
    ui().cbxComPort->setEditText("COM4");
    ui().cbxBaudrate->setEditText("fast");
    ui().rbManual->click();
    ui().btnComSetOK->click();
    EXPECT_EQ(messages.shown(), (std::vector<Message>{{"'fast' is not a valid integer value.",
                                                       "Quillon", MessageIcon::Error}}));
    EXPECT_EQ(settings(), (Settings{1, "COM1", 9600, 0}));
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_NE(dialog->result(), QDialog::Accepted);

    // Called directly, the handler lets the error out, having stored nothing.
    EXPECT_THROW(dialog->btnComSetOKClick(), quillon::ConversionError);
    EXPECT_EQ(settings(), (Settings{1, "COM1", 9600, 0}));

    // Mended, the same showing stores everything.
    ui().cbxBaudrate->setEditText("4800");
    ui().btnComSetOK->click();
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(settings(), (Settings{0, "COM4", 4800, 1}));
}

TEST_F(ConfigurationDialogTest, ABadBaudRateThenCancelThroughTheMenuLeavesTheConnection)
{
    ASSERT_TRUE(window->controls().btnStatusCheck->isEnabled());
    const auto connections = TCommAdapterUSB::Connections();
    ASSERT_EQ(connections.size(), 1u);
    configure_with([this](TfrmConfiguration& shown) {
        shown.controls().cbxBaudrate->setEditText("9600 baud");
        shown.controls().btnComSetOK->click();
        EXPECT_TRUE(shown.isVisible());
        shown.controls().btnComSetCancel->click();
        EXPECT_FALSE(shown.isVisible());
    });
    EXPECT_EQ(messages.shown(), (std::vector<Message>{{"'9600 baud' is not a valid integer value.",
                                                       "Quillon", MessageIcon::Error}}));
    EXPECT_EQ(settings(), (Settings{1, "COM1", 9600, 0}));
    ASSERT_EQ(TCommAdapterUSB::Connections().size(), 1u);
    EXPECT_EQ(TCommAdapterUSB::Connections()[0].id, connections[0].id);
    EXPECT_TRUE(window->controls().btnStatusCheck->isEnabled());
}

TEST_F(ConfigurationDialogTest, CancelStoresNothingAndTheNextShowingShowsTheCurrentSettings)
{
    set_settings({0, "COM3", 4800, 1});
    show_dialog();
    ui().rbUSB->click();
    ui().cbxComPort->setEditText("COM9");
    ui().cbxBaudrate->setEditText("2400");
    ui().rbAutomatic->click();
    ui().btnComSetCancel->click();
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(settings(), (Settings{0, "COM3", 4800, 1}));

    show_dialog();
    EXPECT_TRUE(ui().rbRS232->isChecked());
    EXPECT_FALSE(ui().rbUSB->isChecked());
    EXPECT_TRUE(ui().cbxComPort->isEnabled());
    EXPECT_TRUE(ui().cbxBaudrate->isEnabled());
    EXPECT_EQ(ui().cbxComPort->currentText(), "COM3");
    EXPECT_EQ(ui().cbxBaudrate->currentText(), "4800");
    EXPECT_TRUE(ui().rbManual->isChecked());
    EXPECT_TRUE(messages.shown().empty());
}

TEST_F(ConfigurationDialogTest, APastedMultiLinePortNameIsRefusedAndTheSettingsFileKeepsItsLines)
{
    set_settings({0, "COM2", 9600, 0});
    show_dialog();
    QGuiApplication::clipboard()->setText("COM3\r\n[Form]\r\nUSB MODE=1\r\n");
    QTest::keyClick(ui().cbxComPort->lineEdit(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(ui().cbxComPort->lineEdit(), Qt::Key_V, Qt::ControlModifier);
    ui().rbUSB->click();  // the disabled field is stored too, so it is checked too
    ui().btnComSetOK->click();
    EXPECT_EQ(
        messages.shown(),
        (std::vector<Message>{{"'3\r\n[Form]\r\nUSB MODE=1\r\n' is not a valid integer value.",
                               "Quillon", MessageIcon::Error}}));
    EXPECT_EQ(settings(), (Settings{0, "COM2", 9600, 0}));
    EXPECT_TRUE(dialog->isVisible());

    ui().btnComSetCancel->click();
    window->FormClose();
    EXPECT_EQ(settings_text(),
              "[Form]\r\nBaudRate=9600\r\nComPort=COM2\r\nUSB MODE=0\r\nAUTO SAVE=0\r\n"
              "TYPE SELECT=0\r\n");
}

TEST_F(ConfigurationDialogTest, TextTypedWithEnterIsNoNewListItem)
{
    set_settings({0, "COM1", 9600, 0});
    show_dialog();
    for (auto [list, typed, items] :
         {std::tuple{ui().cbxComPort, "COM17", 16}, std::tuple{ui().cbxBaudrate, "abc", 7}}) {
        SCOPED_TRACE(typed);
        ASSERT_EQ(list->count(), items);
        const QString last = list->itemText(items - 1);
        QTest::keyClick(list->lineEdit(), Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(list->lineEdit(), typed);
        QTest::keyClick(list->lineEdit(), Qt::Key_Return);
        EXPECT_EQ(list->count(), items);
        EXPECT_EQ(list->itemText(items - 1), last);
        EXPECT_EQ(list->currentText(), typed);
    }
}

QAccessibleInterface* accessible(QObject* object)
{
    return QAccessible::queryAccessibleInterface(object);
}

TEST_F(ConfigurationDialogTest, ChoosingTheConnectionTypeThroughAccessibilityRunsItsHandler)
{
    set_settings({1, "COM6", 19200, 0});
    show_dialog();
    ASSERT_FALSE(ui().cbxComPort->isEnabled());
    const auto toggle = [](QWidget* choice) {
        accessible(choice)->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    };
    toggle(ui().rbRS232);
    EXPECT_TRUE(ui().cbxComPort->isEnabled());
    EXPECT_TRUE(ui().cbxBaudrate->isEnabled());
    toggle(ui().rbUSB);
    EXPECT_FALSE(ui().cbxComPort->isEnabled());
    EXPECT_FALSE(ui().cbxBaudrate->isEnabled());
    EXPECT_TRUE(ui().rbUSB->isChecked());
}

TEST_F(ConfigurationDialogTest, ControlsHaveAccessibleNames)
{
    show_dialog();
    EXPECT_EQ(accessible(ui().btnComSetOK)->text(QAccessible::Name), "OK");
    EXPECT_EQ(accessible(ui().btnComSetCancel)->text(QAccessible::Name), "Cancel");
    EXPECT_EQ(accessible(ui().rbRS232)->text(QAccessible::Name), "RS232");
    EXPECT_EQ(accessible(ui().rbUSB)->text(QAccessible::Name), "USB");
    EXPECT_EQ(accessible(ui().rbAutomatic)->text(QAccessible::Name),
              "Automatic ( After trigger detect )");
    EXPECT_EQ(accessible(ui().rbManual)->text(QAccessible::Name), "Manual");
    // The lists are named by their labels, through the label relation.
    const auto label_of = [](QWidget* list) {
        const auto relations = accessible(list)->relations(QAccessible::Label);
        return relations.isEmpty() ? QString("(none)")
                                   : relations.first().first->text(QAccessible::Name);
    };
    EXPECT_EQ(label_of(ui().cbxComPort), "COM Port");
    EXPECT_EQ(label_of(ui().cbxBaudrate), "Baud Rate");
}

// Each COM port item says where it leads, as found when the dialog shows.
TEST_F(ConfigurationDialogTest, PortItemsNameTheirDevices)
{
    show_dialog();
    QComboBox& ports = *ui().cbxComPort;
    const auto described = [&](int index) {
        EXPECT_EQ(ports.itemData(index, Qt::AccessibleDescriptionRole),
                  ports.itemData(index, Qt::ToolTipRole));
        return ports.itemData(index, Qt::ToolTipRole).toString().toStdString();
    };
    EXPECT_EQ(described(0), "COM1: " + line->slave_path());
    EXPECT_EQ(described(1), "COM2: " + testsupport::private_root() + "/not-a-terminal");

    free_port(5);
    std::filesystem::create_symlink("/dev/ttyUSB-unplugged", tarnlink::port_link_path(5));
    show_dialog();
    EXPECT_EQ(described(4), "COM5: /dev/ttyUSB-unplugged (not present)");
    EXPECT_EQ(ports.itemText(4), "COM5");
}

}  // namespace
