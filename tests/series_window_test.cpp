// The series window offscreen over a folder of three small captures made
// from fired.txt (Autolog names, so their order is known) and a file that
// does not read: the table in capture order with its reference, changing
// the reference, a cell of the variation map with the values under it, and
// a capture opened in a browser compared with the reference; and the ways
// in: one file a browser, a folder or several files a series.
#include "LogBrowser.h"
#include "MainWindowFixture.h"
#include "MenuKeys.h"
#include "MessageRecorder.h"
#include "OpenLogs.h"
#include "PlotView.h"
#include "SeriesWindow.h"
#include "Startup.h"
#include "TestEnvironment.h"
#include "VariationMapView.h"
#include "ui_LogBrowser.h"

#include <QApplication>
#include <QDropEvent>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::string read_text(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// fired.txt with a field of some records replaced: "Send,80,91,92,93" has
// Send 3 at the fourth byte after "Send,".
void replace_once(std::string& text, const std::string& from, const std::string& to)
{
    const auto at = text.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    text.replace(at, from.size(), to);
}

void write(const fs::path& file, const std::string& text)
{
    std::ofstream(file, std::ios::binary) << text;
}

// Three captures a minute apart and a file that does not read. The fired
// record is record 5 (T0); record 4 is T-1, record 2 T-3. The second
// capture differs from the first in Send 3 at T-1 and Recv 5 at T-3, the
// third in Send 3 at T-1 only.
void write_night(const fs::path& folder)
{
    fs::remove_all(folder);
    fs::create_directories(folder);
    const std::string fired = read_text(fs::path(QUILLON_GOLDEN_DIR) / "fired.txt");
    const std::string t_minus_1 =
        "Recv,04,11,12,13,14,15,16,17,18,19,1A,1B,1C,1D,1E,1F, Send,84,91,92,";
    write(folder / "Autolog_20261209031500.txt", fired);
    std::string b = fired;
    replace_once(b, t_minus_1 + "93", t_minus_1 + "A3");
    replace_once(b, "Recv,02,11,12,13,14,15", "Recv,02,11,12,13,14,55");
    write(folder / "Autolog_20261209031600.txt", b);
    std::string c = fired;
    replace_once(c, t_minus_1 + "93", t_minus_1 + "B3");
    write(folder / "Autolog_20261209031700.txt", c);
    write(folder / "broken.txt", "not a log\n");
}

template <typename Window>
std::vector<Window*> open_windows()
{
    std::vector<Window*> found;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* window = qobject_cast<Window*>(widget)) {
            found.push_back(window);
        }
    }
    return found;
}

// Local files dropped on a window, as a drag arrives: it enters, then drops.
void drop(QWidget& target, const QStringList& files)
{
    QMimeData mime;
    QList<QUrl> urls;
    for (const QString& file : files) {
        urls.push_back(QUrl::fromLocalFile(file));
    }
    mime.setUrls(urls);
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&target, &enter);
    QDropEvent dropped(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&target, &dropped);
}

// Collected first: a window takes its menus, top-level too, with it.
void close_windows()
{
    for (TfrmSeries* series : open_windows<TfrmSeries>()) {
        delete series;
    }
    for (TfrmLogBrowser* browser : open_windows<TfrmLogBrowser>()) {
        delete browser;
    }
}

class SeriesWindowTest : public ::testing::Test {
protected:
    SeriesWindowTest() { write_night(folder); }
    ~SeriesWindowTest() override { close_windows(); }

    static QString cell(const QAbstractItemModel& model, int row, int column)
    {
        return model.data(model.index(row, column)).toString();
    }

    TfrmSeries& open()
    {
        TfrmSeries* series = open_logs({QString::fromStdString(folder.string())}, settings_path);
        EXPECT_NE(series, nullptr);
        return *series;
    }

    testsupport::MessageRecorder messages;
    fs::path folder = fs::path(testsupport::private_root()) / "night";
    std::string settings_path = testsupport::private_root() + "/series.INI";
};

TEST_F(SeriesWindowTest, ListsTheCapturesInOrderAgainstAReferenceThatCanChange)
{
    TfrmSeries& window = open();
    EXPECT_EQ(window.windowTitle(),
              QString::fromStdString(folder.filename().string()) + " - Quillon series");
    const QAbstractItemModel& table = *window.CapturesTable().model();
    ASSERT_EQ(table.rowCount(), 3);
    EXPECT_EQ(cell(table, 0, TfrmSeries::kFile), "Autolog_20261209031500.txt");
    EXPECT_EQ(cell(table, 1, TfrmSeries::kFile), "Autolog_20261209031600.txt");
    EXPECT_EQ(cell(table, 2, TfrmSeries::kFile), "Autolog_20261209031700.txt");
    EXPECT_EQ(cell(table, 0, TfrmSeries::kTime), "2026-12-09 03:15:00");
    EXPECT_EQ(cell(table, 0, TfrmSeries::kFired), "5");
    EXPECT_EQ(cell(table, 0, TfrmSeries::kCommand), "0x12");
    EXPECT_EQ(cell(table, 0, TfrmSeries::kReference), "reference");
    EXPECT_EQ(cell(table, 1, TfrmSeries::kReference), "");
    EXPECT_EQ(cell(table, 1, TfrmSeries::kDiffering), "2");
    EXPECT_EQ(cell(table, 2, TfrmSeries::kDiffering), "1");
    EXPECT_EQ(cell(table, 2, TfrmSeries::kDifferingMost), "Send 3 (1)");
    ASSERT_EQ(window.UnreadableList().count(), 1);
    EXPECT_TRUE(window.UnreadableList().item(0)->text().contains("broken.txt"));
    EXPECT_TRUE(messages.shown().empty());

    // The last capture made the reference: the first now differs from it in
    // one record, the second in two (Send 3 and Recv 5).
    window.CapturesTable().selectRow(2);
    window.SetReferenceButton().click();
    EXPECT_EQ(cell(table, 2, TfrmSeries::kReference), "reference");
    EXPECT_EQ(cell(table, 0, TfrmSeries::kReference), "");
    EXPECT_EQ(cell(table, 0, TfrmSeries::kDiffering), "1");
    EXPECT_EQ(cell(table, 1, TfrmSeries::kDiffering), "2");
    EXPECT_EQ(cell(table, 2, TfrmSeries::kDiffering), "");
}

TEST_F(SeriesWindowTest, AMapCellCountsTheCapturesThatDifferAndListsTheirValues)
{
    TfrmSeries& window = open();
    VariationMapView& map = window.Map();
    const int t_minus_1 = -1 - map.Map().first_offset;
    const int send_3 = 19;
    const VariationMapView::Cell changed{t_minus_1, send_3};
    EXPECT_EQ(map.CellText(changed), "T-1, Send 3: 2 captures differ, 3 distinct values");
    EXPECT_EQ(map.CellText({t_minus_1, 18}), "T-1, Send 2: 0 captures differ, 1 distinct value");
    EXPECT_EQ(map.CellColor({t_minus_1, 18}), map.palette().color(QPalette::Base));
    EXPECT_NE(map.CellColor(changed), map.palette().color(QPalette::Base));

    // A click on the cell lists and plots each capture's value there.
    window.show();
    QTest::mouseClick(&map, Qt::LeftButton, {}, map.CellRect(changed).center());
    ASSERT_EQ(map.CurrentCell(), changed);
    const QAbstractItemModel& values = *window.ValuesTable().model();
    ASSERT_EQ(values.rowCount(), 3);
    EXPECT_EQ(cell(values, 0, 2), "93");
    EXPECT_EQ(cell(values, 1, 1), "Autolog_20261209031600.txt");
    EXPECT_EQ(cell(values, 1, 2), "A3");
    EXPECT_EQ(cell(values, 2, 2), "B3");
    ASSERT_EQ(window.Plot().Points().size(), 3u);
    EXPECT_EQ(window.Plot().Points()[2].y, 0xB3);
    EXPECT_LT(window.Plot().Points()[0].x, window.Plot().Points()[2].x);

    // Against the second capture only the first and last differ there, and
    // the other cell now counts one.
    window.SetReference(1);
    EXPECT_EQ(map.CellText(changed), "T-1, Send 3: 2 captures differ, 3 distinct values");
    EXPECT_EQ(map.CellText({-3 - map.Map().first_offset, 5}),
              "T-3, Recv 5: 2 captures differ, 2 distinct values");
}

TEST_F(SeriesWindowTest, ADoubleClickOpensTheCaptureComparedWithTheReference)
{
    TfrmSeries& window = open();
    window.SetReference(2);
    window.show();
    QTableView& table = window.CapturesTable();
    const QRect row = table.visualRect(table.model()->index(1, TfrmSeries::kFile));
    // As a user's double click arrives: a click, then the second press.
    QTest::mouseClick(table.viewport(), Qt::LeftButton, {}, row.center());
    QTest::mouseDClick(table.viewport(), Qt::LeftButton, {}, row.center());

    const auto browsers = open_windows<TfrmLogBrowser>();
    ASSERT_EQ(browsers.size(), 1u);
    TfrmLogBrowser* opened = browsers.front();
    ASSERT_NE(opened, nullptr);
    EXPECT_TRUE(messages.shown().empty());
    EXPECT_EQ(opened->windowTitle(), "Autolog_20261209031600.txt - Quillon");
    ASSERT_NE(opened->compared_model(), nullptr);
    EXPECT_EQ(opened->controls().lblComparedFile->text(), "B: Autolog_20261209031700.txt");

    // Files dropped on the capture's browser open as anywhere else: two
    // files, a series of their own.
    drop(*opened, {QString::fromStdString((folder / "Autolog_20261209031500.txt").string()),
                   QString::fromStdString((folder / "Autolog_20261209031600.txt").string())});
    ASSERT_EQ(open_windows<TfrmSeries>().size(), 2u);
    EXPECT_EQ(open_windows<TfrmLogBrowser>().size(), 1u);
    EXPECT_TRUE(messages.shown().empty());
}

TEST_F(SeriesWindowTest, OneFileOpensItsBrowserAndSeveralFilesASeries)
{
    const QString first = QString::fromStdString((folder / "Autolog_20261209031500.txt").string());
    const QString second = QString::fromStdString((folder / "Autolog_20261209031700.txt").string());
    EXPECT_EQ(open_logs({first}, settings_path), nullptr);
    TfrmSeries* series = open_logs({second, first}, settings_path);
    ASSERT_NE(series, nullptr);
    EXPECT_EQ(series->CapturesTable().model()->rowCount(), 2);
    EXPECT_EQ(series->UnreadableList().count(), 0);
    EXPECT_EQ(open_windows<TfrmLogBrowser>().size(), 1u);
}

// What a screen reader says of each control: every one that takes the
// focus has a name, and the map and the plot say what they show.
TEST_F(SeriesWindowTest, EveryControlHasANameAndThePicturesADescription)
{
    TfrmSeries& window = open();
    window.show();
    for (const QWidget* widget : window.findChildren<QWidget*>()) {
        if (widget->focusPolicy() != Qt::NoFocus && widget->isVisible()) {
            EXPECT_FALSE(widget->accessibleName().isEmpty()) << widget->metaObject()->className();
        }
    }
    EXPECT_EQ(window.Map().accessibleName(), "Variation map");
    EXPECT_TRUE(window.Map().accessibleDescription().contains("3 captures"))
        << window.Map().accessibleDescription().toStdString();
    EXPECT_EQ(window.Plot().accessibleName(), "Plot");
    EXPECT_TRUE(window.Plot().accessibleDescription().contains("Send 3"))
        << window.Plot().accessibleDescription().toStdString();
}

TEST_F(SeriesWindowTest, MenusByKeyboardAndANewLanguageKeepTheCellShown)
{
    TfrmSeries& window = open();
    int counted = 0;
    EXPECT_EQ(testsupport::menu_key_faults(window.menuBar()->actions(), "", counted),
              std::vector<std::string>{});
    // File (2), Capture (2).
    EXPECT_EQ(counted, 2 + 2 + 2);
    EXPECT_TRUE(testsupport::f10_opens_menu_bar(window));

    VariationMapView& map = window.Map();
    const VariationMapView::Cell changed{-1 - map.Map().first_offset, 19};
    window.ShowCell(changed.row, changed.column);
    const auto shown = [&] {
        return QStringList{window.windowTitle(),
                           window.findChild<QLabel*>()->text(),
                           map.accessibleDescription(),
                           window.Plot().accessibleDescription(),
                           window.CapturesTable().model()->headerData(0, Qt::Horizontal).toString(),
                           QString::number(window.ValuesTable().model()->rowCount())};
    };
    const QStringList before = shown();
    EXPECT_EQ(before[0], "night - Quillon series");
    EXPECT_EQ(before[5], "3");
    QEvent change(QEvent::LanguageChange);
    QCoreApplication::sendEvent(&window, &change);
    EXPECT_EQ(shown(), before);
}

// The program's ways in: the command line's folder, "File" > "Open
// Series..." (a folder), "File" > "Open Log..." (each file a browser) and
// a drop of several files.
class SeriesEntryTest : public testsupport::MainWindowTest {
protected:
    SeriesEntryTest() { write_night(folder); }
    ~SeriesEntryTest() override
    {
        close_windows();
        quillon::set_open_dialog({});
        quillon::set_folder_dialog({});
    }

    fs::path folder = fs::path(testsupport::private_root()) / "entry";
    QString night = QString::fromStdString(folder.string());
    QString first = QString::fromStdString((folder / "Autolog_20261209031500.txt").string());
    QString second = QString::fromStdString((folder / "Autolog_20261209031600.txt").string());
};

TEST_F(SeriesEntryTest, AFolderOrSeveralFilesOpenASeriesAndOneFileItsBrowser)
{
    const auto program = quillon::start_program(settings_path, {night});
    ASSERT_TRUE(program);
    ASSERT_EQ(open_windows<TfrmSeries>().size(), 1u);
    EXPECT_EQ(open_windows<TfrmSeries>().front()->CapturesTable().model()->rowCount(), 3);

    quillon::set_folder_dialog([&](const QString&) { return night; });
    program->main_form->controls().mnuOpenSeries->trigger();
    EXPECT_EQ(open_windows<TfrmSeries>().size(), 2u);

    // "Open Log..." starts in the folder of the series opened last.
    QString asked_folder;
    quillon::set_open_dialog([&](const QString&, const QString& start) {
        asked_folder = start;
        return QStringList{first, second};
    });
    program->main_form->controls().mnuOpenLog->trigger();
    EXPECT_EQ(asked_folder, QFileInfo(night).absoluteFilePath());
    EXPECT_EQ(open_windows<TfrmSeries>().size(), 2u);
    EXPECT_EQ(open_windows<TfrmLogBrowser>().size(), 2u);

    drop(*program->main_form, {first, second});
    ASSERT_EQ(open_windows<TfrmSeries>().size(), 3u);
    EXPECT_EQ(open_windows<TfrmLogBrowser>().size(), 2u);
    EXPECT_TRUE(messages.shown().empty());
}

}  // namespace
