// Quillon in Japanese and back: the libraries' fixed messages and their
// causes worded by the message boxes, and the windows worded anew at once
// when the language changes.
#include "Language.h"
#include "Log.h"
#include "LogBrowser.h"
#include "LogTableModel.h"
#include "MenuKeys.h"
#include "MessageBoxes.h"
#include "OpenLogs.h"
#include "SeriesWindow.h"
#include "Settings.h"
#include "TestEnvironment.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTableView>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

class LanguageTest : public ::testing::Test {
protected:
    ~LanguageTest() override { quillon::apply_language(quillon::Language::English); }
};

TEST_F(LanguageTest, MessagesAndTheirCausesAreWordedInTheLanguageChosen)
{
    struct Case {
        std::string text;
        QString japanese;
    };
    const Case cases[] = {
        // A fixed message, and a caption.
        {"Can't open COM port!", "COM ポートを開けません!"},
        {"Error!", "エラー!"},
        // A cause after the names of the port and its device.
        {"COM3: /dev/ttyS2: held by another program",
         "COM3: /dev/ttyS2: 他のプログラムが使用中です"},
        // A reader's reason after the file and line, numbers in their places.
        {"/tmp/a: b.txt:258: the file ends after 12 records; a log has 256",
         "/tmp/a: b.txt:258: ファイルが 12 レコードで終わっています。ログは 256 レコードです"},
        {"COM17 is not one of COM1 to COM16", "COM17 は COM1 ～ COM16 のいずれでもありません"},
        // Line by line; what the catalogue does not hold stays as it is.
        {"TARNLINK.DLL is not found.\nlibtarnlink.so: No such file",
         "TARNLINK.DLL が見つかりません。\nlibtarnlink.so: No such file"},
    };
    quillon::apply_language(quillon::Language::Japanese);
    EXPECT_EQ(quillon::current_language(), quillon::Language::Japanese);
    for (const Case& c : cases) {
        EXPECT_EQ(quillon::worded_message(c.text), c.japanese) << c.text;
    }
    quillon::apply_language(quillon::Language::English);
    for (const Case& c : cases) {
        EXPECT_EQ(quillon::worded_message(c.text), QString::fromStdString(c.text));
    }
}

template <typename Window>
Window* open_window()
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* window = qobject_cast<Window*>(widget)) {
            return window;
        }
    }
    return nullptr;
}

QString first_menu(QMainWindow& window)
{
    return window.menuBar()->actions().value(0)->text();
}

// The item of "Setting" > "Language" chosen; the windows hear of it through
// the events that Qt posts.
void choose(QMainWindow& main_form, const char* item)
{
    main_form.findChild<QAction*>(item)->trigger();
    QCoreApplication::sendPostedEvents();
}

std::vector<std::string> menu_key_faults(QMainWindow& window)
{
    int counted = 0;
    return testsupport::menu_key_faults(window.menuBar()->actions(), "", counted);
}

// The main window, a browser and a series window open; the language chosen
// in the main window's menu words all three at once, and back.
TEST_F(LanguageTest, EveryOpenWindowIsWordedAnewWhenTheLanguageIsChosen)
{
    namespace fs = std::filesystem;
    const std::string settings = testsupport::private_root() + "/windows.INI";
    const fs::path fired = fs::path(QUILLON_GOLDEN_DIR) / "fired.txt";
    const fs::path night = fs::path(testsupport::private_root()) / "night";
    fs::create_directories(night);
    fs::copy_file(fired, night / "Autolog_20261209031500.txt",
                  fs::copy_options::overwrite_existing);
    fs::copy_file(fired, night / "Autolog_20261209031600.txt",
                  fs::copy_options::overwrite_existing);
    const std::string empty = (night / "empty.txt").string();
    std::ofstream(empty).close();

    TMainForm main_form(settings);
    open_logs({QString::fromStdString(fired.string())}, settings);
    std::unique_ptr<TfrmLogBrowser> browser(open_window<TfrmLogBrowser>());
    std::unique_ptr<TfrmSeries> series(
        open_logs({QString::fromStdString(night.string())}, settings));
    ASSERT_TRUE(browser && series);
    auto* start = main_form.findChild<QPushButton*>("btnLogStart");
    auto* stop_condition = browser->findChild<QLabel*>("lblStopCondition");
    auto* unreadable = series->findChild<QListWidget*>("lbxUnreadable");
    auto* records = browser->findChild<QTableView*>("tblRecords");
    ASSERT_TRUE(start && stop_condition && unreadable && unreadable->count() == 1 && records);
    // fired.txt fires at record 5.
    auto* table = dynamic_cast<LogTableModel*>(records->model());
    ASSERT_NE(table, nullptr);
    const QModelIndex fired_mark = table->index(5, table->MarkerColumn());
    // Every field filled (Phase, the bytes, the condition) keeps its text
    // through both switches: only the windows' own words change.
    // A spin box's text is its number, and the status is the window's own.
    QList<QLineEdit*> fields = main_form.findChildren<QLineEdit*>();
    fields.removeIf([](const QLineEdit* field) {
        return field->objectName() == "edtComStatus" ||
               qobject_cast<const QAbstractSpinBox*>(field->parent()) != nullptr;
    });
    ASSERT_GT(fields.size(), 64);
    for (QLineEdit* field : fields) {
        field->setText("BB");
    }
    const auto fields_kept = [&fields] {
        return std::all_of(fields.begin(), fields.end(),
                           [](const QLineEdit* field) { return field->text() == "BB"; });
    };

    choose(*browser, "mnuDecoded");
    const auto headings = [table] {
        QStringList shown;
        for (int column = 0; column < table->columnCount(); ++column) {
            shown << table->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
        }
        return shown;
    };

    choose(main_form, "mnuLanguageJapanese");
    EXPECT_TRUE(fields_kept());
    // The decoded block's parts are worded too.
    EXPECT_TRUE(headings().contains("Recv 長さ")) << headings().join(",").toStdString();
    EXPECT_EQ(quillon::language_setting(settings), quillon::Language::Japanese);
    EXPECT_EQ(first_menu(main_form).toStdString(), "ファイル(&F)");
    EXPECT_EQ(start->text().toStdString(), "開始");
    EXPECT_EQ(first_menu(*browser).toStdString(), "ファイル(&F)");
    EXPECT_EQ(table->data(fired_mark, Qt::DisplayRole).toString().toStdString(), "トリガ");
    // The stop condition is the file's own text; its caption is worded.
    EXPECT_EQ(stop_condition->text().toStdString(), "停止条件: Recv[0] & 0x01 = 0x01 ,count 2");
    EXPECT_EQ(series->windowTitle().toStdString(), "night - Quillon シリーズ");
    EXPECT_EQ(unreadable->item(0)->text().toStdString(),
              empty +
                  ": ファイルが空で、ログではありません"
                  "(クリアしたログビューを保存すると空になります)");
    // Every command still has a key of its own in Japanese.
    for (QMainWindow* window :
         {static_cast<QMainWindow*>(&main_form), static_cast<QMainWindow*>(browser.get()),
          static_cast<QMainWindow*>(series.get())}) {
        EXPECT_EQ(menu_key_faults(*window), std::vector<std::string>())
            << window->windowTitle().toStdString();
    }

    choose(main_form, "mnuLanguageEnglish");
    EXPECT_TRUE(fields_kept());
    EXPECT_EQ(first_menu(main_form).toStdString(), "&File");
    EXPECT_EQ(start->text().toStdString(), "START");
    EXPECT_EQ(first_menu(*browser).toStdString(), "&File");
    EXPECT_EQ(table->data(fired_mark, Qt::DisplayRole).toString().toStdString(), "fired");
    EXPECT_EQ(stop_condition->text().toStdString(),
              "Stop Condition: Recv[0] & 0x01 = 0x01 ,count 2");
    EXPECT_EQ(series->windowTitle().toStdString(), "night - Quillon series");
    EXPECT_EQ(unreadable->item(0)->text().toStdString(),
              empty + ": the file is empty, not a log (a cleared log view saves one)");
}

TEST_F(LanguageTest, TheChoiceIsKeptOutsideTheFormSection)
{
    const std::string settings = testsupport::private_root() + "/language.INI";
    EXPECT_EQ(quillon::language_setting(settings), quillon::Language::System);
    quillon::write_settings(settings, quillon::Settings{});
    quillon::choose_language(settings, quillon::Language::Japanese);
    EXPECT_EQ(quillon::language_setting(settings), quillon::Language::Japanese);
    EXPECT_EQ(quillon::current_language(), quillon::Language::Japanese);
    // [Form]'s five keys as they were, in their order.
    std::ifstream file(settings, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(file), {}),
              "[Form]\r\nBaudRate=9600\r\nComPort=COM1\r\nUSB MODE=1\r\nAUTO SAVE=0\r\n"
              "TYPE SELECT=0\r\n[View]\r\nLanguage=ja\r\n");
    quillon::choose_language(settings, quillon::Language::System);
    EXPECT_EQ(quillon::language_setting(settings), quillon::Language::System);
}

}  // namespace
