// The series window offscreen over a folder of three small captures made
// from fired.txt (Autolog names, so their order is known) and a file that
// does not read: the table in capture order with its reference, changing
// the reference, the rules and the fields file, a cell of the variation map
// with the values under it, columns of values at places, and a capture
// opened in a browser compared with the reference; a condition that keeps
// only some captures of the golden series; over a folder of longer
// captures, the table's rows in sight and the map's headings; the likely
// causes of a series with a cause planted and of one without; each
// capture's notes; and the ways in: one file a browser, a folder or several
// files a series.
#include "CausesPanel.h"
#include "ComparisonRulesBox.h"
#include "ConditionLine.h"
#include "LogBrowser.h"
#include "LogText.h"
#include "MainWindowFixture.h"
#include "MenuKeys.h"
#include "MessageRecorder.h"
#include "NoteDialog.h"
#include "Notes.h"
#include "OpenLogs.h"
#include "PlotView.h"
#include "Report.h"
#include "SeriesWindow.h"
#include "Settings.h"
#include "Startup.h"
#include "TestEnvironment.h"
#include "ValueColumnsDialog.h"
#include "VariationMapView.h"
#include "ui_LogBrowser.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDropEvent>
#include <QFileInfo>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QSplitter>
#include <QTableView>
#include <QTest>
#include <QToolTip>
#include <QTreeWidget>
#include <QUrl>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <random>
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
// capture differs from the first in Send 3 at T-1 and Recv 4 at T-3 (a
// data byte: Recv 5 holds that block's checksum), the third in Send 3 at
// T-1 only.
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
    replace_once(b, "Recv,02,11,12,13,14,15", "Recv,02,11,12,13,54,15");
    write(folder / "Autolog_20261209031600.txt", b);
    std::string c = fired;
    replace_once(c, t_minus_1 + "93", t_minus_1 + "B3");
    write(folder / "Autolog_20261209031700.txt", c);
    write(folder / "broken.txt", "not a log\n");
}

// A log of 256 written records whose trigger fired at record 127 (count
// 128), its bytes changing from record to record and from seed to seed.
std::string long_log(unsigned seed)
{
    std::string text =
        "#Date and Time  : 2026/12/09 03:15:00\r\n"
        "#Stop Condition : Send[2] & 0x0F = 0x01 ,count 128\r\n\r\n";
    for (int i = 0; i < quillon::kLogRecords; ++i) {
        quillon::LogRecord record{};
        for (std::size_t k = 0; k < record.size(); ++k) {
            record[k] = static_cast<std::uint8_t>(seed * 31 + unsigned(i) * 7 + k + 1);
        }
        record[quillon::record_byte_index(quillon::Direction::Send, 2)] = i == 127 ? 0x01 : 0x02;
        text += quillon::record_line(record) + "\r\n";
    }
    return text;
}

// Twelve long captures a minute apart.
void write_long_night(const fs::path& folder)
{
    fs::remove_all(folder);
    fs::create_directories(folder);
    for (unsigned i = 0; i < 12; ++i) {
        write(folder / ("Autolog_202612090" + std::to_string(3 + i / 10) + std::to_string(i % 10) +
                        "0000.txt"),
              long_log(i));
    }
}

// A menu item of the window by its text.
QAction* menu_action(QMainWindow& window, const QString& text)
{
    for (QAction* menu : window.menuBar()->actions()) {
        for (QAction* item : menu->menu()->actions()) {
            if (item->text() == text) {
                return item;
            }
        }
    }
    ADD_FAILURE() << "no menu item " << text.toStdString();
    return nullptr;
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
    // one record, the second in two (Send 3 and Recv 4).
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
    QTest::mouseClick(map.viewport(), Qt::LeftButton, {}, map.CellRect(changed).center());
    ASSERT_EQ(map.CurrentCell(), changed);
    const QAbstractItemModel& values = *window.ValuesTable().model();
    ASSERT_EQ(values.rowCount(), 3);
    EXPECT_EQ(cell(values, 0, 2), "0x93");
    EXPECT_EQ(cell(values, 1, 1), "Autolog_20261209031600.txt");
    EXPECT_EQ(cell(values, 1, 2), "0xA3");
    EXPECT_EQ(cell(values, 2, 2), "0xB3");
    // The two that differ from the reference there are marked.
    for (const int row : {0, 1, 2}) {
        EXPECT_EQ(values.data(values.index(row, 2), Qt::AccessibleDescriptionRole).toString(),
                  row == 0 ? "" : "differs from the reference")
            << row;
    }
    ASSERT_EQ(window.Plot().Points().size(), 3u);
    EXPECT_EQ(window.Plot().Points()[2].y, 0xB3);
    EXPECT_LT(window.Plot().Points()[0].x, window.Plot().Points()[2].x);
    // The byte's axis written as the list writes it.
    const std::vector<PlotTick> ticks = window.Plot().YTicks();
    ASSERT_FALSE(ticks.empty());
    EXPECT_TRUE(std::ranges::all_of(ticks, [](const PlotTick& tick) {
        return tick.label.startsWith("0x");
    })) << ticks.front().label.toStdString();

    // Against the second capture only the first and last differ there, and
    // the other cell now counts one.
    window.SetReference(1);
    EXPECT_EQ(map.CellText(changed), "T-1, Send 3: 2 captures differ, 3 distinct values");
    EXPECT_EQ(map.CellText({-3 - map.Map().first_offset, 4}),
              "T-3, Recv 4: 2 captures differ, 2 distinct values");
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

// The Notes column: a capture's own note, then how many notes its records
// have, all of them in its tooltip; a sidecar that does not read is said
// in its cell, why in its tooltip, with no box; a note written on a capture
// from the Capture menu, or in a browser opened from the window, shows at
// once.
TEST_F(SeriesWindowTest, TheNotesColumnShowsACapturesNoteAndHowManyItsRecordsHave)
{
    const fs::path first = folder / "Autolog_20261209031500.txt";
    const fs::path second = folder / "Autolog_20261209031600.txt";
    const fs::path third = folder / "Autolog_20261209031700.txt";
    const quillon::LogTimeline timeline =
        quillon::log_timeline(quillon::read_log_file(second.string()));
    for (const std::optional<int> record :
         {std::optional<int>(4), std::optional<int>(), std::optional<int>(5)}) {
        ASSERT_EQ(quillon::add_note(second, timeline, record,
                                    record ? "a record" : "overload after 50 mm", {},
                                    std::chrono::system_clock::now())
                      .problem,
                  quillon::NotesProblem::None);
    }
    write(quillon::notes_path(third), "[]");
    TfrmSeries& window = open();
    const QAbstractItemModel& table = *window.CapturesTable().model();
    const auto tooltip = [&](int row) {
        return table.data(table.index(row, TfrmSeries::kNotes), Qt::ToolTipRole).toString();
    };
    EXPECT_EQ(table.headerData(TfrmSeries::kNotes, Qt::Horizontal).toString(), "Notes");
    EXPECT_EQ(cell(table, 0, TfrmSeries::kNotes), "");
    EXPECT_EQ(tooltip(0), "");
    EXPECT_EQ(cell(table, 1, TfrmSeries::kNotes), "overload after 50 mm (+2)");
    EXPECT_EQ(tooltip(1), "overload after 50 mm\nrecord 4: a record\nrecord 5: a record");
    EXPECT_EQ(cell(table, 2, TfrmSeries::kNotes), "notes not read");
    EXPECT_EQ(tooltip(2), QString::fromStdString(quillon::notes_path(third).string()) +
                              " is not a notes file: no \"notes\" list");
    EXPECT_TRUE(messages.shown().empty());

    // On the first capture from the Capture menu: its own note.
    quillon::set_modal_runner([](QDialog& shown) {
        auto& dialog = dynamic_cast<NoteDialog&>(shown);
        dialog.TextLine().setText("reference run");
        dialog.TagsLine().setText("#good");
        return int(QDialog::Accepted);
    });
    window.CapturesTable().selectRow(0);
    menu_action(window, "&Note...")->trigger();
    EXPECT_EQ(cell(table, 0, TfrmSeries::kNotes), "reference run");
    const quillon::NotesRead read = quillon::read_notes(first);
    ASSERT_EQ(read.notes.size(), 1u);
    EXPECT_EQ(read.notes[0].record, std::nullopt);
    EXPECT_EQ(read.notes[0].tags, std::vector<std::string>{"good"});

    // On a record, in the capture's browser: counted here.
    TfrmLogBrowser* browser = window.OpenCapture(0);
    ASSERT_NE(browser, nullptr);
    browser->controls().tblRecords->selectRow(3);
    browser->mnuNoteClick();
    quillon::set_modal_runner({});
    EXPECT_EQ(cell(table, 0, TfrmSeries::kNotes), "reference run (+1)");
    EXPECT_EQ(quillon::read_notes(first).notes.size(), 2u);
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
    // The menus (3), File (4), View (2), Capture (3).
    EXPECT_EQ(counted, 3 + 4 + 2 + 3);
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

TEST_F(SeriesWindowTest, RulesChangeTheMapsCountsAndTheTablesAndAreRemembered)
{
    TfrmSeries& window = open();
    const QAbstractItemModel& table = *window.CapturesTable().model();
    VariationMapView& map = window.Map();
    const int t_minus_1 = -1 - map.Map().first_offset;
    const VariationMapView::Cell send_3{t_minus_1, 19};
    const VariationMapView::Cell recv_4{-3 - map.Map().first_offset, 4};
    ComparisonRulesBox& rules = window.RulesBox();
    const auto add = [&](bool only, const QString& byte, const QString& mask) {
        (only ? rules.OnlyButton() : *rules.findChild<QRadioButton*>("rbnRuleIgnore"))
            .setChecked(true);
        rules.DirectionBox().setCurrentIndex(byte.startsWith("S") ? 1 : 0);
        rules.ByteEdit().setText(byte.mid(1));
        rules.MaskEdit().setText(mask);
        rules.AddButton().click();
    };
    const auto remove_first = [&] {
        rules.List().setCurrentRow(0);
        rules.RemoveButton().click();
    };

    // Send 3 ignored: only the second capture's Recv 4 at T-3 is left.
    add(false, "S3", "0xFF");
    EXPECT_EQ(rules.List().item(0)->text(), "Ignore Send[3] & 0xFF");
    EXPECT_EQ(map.CellText(send_3), "T-1, Send 3: 0 captures differ, 3 distinct values");
    EXPECT_EQ(map.CellText(recv_4), "T-3, Recv 4: 1 capture differs, 2 distinct values");
    EXPECT_EQ(cell(table, 1, TfrmSeries::kDiffering), "1");
    EXPECT_EQ(cell(table, 1, TfrmSeries::kDifferingMost), "Recv 4 (1)");
    EXPECT_EQ(cell(table, 2, TfrmSeries::kDiffering), "0");
    EXPECT_EQ(cell(table, 2, TfrmSeries::kDifferingMost), "");
    EXPECT_TRUE(window.PictureCaption().contains("Rules: Ignore Send[3] & 0xFF"));

    // Remembered: a window opened next compares under them.
    TfrmSeries& next = open();
    ASSERT_EQ(next.RulesBox().List().count(), 1);
    EXPECT_EQ(cell(*next.CapturesTable().model(), 2, TfrmSeries::kDiffering), "0");
    delete &next;

    // Only the low bits of Send 3, where 0x93, 0xA3 and 0xB3 agree: no
    // record differs; its high bits: Send 3 again, Recv 4 never.
    remove_first();
    add(true, "S3", "0x0F");
    EXPECT_EQ(map.CellText(send_3), "T-1, Send 3: 0 captures differ, 3 distinct values");
    EXPECT_EQ(cell(table, 1, TfrmSeries::kDiffering), "0");
    remove_first();
    add(true, "S3", "0xF0");
    EXPECT_EQ(map.CellText(send_3), "T-1, Send 3: 2 captures differ, 3 distinct values");
    EXPECT_EQ(map.CellText(recv_4), "T-3, Recv 4: 0 captures differ, 2 distinct values");
    EXPECT_EQ(cell(table, 1, TfrmSeries::kDiffering), "1");

    // None: as opened.
    remove_first();
    EXPECT_EQ(map.CellText(recv_4), "T-3, Recv 4: 1 capture differs, 2 distinct values");
    EXPECT_EQ(cell(table, 1, TfrmSeries::kDiffering), "2");
    EXPECT_TRUE(quillon::read_comparison_rules_setting(settings_path).empty());
    EXPECT_TRUE(messages.shown().empty());
}

TEST_F(SeriesWindowTest, FieldsChosenAreTakenByTheOpenWindowAndRemembered)
{
    TfrmSeries& window = open();
    VariationMapView& map = window.Map();
    const int t_minus_1 = -1 - map.Map().first_offset;
    const fs::path fields = fs::path(testsupport::private_root()) / "speed.json";
    write(fields,
          R"({"fields": [{"name": "speed", "direction": "send", "byte": 3, "unit": "rpm"}]})");
    quillon::set_open_dialog([&](const QString&, const QString&) {
        return QStringList{QString::fromStdString(fields.string())};
    });
    menu_action(window, "F&ields...")->trigger();
    quillon::set_open_dialog({});

    ASSERT_EQ(map.Columns(), 33);
    const VariationMapView::Cell speed{t_minus_1, 32};
    EXPECT_EQ(map.CellText(speed), "T-1, speed: 2 captures differ, 3 distinct values");
    window.ShowCell(speed.row, speed.column);
    const QAbstractItemModel& values = *window.ValuesTable().model();
    ASSERT_EQ(values.rowCount(), 3);
    EXPECT_EQ(cell(values, 2, 2), "179 rpm");
    ASSERT_EQ(window.Plot().Points().size(), 3u);
    EXPECT_EQ(window.Plot().Points()[2].y, 0xB3);
    EXPECT_EQ(quillon::read_fields_file_setting(settings_path), fields.string());

    // A rule on the field's byte reaches the field.
    window.RulesBox().DirectionBox().setCurrentIndex(1);
    window.RulesBox().ByteEdit().setText("3");
    window.RulesBox().AddButton().click();
    EXPECT_EQ(map.CellText(speed), "T-1, speed: 0 captures differ, 3 distinct values");
    EXPECT_TRUE(messages.shown().empty());
}

// The golden series: 01:00 fired at 5; 02:00 fired at 6, its Send 3 at
// T+1 0x00; 02:00 (_2) without a fired record, so that no condition keeps
// it. A condition on the fields file with places keeps only the captures
// that meet it at their fired records, in the table, the map and the
// values; a reference left out falls to the first kept; one that does not
// read says where and keeps every capture; the text is remembered.
TEST_F(SeriesWindowTest, AConditionKeepsOnlyTheCapturesThatMeetIt)
{
    const QString golden(QUILLON_GOLDEN_DIR);
    TfrmSeries& window = *open_logs({golden + "/series"}, settings_path);
    ConditionLine& keep_if = window.KeepIfLine();
    const QLabel& error = *keep_if.findChild<QLabel*>("lblConditionError");
    const QAbstractItemModel& table = *window.CapturesTable().model();
    const auto files = [&] {
        QStringList shown;
        for (int row = 0; row < table.rowCount(); ++row) {
            shown << cell(table, row, TfrmSeries::kFile) + " " +
                         cell(table, row, TfrmSeries::kReference);
        }
        return shown;
    };
    const QStringList all{"Autolog_20261209010000.txt reference", "Autolog_20261209020000.txt ",
                          "Autolog_20261209020000_2.txt "};
    ASSERT_EQ(files(), all);
    EXPECT_TRUE(window.KeptLabel().isHidden());

    // Its names are the fields file's: none until it is chosen.
    const QString both = R"(mode@T-1 = "run, fast" and index@T0 = 5)";
    QTest::keyClicks(keep_if.Edit(), both);
    EXPECT_FALSE(error.isHidden());
    EXPECT_EQ(files(), all);
    ASSERT_TRUE(window.ShowFields(golden + "/series-fields.json"));
    EXPECT_TRUE(error.isHidden());
    EXPECT_EQ(files(),
              (QStringList{"Autolog_20261209010000.txt reference", "Autolog_20261209020000.txt "}));
    EXPECT_EQ(window.KeptLabel().text(), "2 of 3 captures kept; 1 left out");
    EXPECT_FALSE(window.KeptLabel().isHidden());
    EXPECT_EQ(window.Map().Map().captures_mapped, 2);
    EXPECT_EQ(cell(table, 1, TfrmSeries::kDifferingMost), "Send 3 (1)");
    EXPECT_TRUE(window.PictureCaption().contains("Kept where " + both +
                                                 ": 2 of 3 captures kept; 1 left out"));

    // Only 02:00's Send 3 is 0x00 at T+1: the reference is left out, and the
    // first kept is the reference, compared with and said so.
    keep_if.SetText("s3@T+1 = 0");
    EXPECT_EQ(files(), QStringList{"Autolog_20261209020000.txt reference"});
    EXPECT_EQ(window.KeptLabel().text(),
              "1 of 3 captures kept; 2 left out; the reference Autolog_20261209010000.txt was "
              "left out: the first capture kept, Autolog_20261209020000.txt, is the reference");
    EXPECT_EQ(window.Map().Map().captures_mapped, 1);
    const VariationMapView::Cell t_plus_1{1 - window.Map().Map().first_offset, 19};
    window.ShowCell(t_plus_1.row, t_plus_1.column);
    EXPECT_EQ(window.ValuesTable().model()->rowCount(), 1);
    EXPECT_EQ(window.Plot().Points().size(), 1u);

    // Not read: where and why under the line, and every capture kept, the
    // reference chosen again.
    keep_if.SetText("s3@T+1 >");
    EXPECT_EQ(error.text(), "a value expected after '>' (column 9)");
    EXPECT_EQ(files(), all);
    EXPECT_TRUE(window.KeptLabel().isHidden());
    EXPECT_EQ(window.Map().Map().captures_mapped, 2);

    // A reference chosen among those kept stays the reference when the
    // condition goes.
    keep_if.SetText("index@T0 = 5");
    EXPECT_EQ(window.KeptLabel().text(), "2 of 3 captures kept; 1 left out");
    window.SetReference(1);
    keep_if.SetText("");
    EXPECT_EQ(files(),
              (QStringList{"Autolog_20261209010000.txt ", "Autolog_20261209020000.txt reference",
                           "Autolog_20261209020000_2.txt "}));
    EXPECT_EQ(cell(table, 0, TfrmSeries::kDiffering), "1");

    // Remembered as typed: the next window keeps by it.
    keep_if.SetText(both);
    EXPECT_EQ(quillon::read_keep_if_setting(settings_path, quillon::KeepIfWindow::Series),
              both.toStdString());
    TfrmSeries& next = *open_logs({golden + "/series"}, settings_path);
    EXPECT_EQ(next.KeepIfLine().Text(), both);
    EXPECT_EQ(next.CapturesTable().model()->rowCount(), 2);
    EXPECT_EQ(next.KeptLabel().text(), "2 of 3 captures kept; 1 left out");
    EXPECT_TRUE(messages.shown().empty());
}

TEST_F(SeriesWindowTest, ColumnsChosenShowEachCapturesValueAtItsPlaceSortedAndExported)
{
    TfrmSeries& window = open();
    quillon::set_modal_runner([](QDialog& dialog) {
        auto& columns = dynamic_cast<ValueColumnsDialog&>(dialog);
        columns.OperandBox().setCurrentText("send[3]");
        columns.PlaceBox().setValue(-1);
        columns.AddButton().click();
        columns.AddButton().click();  // once only
        columns.OperandBox().setCurrentText("recv[4]");
        columns.PlaceBox().setValue(-3);
        columns.AddButton().click();
        columns.PlaceBox().setValue(200);  // never written
        columns.AddButton().click();
        return int(QDialog::Accepted);
    });
    menu_action(window, "C&olumns...")->trigger();
    quillon::set_modal_runner({});

    const QAbstractItemModel& table = *window.CapturesTable().model();
    const int first = TfrmSeries::kColumns;
    ASSERT_EQ(table.columnCount(), first + 3);
    EXPECT_EQ(table.headerData(first, Qt::Horizontal).toString(), "send[3]@T-1");
    EXPECT_EQ(table.headerData(first + 1, Qt::Horizontal).toString(), "recv[4]@T-3");
    EXPECT_EQ(table.headerData(first + 2, Qt::Horizontal).toString(), "recv[4]@T+200");
    EXPECT_EQ(cell(table, 0, first), "0x93");
    EXPECT_EQ(cell(table, 1, first), "0xA3");
    EXPECT_EQ(cell(table, 2, first), "0xB3");
    EXPECT_EQ(cell(table, 0, first + 1), "0x14");
    EXPECT_EQ(cell(table, 1, first + 1), "0x54");
    EXPECT_EQ(cell(table, 0, first + 2), "");

    // Sorted by a value column, the largest first.
    window.CapturesTable().sortByColumn(first + 1, Qt::DescendingOrder);
    EXPECT_EQ(cell(table, 0, TfrmSeries::kFile), "Autolog_20261209031600.txt");
    window.CapturesTable().sortByColumn(first, Qt::DescendingOrder);
    EXPECT_EQ(cell(table, 0, TfrmSeries::kFile), "Autolog_20261209031700.txt");

    // The table as the command line's series --csv --value writes it, in
    // the order captured.
    const fs::path exported = fs::path(testsupport::private_root()) / "table.csv";
    quillon::set_save_dialog(
        [&](const quillon::SaveRequest&) { return QString::fromStdString(exported.string()); });
    menu_action(window, "Export &Table...")->trigger();
    quillon::set_save_dialog({});
    const std::string csv = read_text(exported);
    EXPECT_EQ(csv.substr(0, csv.find("\r\n")),
              "time,file,fired_record,command,command_name,meets,reference,records_differing,"
              "positions_differing,send[3]@T-1,recv[4]@T-3,recv[4]@T+200");
    EXPECT_NE(csv.find("Autolog_20261209031700.txt,5,12,,"), std::string::npos) << csv;
    EXPECT_NE(csv.find(",send_3:1,0xB3,0x14,\r\n"), std::string::npos) << csv;
    EXPECT_TRUE(messages.shown().empty());

    // The next morning's series opens with the same columns.
    std::unique_ptr<TfrmSeries> next(&open());
    const QAbstractItemModel& next_table = *next->CapturesTable().model();
    ASSERT_EQ(next_table.columnCount(), first + 3);
    EXPECT_EQ(next_table.headerData(first + 1, Qt::Horizontal).toString(), "recv[4]@T-3");
}

// A host's cycle of four commands (Recv 2 0x40 to 0x43), the trigger on
// the fourth (Send 1 bit 7 at record 253, two records after it); x
// (Send 3, read at the second) random below 200, at or above it one time
// in twenty; Send 5 noise. x at T-2 as given where given.
std::string cycle_log(std::mt19937& random, std::optional<std::uint8_t> x_at_t_minus_2)
{
    using quillon::Direction;
    using quillon::record_byte_index;
    constexpr int kFired = quillon::kLogRecords - 3;
    std::string text =
        "#Date and Time  : 2026/12/09 03:00:00\r\n"
        "#Stop Condition : Send[1] & 0x80 = 0x80 ,count 2\r\n\r\n";
    for (int r = 0; r < quillon::kLogRecords; ++r) {
        quillon::LogRecord bytes{};
        bytes[record_byte_index(Direction::Recv, 0)] = 2;
        bytes[record_byte_index(Direction::Recv, 2)] = std::uint8_t(0x40 + (r + 2) % 4);
        bytes[record_byte_index(Direction::Send, 0)] = 3;
        bytes[record_byte_index(Direction::Send, 3)] =
            std::uint8_t(random() % 20 == 0 ? 200 + random() % 56 : random() % 200);
        bytes[record_byte_index(Direction::Send, 5)] = std::uint8_t(random());
        if (r == kFired - 2 && x_at_t_minus_2) {
            bytes[record_byte_index(Direction::Send, 3)] = *x_at_t_minus_2;
        }
        if (r == kFired) {
            bytes[record_byte_index(Direction::Send, 1)] = 0x80;
        }
        text += quillon::record_line(bytes) + "\r\n";
    }
    return text;
}

// Twenty captures a minute apart: x high at T-2 in the first sixteen and
// low in the others with a cause planted, random in all without.
void write_cycle_night(const fs::path& folder, bool planted)
{
    fs::remove_all(folder);
    fs::create_directories(folder);
    std::mt19937 random(7);
    for (int i = 0; i < 20; ++i) {
        std::optional<std::uint8_t> x;
        if (planted) {
            x = std::uint8_t(i < 16 ? 200 + random() % 56 : random() % 100);
        }
        write(folder / ("Autolog_2026120903" + std::string(i < 10 ? "0" : "") + std::to_string(i) +
                        "00.txt"),
              cycle_log(random, x));
    }
}

// The likely causes as the window shows them once they are found (the
// time-out only keeps a fault from hanging the test).
void wait_for_causes(TfrmSeries& window)
{
    constexpr int kNoHang = 60000;
    EXPECT_TRUE(QTest::qWaitFor([&] { return !window.Causes().Searching(); }, kNoHang));
}

// The likely causes beside the map, on the fields file read last.
class CausesTest : public SeriesWindowTest {
protected:
    CausesTest()
    {
        write(fields, R"({"fields": [
            {"name": "x", "direction": "send", "byte": 3,
             "when": {"direction": "recv", "byte": 2, "value": "0x41"}}]})");
        quillon::write_fields_file_setting(settings_path, fields.string());
    }

    TfrmSeries& open_cycle(bool planted)
    {
        write_cycle_night(cycle_folder, planted);
        TfrmSeries* series =
            open_logs({QString::fromStdString(cycle_folder.string())}, settings_path);
        EXPECT_NE(series, nullptr);
        wait_for_causes(*series);
        return *series;
    }

    fs::path fields = fs::path(testsupport::private_root()) / "cycle.json";
    fs::path cycle_folder = fs::path(testsupport::private_root()) / "cycle";
};

TEST_F(CausesTest, APlantedCauseIsListedFirstAndShowsItsCellKeepsAndCopies)
{
    TfrmSeries& window = open_cycle(true);
    window.show();
    CausesPanel& causes = window.Causes();
    QTreeWidget& list = causes.List();
    ASSERT_GT(list.topLevelItemCount(), 0) << causes.Summary().text().toStdString();
    QTreeWidgetItem& first = *list.topLevelItem(0);
    const QString condition = first.text(CausesPanel::kCondition);
    EXPECT_TRUE(condition.startsWith("x >= ")) << condition.toStdString();
    EXPECT_TRUE(condition.endsWith(" @T-2")) << condition.toStdString();
    EXPECT_EQ(first.text(CausesPanel::kCaptures), "16/20");
    EXPECT_TRUE(first.text(CausesPanel::kBaseline).endsWith("%"));
    EXPECT_FALSE(causes.Summary().text().contains("weak")) << causes.Summary().text().toStdString();
    // The folded candidates under each cause, as found.
    const quillon::CauseFinding& finding = causes.Finding();
    ASSERT_EQ(list.topLevelItemCount(), int(finding.causes.size()));
    for (int row = 0; row < list.topLevelItemCount(); ++row) {
        const std::vector<std::string>& folded = finding.causes[std::size_t(row)].folded;
        ASSERT_EQ(list.topLevelItem(row)->childCount(), int(folded.size()));
        for (std::size_t under = 0; under < folded.size(); ++under) {
            EXPECT_EQ(list.topLevelItem(row)->child(int(under))->text(CausesPanel::kCondition),
                      QString::fromStdString(folded[under]));
        }
    }
    EXPECT_FALSE(causes.KeepButton().isEnabled());

    // A click chooses x's cell at T-2: each capture's x there listed and
    // plotted, the sixteen planted at or above 200.
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, list.visualItemRect(&first).center());
    VariationMapView& map = window.Map();
    ASSERT_TRUE(map.CurrentCell());
    EXPECT_EQ(map.Map().columns[std::size_t(map.CurrentCell()->column)].key, "x");
    EXPECT_EQ(map.Map().offset_of(map.CurrentCell()->row), -2);
    EXPECT_EQ(window.ValuesTable().model()->rowCount(), 20);
    ASSERT_EQ(window.Plot().Points().size(), 20u);
    EXPECT_EQ(std::ranges::count_if(window.Plot().Points(),
                                    [](const PlotPoint& point) { return point.y >= 200; }),
              16);
    // Chosen again after another cell: shown again.
    map.SetCurrentCell({0, 0});
    ASSERT_EQ(map.CurrentCell(), (VariationMapView::Cell{0, 0}));
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, list.visualItemRect(&first).center());
    EXPECT_EQ(map.Map().offset_of(map.CurrentCell()->row), -2);

    // Copied by Ctrl+C, and by the context menu's "Copy Condition".
    QGuiApplication::clipboard()->clear();
    QApplication::setActiveWindow(&window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    list.setFocus();
    QTest::keyClick(&list, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), condition);
    QGuiApplication::clipboard()->clear();
    const QList<QAction*> menu = list.actions();
    const auto copy = std::ranges::find_if(
        menu, [](const QAction* action) { return action->text() == "Copy Condition"; });
    ASSERT_NE(copy, menu.end());
    (*copy)->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), condition);

    // Kept: the line holds the condition, which keeps the sixteen; their
    // causes found anew, the cause in each of them.
    ASSERT_TRUE(causes.KeepButton().isEnabled());
    causes.KeepButton().click();
    EXPECT_EQ(window.KeepIfLine().Text(), condition);
    EXPECT_EQ(list.topLevelItemCount(), 0) << "not the causes of the captures kept";
    EXPECT_EQ(causes.Summary().text(), "Finding the likely causes...");
    wait_for_causes(window);
    EXPECT_EQ(window.KeptLabel().text(), "16 of 20 captures kept; 4 left out");
    EXPECT_EQ(window.CapturesTable().model()->rowCount(), 16);
    ASSERT_GT(list.topLevelItemCount(), 0);
    EXPECT_EQ(list.topLevelItem(0)->text(CausesPanel::kCaptures), "16/16");
    EXPECT_EQ(list.currentItem(), nullptr);
    EXPECT_FALSE(causes.KeepButton().isEnabled());

    // Reported as the window shows it: the captures kept by the condition
    // and the causes the panel lists.
    const fs::path report = fs::path(testsupport::private_root()) / "report.html";
    quillon::set_save_dialog(
        [&](const quillon::SaveRequest&) { return QString::fromStdString(report.string()); });
    menu_action(window, "Export &Report...")->trigger();
    quillon::set_save_dialog({});
    const std::string html = read_text(report);
    const std::string kept_where = "Kept where " + quillon::html_escaped(condition.toStdString());
    EXPECT_NE(html.find(kept_where + ": 16 of 20 captures"), std::string::npos) << html;
    EXPECT_NE(html.find("16 of 16 captures, baseline"), std::string::npos) << html;

    // Fields that do not compare x: it is no cause.
    window.KeepIfLine().SetText("");
    const fs::path uncompared = fs::path(testsupport::private_root()) / "uncompared.json";
    write(uncompared, R"({"fields": [
        {"name": "x", "direction": "send", "byte": 3, "compare": false,
         "when": {"direction": "recv", "byte": 2, "value": "0x41"}}]})");
    ASSERT_TRUE(window.ShowFields(QString::fromStdString(uncompared.string())));
    wait_for_causes(window);
    for (const quillon::LikelyCause& cause : causes.Finding().causes) {
        EXPECT_FALSE(cause.condition.starts_with("x ")) << cause.condition;
    }
    EXPECT_TRUE(messages.shown().empty());
}

TEST_F(CausesTest, NoCauseIsSaidWithTheStrongestCandidateAndAWeakBaselineSaysSo)
{
    const QString none =
        "No likely cause: nothing held before the trigger in most captures that seldom holds "
        "otherwise.";
    TfrmSeries& random = open_cycle(false);
    EXPECT_EQ(random.Causes().List().topLevelItemCount(), 0);
    const QStringList said = random.Causes().Summary().text().split("\n");
    ASSERT_EQ(said.size(), 2) << said.join("|").toStdString();
    EXPECT_EQ(said[0], none);
    ASSERT_TRUE(random.Causes().Finding().best);
    EXPECT_TRUE(said[1].startsWith(
        "The strongest candidate: " +
        QString::fromStdString(random.Causes().Finding().best->condition) + " ("))
        << said[1].toStdString();

    // Three captures of eight records: too few anchors.
    TfrmSeries& night = open();
    wait_for_causes(night);
    EXPECT_EQ(night.Causes().List().topLevelItemCount(), 0);
    EXPECT_TRUE(night.Causes().Summary().text().startsWith(
        QString("Only %1 anchors: the baseline is weak.").arg(night.Causes().Finding().anchors)))
        << night.Causes().Summary().text().toStdString();
    EXPECT_TRUE(night.Causes().Summary().text().contains(none));
}

// Twelve long captures: eight rows of the table in sight at 1280 by 900,
// the map below; the map opened at the fired record and its headings in
// view wherever it is scrolled.
class LongSeriesTest : public SeriesWindowTest {
protected:
    LongSeriesTest() { write_long_night(folder); }
};

TEST_F(LongSeriesTest, EightCapturesInSightAt1280By900WithTheMapBelow)
{
    TfrmSeries& window = open();
    window.resize(1280, 900);
    window.show();
    QCoreApplication::processEvents();
    QTableView& table = window.CapturesTable();
    ASSERT_EQ(table.model()->rowCount(), 12);
    const int eighth_bottom = table.rowViewportPosition(7) + table.rowHeight(7);
    EXPECT_LE(eighth_bottom, table.viewport()->height());
    // The map takes the rest, more than the table.
    EXPECT_GT(window.Map().height(), table.height());

    // "Differing most" takes the spare width, and its whole text is its
    // tooltip; "Reference" is as wide as its text.
    const QModelIndex most = table.model()->index(1, TfrmSeries::kDifferingMost);
    EXPECT_EQ(table.model()->data(most, Qt::ToolTipRole), table.model()->data(most));
    EXPECT_FALSE(table.model()->data(most).toString().isEmpty());
    EXPECT_GT(table.columnWidth(TfrmSeries::kDifferingMost),
              table.columnWidth(TfrmSeries::kReference));
    // A wider window widens "Differing most" only.
    const int reference_width = table.columnWidth(TfrmSeries::kReference);
    const int most_width = table.columnWidth(TfrmSeries::kDifferingMost);
    window.resize(1580, 900);
    QCoreApplication::processEvents();
    EXPECT_EQ(table.columnWidth(TfrmSeries::kReference), reference_width);
    EXPECT_GT(table.columnWidth(TfrmSeries::kDifferingMost), most_width + 200);
    EXPECT_GE(window.Splitter().handleWidth(), 5);
}

TEST_F(LongSeriesTest, TheMapOpensAtTheFiredRecordAndKeepsItsHeadingsInViewScrolledEitherWay)
{
    TfrmSeries& window = open();
    window.resize(1280, 900);
    window.show();
    QCoreApplication::processEvents();
    VariationMapView& map = window.Map();
    const QRect view = map.viewport()->rect();
    const QRect cells = map.CellsArea();
    ASSERT_GT(map.Map().rows, 200);
    const int fired = -map.Map().first_offset;
    // The fired record's row in the middle, its offset written beside it.
    EXPECT_NEAR(map.RowHeadingRect(fired).center().y(), cells.center().y(),
                map.RowHeadingRect(fired).height());
    EXPECT_TRUE(view.contains(map.LegendRect()));

    // Scrolled to the far right and the bottom: the last column's heading
    // on top, the last row's offset on the left, the legend on the right,
    // the first cell out of the cells' area.
    QScrollBar& across = *map.horizontalScrollBar();
    QScrollBar& down = *map.verticalScrollBar();
    ASSERT_GT(across.maximum(), 0);
    across.setValue(across.maximum());
    down.setValue(down.maximum());
    const int last_row = map.Map().rows - 1;
    const int last_column = map.Columns() - 1;
    EXPECT_EQ(map.ColumnHeadingRect(last_column).top(), 0);
    EXPECT_TRUE(view.contains(map.ColumnHeadingRect(last_column)));
    EXPECT_EQ(map.RowHeadingRect(last_row).left(), 0);
    EXPECT_TRUE(view.contains(map.RowHeadingRect(last_row)));
    EXPECT_TRUE(view.contains(map.LegendRect()));
    EXPECT_FALSE(map.CellsArea().intersects(map.CellRect({0, 0})));
    EXPECT_EQ(map.CellAt(map.CellRect({last_row, last_column}).center()),
              (VariationMapView::Cell{last_row, last_column}));

    // Back at the top left: the first heading and offset beside the first
    // cell.
    across.setValue(0);
    down.setValue(0);
    EXPECT_EQ(map.ColumnHeadingRect(0).left(), map.CellsArea().left());
    EXPECT_EQ(map.RowHeadingRect(0).top(), map.CellsArea().top());
    EXPECT_TRUE(view.contains(map.LegendRect()));

    // Hovering over a cell shows its text, the map without the focus.
    window.CapturesTable().setFocus();
    const VariationMapView::Cell hovered{2, 3};
    const QPoint at = map.CellRect(hovered).center();
    QHelpEvent help(QEvent::ToolTip, at, map.viewport()->mapToGlobal(at));
    QCoreApplication::sendEvent(map.viewport(), &help);
    EXPECT_EQ(QToolTip::text(), map.CellText(hovered));
    QToolTip::hideText();
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
