// The log browser through the real windows offscreen: opening by the menu,
// by the command line's start-up and by a drop, a refused file, the marks,
// opening at the fired record, the columns kept in sight, find (by its keys
// too, and by a condition), the decoded view, comparisons (by record number, and aligned by the
// fired records with ignore and only rules and the per-byte strip), export
// and copy.
#include "AtomicFile.h"
#include "ByteCountStrip.h"
#include "ConditionLine.h"
#include "LogBrowser.h"
#include "LogExport.h"
#include "LogTableModel.h"
#include "LogText.h"
#include "MainWindowFixture.h"
#include "MarkColours.h"
#include "MenuKeys.h"
#include "NoteDialog.h"
#include "Notes.h"
#include "PrettyJson.h"
#include "Startup.h"
#include "ui_LogBrowser.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QDockWidget>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QFontMetrics>
#include <QMimeData>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTableView>
#include <QTest>
#include <QTreeWidget>
#include <QUrl>

#include <fstream>

namespace {

using quillon::LogRecord;

// Record i: byte k is i + k, but Send[2] is i % 16, so that the file's stop
// condition Send[2] & 0x0F = 0x01 holds for records 1, 17, ..., 241.
std::vector<LogRecord> known_records()
{
    std::vector<LogRecord> records(quillon::kLogRecords);
    for (std::size_t i = 0; i < records.size(); ++i) {
        for (std::size_t k = 0; k < quillon::kRecordBytes; ++k) {
            records[i][k] = std::uint8_t(i + k);
        }
        records[i][18] = std::uint8_t(i % 16);
    }
    return records;
}

class LogBrowserTest : public testsupport::MainWindowTest {
protected:
    ~LogBrowserTest() override
    {
        for (TfrmLogBrowser* browser : browsers()) {
            delete browser;
        }
        quillon::set_open_dialog({});
        quillon::set_save_dialog({});
    }

    // A log text file as SAVE LOG writes it: index 18 in 16 byte mode is Send[2].
    static QString write_log(const std::string& name, const std::vector<LogRecord>& records,
                             const std::string& date_time_line = quillon::date_time_line(
                                 QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7))))
    {
        const std::string path = testsupport::private_root() + "/" + name;
        const quillon::LogCapture capture{quillon::StopCondition{18, 0x0F, 0x01, 5},
                                          {records, std::nullopt}};
        quillon::write_file_atomically(
            path, quillon::crlf_text(quillon::log_text_lines(date_time_line, capture, 16)));
        return QString::fromStdString(path);
    }

    static std::vector<TfrmLogBrowser*> browsers()
    {
        std::vector<TfrmLogBrowser*> found;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* browser = qobject_cast<TfrmLogBrowser*>(widget)) {
                found.push_back(browser);
            }
        }
        return found;
    }

    static void drop(QWidget& target, const QString& file)
    {
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(file)});
        // As a drag arrives: it enters, then it drops.
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&target, &enter);
        QDropEvent event(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&target, &event);
    }

    TfrmLogBrowser& open(const QString& file)
    {
        const auto opened = open_log_browsers({file});
        EXPECT_EQ(opened.size(), 1u);
        return *opened.front();
    }

    // A key pressed in one of the browser's controls, the browser active,
    // as the user's key reaches the window's shortcuts.
    static void press_in(TfrmLogBrowser& browser, QWidget& control, Qt::Key key,
                         Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QApplication::setActiveWindow(&browser);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&browser));
        control.setFocus();
        QTest::keyClick(&control, key, modifiers);
    }

    // A comparison rule typed and added.
    enum class Rule { Ignore, Only };
    static void add_rule(Ui::TfrmLogBrowser& ui, Rule rule, const QString& direction,
                         const QString& byte, const QString& mask)
    {
        (rule == Rule::Only ? ui.rbnRuleOnly : ui.rbnRuleIgnore)->click();
        ui.cbxRuleDirection->setCurrentText(direction);
        ui.edtRuleByte->setText(byte);
        ui.edtRuleMask->setText(mask);
        ui.btnAddRule->click();
    }

    static QString cell(const QAbstractItemModel& shown, int row, int column,
                        int role = Qt::DisplayRole)
    {
        return shown.data(shown.index(row, column), role).toString();
    }

    QString known = write_log("known.txt", known_records());
};

TEST_F(LogBrowserTest, OpensFromTheCommandLineTheMenuAndDrops)
{
    const auto program = quillon::start_program(settings_path, {known});
    ASSERT_TRUE(program);
    ASSERT_EQ(browsers().size(), 1u);
    EXPECT_EQ(browsers().front()->windowTitle(), "known.txt - Quillon");
    EXPECT_TRUE(program->main_form->isVisible());

    const QString other = write_log("other.txt", known_records());
    QString asked_filter;
    quillon::set_open_dialog([&](const QString& filter, const QString&) {
        asked_filter = filter;
        return QStringList{other, known};
    });
    program->main_form->controls().mnuOpenLog->trigger();
    EXPECT_EQ(asked_filter, quillon::log_open_filter());
    EXPECT_EQ(browsers().size(), 3u);

    drop(*program->main_form, other);
    drop(*browsers().front(), known);
    EXPECT_EQ(browsers().size(), 5u);
    EXPECT_TRUE(messages.shown().empty());
}

TEST_F(LogBrowserTest, AFileThatCannotBeReadShowsTheReasonAndOpensNothing)
{
    const std::string bad = testsupport::private_root() + "/bad.txt";
    quillon::write_file_atomically(bad, "#Date and Time  : now\r\nnot a log\r\n");
    std::string reason;
    try {
        quillon::read_log_file(bad);
    } catch (const quillon::LogReadError& error) {
        reason = error.what();
    }
    ASSERT_FALSE(reason.empty());

    const auto program = quillon::start_program(settings_path, {QString::fromStdString(bad)});
    ASSERT_TRUE(program);
    EXPECT_TRUE(program->main_form->isVisible());
    EXPECT_TRUE(browsers().empty());
    ASSERT_EQ(messages.shown().size(), 1u);
    EXPECT_EQ(messages.shown()[0],
              (quillon::Message{reason, "Error!", quillon::MessageIcon::Error}));
}

TEST_F(LogBrowserTest, MarksTheRecordsThatMeetTheStopCondition)
{
    TfrmLogBrowser& browser = open(known);
    auto& ui = browser.controls();
    EXPECT_EQ(ui.lblSummary->text(),
              "no fired record: the log was stopped before its trigger "
              "fired; 16 records meet the stop condition Send[2] & 0x0F "
              "= 0x01");
    EXPECT_EQ(ui.lblStopCondition->text(), "Stop Condition: Send[2] & 0x0F = 0x01 ,count 5");
    // The bytes line up in columns: every hex digit of the table's face is
    // as wide as the next.
    const QFontMetrics digits(ui.tblRecords->font());
    for (const QChar digit : QStringLiteral("123456789ABCDEF")) {
        EXPECT_EQ(digits.horizontalAdvance(digit), digits.horizontalAdvance(u'0'))
            << digit.toLatin1();
    }

    const LogTableModel& table_model = browser.model();
    EXPECT_EQ(table_model.columnCount(), 35);
    const int send_2 = table_model.ByteColumn(18);
    EXPECT_EQ(table_model.headerData(send_2, Qt::Horizontal, Qt::DisplayRole), "S2");
    EXPECT_EQ(table_model.headerData(table_model.ByteColumn(15), Qt::Horizontal, Qt::DisplayRole),
              "RF");
    QAccessibleInterface* table = QAccessible::queryAccessibleInterface(ui.tblRecords);
    ASSERT_NE(table, nullptr);
    ASSERT_NE(table->tableInterface(), nullptr);
    for (const int row : {0, 1, 2, 17, 241, 255}) {
        const bool meets = row % 16 == 1;
        EXPECT_EQ(table->tableInterface()
                      ->cellAt(row, table_model.MarkerColumn())
                      ->text(QAccessible::Name),
                  meets ? "meets" : "");
        EXPECT_EQ(table->tableInterface()->cellAt(row, send_2)->text(QAccessible::Name),
                  QString::asprintf("%02X", row % 16));
        EXPECT_EQ(table_model.data(table_model.index(row, 0), Qt::BackgroundRole).isValid(), meets);
        EXPECT_EQ(
            qvariant_cast<QFont>(table_model.data(table_model.index(row, send_2), Qt::FontRole))
                .bold(),
            meets);
    }

    // Every control of the layout that a person reads or operates has a name
    // for screen readers (Qt's own parts of a control are named "qt_...").
    for (QWidget* control : browser.findChildren<QWidget*>(QRegularExpression("^(?!qt_).+"))) {
        if (qobject_cast<QAbstractButton*>(control) || qobject_cast<QLineEdit*>(control) ||
            qobject_cast<QComboBox*>(control) || qobject_cast<QAbstractItemView*>(control)) {
            EXPECT_FALSE(
                QAccessible::queryAccessibleInterface(control)->text(QAccessible::Name).isEmpty())
                << control->objectName().toStdString();
        }
    }
}

TEST_F(LogBrowserTest, OpensAtTheFiredRecordWithOffsetsAndEveryByteInSight)
{
    // Records 183-255 never written: with count 5 the trigger fired at 177,
    // which meets Send[2] & 0x0F = 0x01.
    auto records = known_records();
    std::fill(records.begin() + 183, records.end(), LogRecord{});
    TfrmLogBrowser& browser = open(write_log("fired.txt", records));
    auto& ui = browser.controls();
    QTableView& table = *ui.tblRecords;
    const LogTableModel& table_model = browser.model();
    EXPECT_EQ(ui.lblSummary->toolTip(),
              "fired at record 177, count 5; 12 records meet the stop "
              "condition Send[2] & 0x0F = 0x01; 73 records never written");

    EXPECT_EQ(browser.CurrentRecord(), 177);
    EXPECT_TRUE(table.selectionModel()->isRowSelected(177));
    EXPECT_TRUE(table.viewport()->rect().contains(table.visualRect(table_model.index(177, 0))));
    const int marker = table_model.MarkerColumn();
    EXPECT_EQ(cell(table_model, 177, marker), "fired");
    EXPECT_EQ(cell(table_model, 177, marker, Qt::AccessibleTextRole), "fired");
    EXPECT_EQ(cell(table_model, 161, marker, Qt::AccessibleTextRole), "meets");
    EXPECT_EQ(cell(table_model, 183, marker), "never written");
    EXPECT_EQ(cell(table_model, 183, marker, Qt::AccessibleTextRole), "never written");
    const auto background = [&](int row) {
        return table_model.data(table_model.index(row, 0), Qt::BackgroundRole);
    };
    EXPECT_TRUE(background(177).isValid());
    EXPECT_NE(background(177), background(161));
    const auto foreground = [&](int row) {
        return table_model.data(table_model.index(row, 0), Qt::ForegroundRole);
    };
    EXPECT_TRUE(foreground(183).isValid()) << "greyed";
    EXPECT_FALSE(foreground(182).isValid());
    const int offset = table_model.OffsetColumn();
    EXPECT_EQ(table_model.headerData(offset, Qt::Horizontal, Qt::DisplayRole), "T");
    EXPECT_EQ(cell(table_model, 174, offset), "T-3");
    EXPECT_EQ(cell(table_model, 177, offset), "T0");
    EXPECT_EQ(cell(table_model, 182, offset), "T+5");
    EXPECT_EQ(cell(table_model, 183, offset), "");

    browser.resize(1280, browser.height());
    ASSERT_EQ(browser.width(), 1280);
    const int last = table_model.ByteColumn(31);
    EXPECT_LE(table.columnViewportPosition(last) + table.columnWidth(last),
              table.viewport()->width());
    EXPECT_EQ(table.horizontalScrollBar()->maximum(), 0);

    // Scrolled sideways, the number, offset and marker stay at the left.
    ui.mnuDecoded->trigger();
    browser.resize(600, browser.height());
    table.horizontalScrollBar()->setValue(table.horizontalScrollBar()->maximum());
    ASSERT_GT(table.horizontalScrollBar()->value(), 0);
    const QPoint left = table.viewport()->geometry().topLeft() + QPoint(2, 2);
    const auto* kept = qobject_cast<QTableView*>(table.childAt(left)->parentWidget());
    ASSERT_NE(kept, nullptr);
    const QPoint in_kept = kept->viewport()->mapFrom(&table, left);
    EXPECT_EQ(kept->model(), &table_model);
    EXPECT_EQ(kept->indexAt(in_kept), table_model.index(table.rowAt(2), 0));
    EXPECT_EQ(kept->columnViewportPosition(marker) + kept->columnWidth(marker), kept->width());
    EXPECT_EQ(kept->selectionModel(), table.selectionModel());
}

TEST_F(LogBrowserTest, ALongDateLineIsElidedWithTheWholeInItsTooltip)
{
    const std::string date(700'000, '7');
    TfrmLogBrowser& browser =
        open(write_log("long.txt", known_records(), "#Date and Time  : \x1B" + date));
    const QLabel& label = *browser.controls().lblDateTime;
    EXPECT_EQ(label.toolTip(), "Date and Time: \\x1b" + QString::fromStdString(date));
    EXPECT_TRUE(label.text().startsWith("Date and Time: \\x1b777"));
    EXPECT_LT(label.text().size(), 1000);
    // The window keeps the width of its form.
    EXPECT_LE(browser.width(), 1180);
    EXPECT_LE(browser.minimumSizeHint().width(), 1180);
}

TEST_F(LogBrowserTest, FindStepsThroughTheRecordsThatMeetIt)
{
    TfrmLogBrowser& browser = open(known);
    auto& ui = browser.controls();
    ui.rbnFindSend->setChecked(true);
    ui.edtFindByte->setText("2");
    ui.edtFindMask->setText("0x0F");
    ui.edtFindValue->setText("$3");
    press_in(browser, *ui.edtFindValue, Qt::Key_F3);
    EXPECT_EQ(ui.lblFindCount->text(), "16 records meet Send[2] & 0x0F = 0x03");
    EXPECT_EQ(browser.CurrentRecord(), 3);
    ui.btnFindNext->click();
    EXPECT_EQ(browser.CurrentRecord(), 19);
    press_in(browser, *ui.edtFindValue, Qt::Key_F3, Qt::ShiftModifier);
    ui.mnuFindPrevious->trigger();
    EXPECT_EQ(browser.CurrentRecord(), 243);  // round the start
    EXPECT_TRUE(messages.shown().empty());

    ui.edtFindByte->setText("16");
    ui.btnFindNext->click();
    ui.edtFindByte->setText("two");
    ui.btnFindNext->click();
    ASSERT_EQ(messages.shown().size(), 2u);
    EXPECT_EQ(messages.shown()[0].text, "Byte data is out of range(0-15)!");
    EXPECT_EQ(messages.shown()[1].text, "'two' is not a valid integer value.");
    EXPECT_EQ(browser.CurrentRecord(), 243);
}

// The condition beside the byte row, read on the fields file: fields at
// places from the fired record and from the record tested, counted as it is
// typed and taking the byte row's place, stepped through by F3; read again
// when the fields change; one that does not read says where, under the
// line, and finds nothing.
TEST_F(LogBrowserTest, AConditionFindsTheRecordsThatMeetItAtTheirPlaces)
{
    // Records 0-7 written, index = Send[0] & 0x7F = the record's number;
    // fired at 5.
    TfrmLogBrowser& browser =
        *open_log_browsers({QString(QUILLON_GOLDEN_DIR) + "/fired.txt"}, settings_path).front();
    auto& ui = browser.controls();
    ConditionLine& condition = browser.FindCondition();
    const QLabel& error = *condition.findChild<QLabel*>("lblConditionError");
    ui.edtFindByte->setText("0");
    ui.edtFindMask->setText("0x01");
    ui.edtFindValue->setText("1");

    const QString later = R"(index > index@T-2 and mode = "run, fast")";
    condition.SetText(later);
    EXPECT_TRUE(condition.HasError()) << "no fields file names index yet";
    EXPECT_EQ(ui.lblFindCount->text(), "");
    ASSERT_TRUE(browser.ShowFields(QString(QUILLON_GOLDEN_DIR) + "/series-fields.json"));
    EXPECT_TRUE(error.isHidden());
    EXPECT_EQ(ui.lblFindCount->text(), "4 records meet " + later);
    EXPECT_EQ(browser.CurrentRecord(), 5);
    press_in(browser, *condition.Edit(), Qt::Key_F3);
    EXPECT_EQ(browser.CurrentRecord(), 6);
    ui.mnuFindNext->trigger();
    EXPECT_EQ(browser.CurrentRecord(), 7);
    press_in(browser, *condition.Edit(), Qt::Key_Return);
    EXPECT_EQ(browser.CurrentRecord(), 4);  // round the end
    press_in(browser, *condition.Edit(), Qt::Key_F3, Qt::ShiftModifier);
    EXPECT_EQ(browser.CurrentRecord(), 7);

    // From the record tested: record 0 is among the three before 1, 2 and 3.
    condition.SetText("any(index = 0) @-3..-1");
    EXPECT_EQ(ui.lblFindCount->text(), "3 records meet any(index = 0) @-3..-1");
    // Each found record's number marked, and read out as found.
    const LogTableModel& table = browser.model();
    for (int record = 0; record < 8; ++record) {
        const QModelIndex number = table.index(record, 0);
        const bool found = record >= 1 && record <= 3;
        EXPECT_EQ(table.data(number, Qt::FontRole).value<QFont>().bold(), found) << record;
        EXPECT_EQ(table.data(number, Qt::AccessibleDescriptionRole).toString(),
                  found ? "found" : "")
            << record;
    }
    ui.btnFindPrevious->click();
    EXPECT_EQ(browser.CurrentRecord(), 3);

    condition.SetText("index > _");
    EXPECT_FALSE(error.isHidden());
    EXPECT_EQ(error.text(), "a value expected after '>' (column 9)");
    EXPECT_EQ(ui.lblFindCount->text(), "");
    EXPECT_FALSE(table.Found(2)) << "nothing marked while the condition does not read";
    ui.btnFindNext->click();
    EXPECT_EQ(ui.lblFindCount->text(), "");
    EXPECT_EQ(browser.CurrentRecord(), 3);
    EXPECT_TRUE(messages.shown().empty()) << "said under the line, not in a box";

    // Emptied: the byte row finds again.
    condition.SetText("");
    EXPECT_TRUE(error.isHidden());
    ui.btnFindNext->click();
    EXPECT_EQ(ui.lblFindCount->text(), "4 records meet Recv[0] & 0x01 = 0x01");
    EXPECT_EQ(browser.CurrentRecord(), 5);
}

TEST_F(LogBrowserTest, DecodedViewShowsEachDirectionsFieldsBesideItsBytes)
{
    TfrmLogBrowser& browser = open(known);
    const LogTableModel& table_model = browser.model();
    browser.controls().mnuDecoded->trigger();
    // No record of known.txt names a command: no column of names.
    ASSERT_EQ(table_model.columnCount(), 43);
    EXPECT_EQ(table_model.headerData(19, Qt::Horizontal, Qt::DisplayRole), "Recv length");
    EXPECT_EQ(table_model.headerData(23, Qt::Horizontal, Qt::DisplayRole), "S0");
    const auto records = known_records();
    for (const int row : {0, 7, 200}) {
        const auto decoded = quillon::decode_record(records[std::size_t(row)]);
        EXPECT_EQ(cell(table_model, row, 22), quillon::checksum_text(decoded.recv.checksum));
        EXPECT_EQ(cell(table_model, row, 42), quillon::checksum_text(decoded.send.checksum));
    }
    // A length, address and command are bytes of their own.
    EXPECT_EQ(cell(table_model, 7, 20), "0x08");
    browser.controls().mnuDecoded->trigger();
    EXPECT_EQ(table_model.columnCount(), 35);

    // A log whose records name commands has the column.
    TfrmLogBrowser& named = open(QString(QUILLON_GOLDEN_DIR) + "/decoded.txt");
    named.controls().mnuDecoded->trigger();
    ASSERT_EQ(named.model().columnCount(), 44);
    EXPECT_EQ(named.model().headerData(43, Qt::Horizontal, Qt::DisplayRole), "Command");
    EXPECT_EQ(cell(named.model(), 0, 43), "log block read");
}

TEST_F(LogBrowserTest, CompareHighlightsDifferencesAndIgnoreRulesApplyAtOnce)
{
    auto records = known_records();
    records[10][21] ^= 0x01;  // Send[5]
    records[20][21] ^= 0x01;
    records[30][0] ^= 0x80;  // Recv[0]
    const QString changed = write_log("changed.txt", records);
    TfrmLogBrowser& browser = open(known);
    auto& ui = browser.controls();
    quillon::set_open_dialog([&](const QString&, const QString&) { return QStringList{changed}; });
    // From a line edit, which takes no Ctrl+D of its own.
    press_in(browser, *ui.edtFindByte, Qt::Key_D, Qt::ControlModifier);
    ASSERT_NE(browser.compared_model(), nullptr);
    EXPECT_FALSE(ui.grbCompare->isHidden());
    EXPECT_EQ(ui.lblCompareAlignment->text(),
              "Aligned by: record number (neither log has a fired record); "
              "records only in A: 0, only in B: 0.");
    EXPECT_EQ(ui.lblCompareSummary->text(), "3 of 256 records differ.");
    const int send_5 = browser.model().ByteColumn(21);
    const auto background = [&](const QAbstractItemModel& shown, int row) {
        return shown.data(shown.index(row, send_5), Qt::BackgroundRole);
    };
    EXPECT_EQ(background(browser.model(), 10), background(*browser.compared_model(), 10));
    EXPECT_NE(background(browser.model(), 10), background(browser.model(), 11));

    ui.btnNextDifference->click();
    ui.btnNextDifference->click();
    ui.btnNextDifference->click();
    EXPECT_EQ(browser.CurrentRecord(), 30);
    ui.btnPreviousDifference->click();
    EXPECT_EQ(browser.CurrentRecord(), 20);
    EXPECT_EQ(ui.tblCompared->currentIndex().row(), 20);

    add_rule(ui, Rule::Ignore, "Send", "5", "1");
    EXPECT_EQ(ui.lbxRules->item(0)->text(), "Ignore Send[5] & 0x01");
    EXPECT_EQ(ui.lblCompareSummary->text(), "1 of 256 records differs.");
    EXPECT_EQ(background(browser.model(), 10), background(browser.model(), 11));

    ui.btnCloseComparison->click();
    EXPECT_EQ(browser.compared_model(), nullptr);
    EXPECT_TRUE(ui.grbCompare->isHidden());
    EXPECT_TRUE(ui.stpByteCounts->isHidden());
    EXPECT_FALSE(
        browser.model()
            .data(browser.model().index(30, browser.model().ByteColumn(0)), Qt::BackgroundRole)
            .isValid());
    EXPECT_TRUE(messages.shown().empty());
}

// fired.txt fired at record 5 and diff-b.txt at 7: its records 2-7 are
// fired.txt's 0-5, with Send[3] changed in B 4 and Recv[2] in B 6.
class LogBrowserAlignedTest : public LogBrowserTest {
protected:
    static QString golden(const char* name) { return QString(QUILLON_GOLDEN_DIR) + "/" + name; }

    // Whether the model highlights a byte of a row as differing.
    static bool highlighted(const LogTableModel& shown, int row, int byte)
    {
        const QModelIndex index = shown.index(row, shown.ByteColumn(std::size_t(byte)));
        return shown.data(index, Qt::BackgroundRole) ==
               QVariant(mark_colours(QApplication::palette()).difference);
    }

    // The rows shown whole in a table.
    static int whole_rows(const QTableView& table)
    {
        return table.viewport()->height() / table.rowHeight(0);
    }

    static constexpr int kSend3 = 19;
    static constexpr int kRecv2 = 2;
};

TEST_F(LogBrowserAlignedTest, PairsTheFiredRecordsAndStepsThroughBothTables)
{
    TfrmLogBrowser& browser = open(golden("fired.txt"));
    auto& ui = browser.controls();
    ASSERT_TRUE(browser.CompareWith(golden("diff-b.txt")));
    EXPECT_EQ(ui.lblCompareAlignment->text(),
              "Aligned by: fired record (A 5, B 7); records only in A: 2, only in B: 2.");
    EXPECT_EQ(ui.lblCompareSummary->text(), "2 of 6 records differ; the stop conditions differ.");
    EXPECT_EQ(ui.lblRecordsFile->text(), "A: fired.txt");
    EXPECT_EQ(ui.lblComparedFile->text(), "B: diff-b.txt");
    // Opened at A's fired record, beside B's.
    EXPECT_EQ(ui.tblRecords->currentIndex().row(), 5);
    EXPECT_EQ(ui.tblCompared->currentIndex().row(), 7);

    const LogTableModel& a = browser.model();
    const LogTableModel& b = *browser.compared_model();
    EXPECT_TRUE(highlighted(a, 2, kSend3));
    EXPECT_TRUE(highlighted(b, 4, kSend3));
    EXPECT_FALSE(highlighted(b, 2, kSend3));
    EXPECT_TRUE(highlighted(b, 6, kRecv2));
    EXPECT_FALSE(highlighted(a, 6, kRecv2));

    ui.btnNextDifference->click();  // round the end
    EXPECT_EQ(ui.tblRecords->currentIndex().row(), 2);
    EXPECT_EQ(ui.tblCompared->currentIndex().row(), 4);
    EXPECT_TRUE(ui.tblCompared->selectionModel()->isRowSelected(4));
    ui.btnNextDifference->click();
    EXPECT_EQ(ui.tblRecords->currentIndex().row(), 4);
    EXPECT_EQ(ui.tblCompared->currentIndex().row(), 6);
    // The pair side by side: B scrolled two rows further than A.
    EXPECT_EQ(ui.tblCompared->verticalScrollBar()->value(),
              ui.tblRecords->verticalScrollBar()->value() + 2);
    EXPECT_TRUE(messages.shown().empty());
}

// As the series window opens a capture: shown, then compared with the
// reference. Records 183-255 of A and 199-255 of B never written: A fired
// at 177, B at 193.
TEST_F(LogBrowserTest, TheFiredRecordOpensInTheMiddleAloneAndComparedAsFromASeries)
{
    auto a_records = known_records();
    std::fill(a_records.begin() + 183, a_records.end(), LogRecord{});
    auto b_records = known_records();
    std::fill(b_records.begin() + 199, b_records.end(), LogRecord{});
    const QString a_path = write_log("a.txt", a_records);
    const QString b_path = write_log("b.txt", b_records);
    // Within a row of the middle of the table's viewport.
    const auto in_the_middle = [](const QTableView& table, int row) {
        const int centre = table.visualRect(table.model()->index(row, 0)).center().y();
        return std::abs(centre - table.viewport()->height() / 2) <= table.rowHeight(row);
    };

    TfrmLogBrowser& alone = open(a_path);
    EXPECT_TRUE(in_the_middle(*alone.controls().tblRecords, 177));

    auto* compared =
        new TfrmLogBrowser(a_path, quillon::read_log_file(a_path.toStdString()), settings_path);
    compared->show();
    compared->CompareWith(b_path, quillon::read_log_file(b_path.toStdString()));
    auto& ui = compared->controls();
    EXPECT_EQ(ui.tblRecords->currentIndex().row(), 177);
    EXPECT_EQ(ui.tblCompared->currentIndex().row(), 193);
    EXPECT_TRUE(in_the_middle(*ui.tblRecords, 177));
    EXPECT_TRUE(in_the_middle(*ui.tblCompared, 193));
}

TEST_F(LogBrowserAlignedTest, BothTablesScrollSidewaysTogether)
{
    TfrmLogBrowser& browser = open(golden("fired.txt"));
    auto& ui = browser.controls();
    ASSERT_TRUE(browser.CompareWith(golden("diff-b.txt")));
    // Wider than the window.
    ui.mnuDecoded->trigger();
    QApplication::processEvents();
    QScrollBar& a = *ui.tblRecords->horizontalScrollBar();
    QScrollBar& b = *ui.tblCompared->horizontalScrollBar();
    ASSERT_GT(a.maximum(), 4);
    a.setValue(4);
    EXPECT_EQ(b.value(), 4);
    b.setValue(2);
    EXPECT_EQ(a.value(), 2);
    // Up and down still by the pairs: B two rows further.
    ui.tblRecords->verticalScrollBar()->setValue(1);
    EXPECT_EQ(ui.tblCompared->verticalScrollBar()->value(), 3);
}

// Send[3] of A 2 / B 4 differs in its low four bits (93, 9C), Recv[2] of
// A 4 / B 6 in all but one (12, 52).
TEST_F(LogBrowserAlignedTest, FieldsDifferOnTheirComparedBitsAsBytesDo)
{
    const std::string fields = testsupport::private_root() + "/pair-fields.json";
    quillon::write_file_atomically(fields, R"({"fields": [
  {"name": "low", "direction": "send", "byte": 3, "mask": "0x0F"},
  {"name": "high", "direction": "send", "byte": 3, "mask": "0xF0"},
  {"name": "word", "direction": "recv", "byte": 1, "width": 2, "order": "big"}]}
)");
    TfrmLogBrowser& browser = *open_log_browsers({golden("fired.txt")}, settings_path).front();
    auto& ui = browser.controls();
    ASSERT_TRUE(browser.ShowFields(QString::fromStdString(fields)));
    ASSERT_TRUE(browser.CompareWith(golden("diff-b.txt")));
    const LogTableModel& a = browser.model();
    const LogTableModel& b = *browser.compared_model();
    const QVariant difference = mark_colours(QApplication::palette()).difference;
    const auto marked = [&](const LogTableModel& shown, int row, int field) {
        return shown.data(shown.index(row, 35 + field), Qt::BackgroundRole) == difference;
    };
    struct Case {
        const char* rule;  // the Send[3] bits ignored, none for no rule
        bool low, high, word;
    };
    for (const Case& row : {Case{nullptr, true, false, true}, Case{"0x0C", true, false, true},
                            Case{"0x0F", false, false, true}}) {
        SCOPED_TRACE(row.rule != nullptr ? row.rule : "no rule");
        if (row.rule != nullptr) {
            add_rule(ui, Rule::Ignore, "Send", "3", row.rule);
        }
        EXPECT_EQ(marked(a, 2, 0), row.low);
        EXPECT_EQ(marked(b, 4, 0), row.low);
        EXPECT_EQ(marked(a, 2, 1), row.high);
        EXPECT_EQ(marked(a, 4, 2), row.word);
        EXPECT_EQ(marked(b, 6, 2), row.word);
        EXPECT_FALSE(marked(a, 3, 0));
        EXPECT_FALSE(marked(a, 2, 2));
    }
}

TEST_F(LogBrowserAlignedTest, AnOnlyRuleNarrowsTheComparison)
{
    TfrmLogBrowser& browser = open(golden("fired.txt"));
    auto& ui = browser.controls();
    ASSERT_TRUE(browser.CompareWith(golden("diff-b.txt")));
    add_rule(ui, Rule::Only, "Recv", "2", "0xFF");
    EXPECT_EQ(ui.lbxRules->item(0)->text(), "Only Recv[2] & 0xFF");
    EXPECT_EQ(ui.lblCompareSummary->text(), "1 of 6 records differs; the stop conditions differ.");
    EXPECT_FALSE(highlighted(*browser.compared_model(), 4, kSend3));
    EXPECT_TRUE(highlighted(*browser.compared_model(), 6, kRecv2));
    EXPECT_EQ(ui.stpByteCounts->Count(kSend3), 0);

    ui.lbxRules->setCurrentRow(0);
    ui.btnRemoveRule->click();
    EXPECT_EQ(ui.lblCompareSummary->text(), "2 of 6 records differ; the stop conditions differ.");
}

TEST_F(LogBrowserAlignedTest, TheStripShowsTheDifferingRecordsPerByte)
{
    TfrmLogBrowser& browser = open(golden("fired.txt"));
    auto& ui = browser.controls();
    ASSERT_TRUE(browser.CompareWith(golden("diff-b.txt")));
    ByteCountStrip& strip = *ui.stpByteCounts;
    ASSERT_FALSE(strip.isHidden());
    for (int cell = 0; cell < ByteCountStrip::kCells; ++cell) {
        EXPECT_EQ(strip.Count(cell), cell == kSend3 || cell == kRecv2 ? 1 : 0) << cell;
    }
    EXPECT_EQ(ByteCountStrip::CellToolTip(kSend3, 1), "Send[3]: 1 record differs");
    EXPECT_EQ(ByteCountStrip::CellToolTip(0, 2), "Recv[0]: 2 records differ");
    EXPECT_EQ(strip.CellAt(strip.CellRect(kSend3).center()), kSend3);
    EXPECT_EQ(strip.accessibleDescription(),
              "Recv[2]: 1 record differs; Send[3]: 1 record differs");

    // Painted: a cell of differing records in its colour, one of none not.
    const QImage painted = strip.grab().toImage();
    const auto inside = [&](int cell) { return strip.CellRect(cell).topLeft() + QPoint(2, 2); };
    EXPECT_EQ(painted.pixelColor(inside(kSend3)), strip.CellColor(kSend3));
    EXPECT_EQ(painted.pixelColor(inside(0)), strip.CellColor(0));
    EXPECT_NE(strip.CellColor(kSend3), strip.CellColor(0));
    // Cells side by side in one row, no wider than a 1280 pixel window.
    EXPECT_EQ(strip.CellRect(1).top(), strip.CellRect(0).top());
    EXPECT_LE(strip.sizeHint().width(), 1280);
}

TEST_F(LogBrowserAlignedTest, AtTwelveHundredAndEightyByNineHundredEachTableShowsTwelveRows)
{
    TfrmLogBrowser& browser = open(golden("fired.txt"));
    auto& ui = browser.controls();
    ASSERT_TRUE(browser.CompareWith(golden("diff-b.txt")));
    add_rule(ui, Rule::Ignore, "Send", "3", "1");
    browser.resize(1280, 900);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&browser));
    QApplication::processEvents();
    EXPECT_EQ(browser.size(), QSize(1280, 900));
    EXPECT_GE(whole_rows(*ui.tblRecords), 12);
    EXPECT_GE(whole_rows(*ui.tblCompared), 12);
    // The columns that stay in sight as the table scrolls keep its rows.
    for (const QTableView* table : {ui.tblRecords, ui.tblCompared}) {
        const auto frozen = table->findChildren<QTableView*>();
        ASSERT_EQ(frozen.size(), 1);
        EXPECT_EQ(frozen[0]->rowHeight(0), table->rowHeight(0));
    }
    // The comparison's controls take the height they need, no more.
    EXPECT_LE(ui.grbCompare->height(), ui.grbCompare->sizeHint().height());
}

TEST_F(LogBrowserTest, ExportWritesTheBytesOfQuillonCliAndCopyTheRecordLines)
{
    // The golden files hold quillon-cli's output for the logs named as they
    // are in their folder ("file" in JSON), so the browsers open them so too.
    namespace fs = std::filesystem;
    const fs::path golden = QUILLON_GOLDEN_DIR;
    const fs::path before = fs::current_path();
    fs::current_path(golden);
    TfrmLogBrowser& fired = open("fired.txt");
    TfrmLogBrowser& decoded = open("decoded.txt");
    fs::current_path(before);

    const std::string target = testsupport::private_root() + "/export";
    quillon::set_save_dialog(
        [&](const quillon::SaveRequest&) { return QString::fromStdString(target); });
    const auto text_of = [](const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    fired.controls().mnuExportCsv->trigger();
    EXPECT_EQ(text_of(target), text_of(golden / "fired.csv"));
    decoded.controls().mnuDecoded->trigger();
    decoded.controls().mnuExportCsv->trigger();
    EXPECT_EQ(text_of(target), text_of(golden / "decoded.csv"));
    decoded.controls().mnuExportJson->trigger();
    EXPECT_EQ(testsupport::pretty_json(text_of(target)), text_of(golden / "decoded.json"));

    decoded.controls().tblRecords->selectRow(3);
    decoded.controls().mnuCopy->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(),
              "Recv,00,00,AF,51,00,00,00,00,00,00,00,00,00,00,00,00, "
              "Send,0C,00,AF,10,11,12,13,14,15,16,17,18,19,1A,1B,43\n");
}

TEST_F(LogBrowserTest, FieldsChosenShowInBothTablesAndAreRememberedForTheNextBrowser)
{
    const std::string form = "[Form]\r\nComPort=COM3\r\nBaudRate=19200\r\n";
    write_settings(form);
    const std::string fields = testsupport::private_root() + "/fields.json";
    quillon::write_file_atomically(fields, R"({"fields": [
  {"name": "state", "direction": "recv", "byte": 0, "names": {"5": "home"}},
  {"name": "position", "direction": "recv", "byte": 1, "width": 2, "scale": 0.01,
   "unit": "mm", "when": {"direction": "send", "byte": 2, "mask": "0x0F", "value": 1}}]}
)");
    const std::string broken = testsupport::private_root() + "/broken.json";
    quillon::write_file_atomically(broken, "{\"fields\": [\n  {\"name\": \"state\"}]}\n");
    QString asked_filter;
    std::string chosen = fields;
    quillon::set_open_dialog([&](const QString& filter, const QString&) {
        asked_filter = filter;
        return QStringList{QString::fromStdString(chosen)};
    });

    TfrmLogBrowser& browser = *open_log_browsers({known}, settings_path).front();
    ASSERT_TRUE(browser.CompareWith(known));
    browser.controls().mnuFields->trigger();
    EXPECT_EQ(asked_filter, "Fields (*.json)");
    // Columns of their own, without the decoded view.
    EXPECT_FALSE(browser.controls().mnuDecoded->isChecked());
    for (const LogTableModel* shown : {&browser.model(), browser.compared_model()}) {
        ASSERT_EQ(shown->columnCount(), 37);
        EXPECT_EQ(shown->headerData(35, Qt::Horizontal, Qt::DisplayRole), "state");
        EXPECT_EQ(shown->headerData(36, Qt::Horizontal, Qt::DisplayRole), "position");
    }
    // Record 17: Recv[0..2] = 17, 18, 19 and Send[2] & 0x0F = 1.
    EXPECT_EQ(cell(browser.model(), 17, 35), "17");
    EXPECT_EQ(cell(browser.model(), 17, 36), "48.82 mm");
    EXPECT_EQ(cell(browser.model(), 5, 35), "home");
    EXPECT_EQ(cell(browser.model(), 5, 36), "");
    // With the decoded view too, after its columns.
    browser.controls().mnuDecoded->trigger();
    ASSERT_EQ(browser.model().columnCount(), 45);
    EXPECT_EQ(browser.model().headerData(44, Qt::Horizontal, Qt::DisplayRole), "position");
    EXPECT_EQ(cell(browser.model(), 17, 44), "48.82 mm");
    browser.controls().mnuDecoded->trigger();

    // Exported as shown: the fields without the decoded parts.
    const std::string exported = testsupport::private_root() + "/fields.csv";
    quillon::set_save_dialog(
        [&](const quillon::SaveRequest&) { return QString::fromStdString(exported); });
    browser.controls().mnuExportCsv->trigger();
    std::ifstream csv(exported, std::ios::binary);
    std::string header;
    std::getline(csv, header);
    EXPECT_TRUE(header.ends_with(",state,position\r")) << header;
    EXPECT_EQ(header.find("recv_length"), std::string::npos) << header;
    EXPECT_EQ(settings_text(), form + "[LogBrowser]\r\nFieldsFile=" + fields + "\r\n");

    // A fields file with an entry short of keys: its reason, and nothing changes.
    chosen = broken;
    browser.controls().mnuFields->trigger();
    ASSERT_EQ(messages.shown().size(), 1u);
    EXPECT_EQ(messages.shown()[0].text.rfind(broken + ":2: ", 0), 0u) << messages.shown()[0].text;
    EXPECT_EQ(cell(browser.model(), 17, 36), "48.82 mm");
    EXPECT_EQ(settings_text(), form + "[LogBrowser]\r\nFieldsFile=" + fields + "\r\n");

    TfrmLogBrowser& next = *open_log_browsers({known}, settings_path).front();
    ASSERT_EQ(next.model().columnCount(), 37);
    EXPECT_EQ(cell(next.model(), 5, 35), "home");

    // The remembered file gone: the browser opens without fields, unasked.
    std::filesystem::remove(fields);
    TfrmLogBrowser& without = *open_log_browsers({known}, settings_path).front();
    EXPECT_EQ(without.model().columnCount(), 35);
    EXPECT_EQ(messages.shown().size(), 1u);
}

}  // namespace

#include "PlotView.h"
#include "PlotWindow.h"

#include <QComboBox>
#include <QImage>

namespace {

// Record i's Recv[3] is (i + 3) & 0xFF; the log has no fired record, so x is
// the record's number. The peak, 255, is record 252.
TEST_F(LogBrowserTest, PlotsAByteOfEveryWrittenRecordAndExportsThePicture)
{
    TfrmLogBrowser& browser = open(known);
    QStringList offered;
    quillon::set_modal_runner([&](QDialog& asked) {
        auto* column = asked.findChild<QComboBox*>();
        for (int i = 0; i < column->count(); ++i) {
            offered << column->itemText(i);
        }
        column->setCurrentText("Recv 3");
        return int(QDialog::Accepted);
    });
    browser.controls().mnuPlot->trigger();
    ASSERT_EQ(offered.size(), 32);
    EXPECT_EQ(offered[19], "Send 3");

    const auto windows = browser.findChildren<PlotWindow*>();
    ASSERT_EQ(windows.size(), 1);
    PlotWindow& plotted = *windows.front();
    EXPECT_EQ(plotted.windowTitle(), "known.txt - Recv 3 - Quillon plot");
    int counted = 0;
    EXPECT_EQ(testsupport::menu_key_faults(plotted.menuBar()->actions(), "", counted),
              std::vector<std::string>{});
    EXPECT_EQ(counted, 3);
    EXPECT_TRUE(testsupport::f10_opens_menu_bar(plotted));
    PlotView& plot = plotted.plot();
    ASSERT_EQ(plot.Points().size(), 256u);
    EXPECT_EQ(plot.Points()[1].x, 1.0);
    EXPECT_EQ(plot.Points()[1].y, 4.0);
    EXPECT_EQ(plot.Points()[1].label, "record 1: 0x04");
    EXPECT_EQ(plot.Points()[253].y, 0.0);
    // A byte's axis in bytes, at steps of a power of two.
    EXPECT_EQ(plot.YTicks(),
              (std::vector<PlotTick>{{0, "0x00"}, {64, "0x40"}, {128, "0x80"}, {192, "0xC0"}}));
    EXPECT_EQ(plot.accessibleName(), "Plot");
    EXPECT_EQ(plot.accessibleDescription(), "Recv 3 over record, 256 points, from 0 to 255");

    // The topmost pixel of the line's colour is the peak, and PointAt finds it there.
    plotted.resize(800, 500);
    const QImage picture = plot.Picture();
    const QColor drawn = plot.palette().color(QPalette::Highlight);
    std::optional<QPoint> top;
    for (int y = 0; y < picture.height() && !top; ++y) {
        for (int x = 0; x < picture.width() && !top; ++x) {
            const QColor seen = picture.pixelColor(x, y);
            if (std::abs(seen.red() - drawn.red()) + std::abs(seen.green() - drawn.green()) +
                    std::abs(seen.blue() - drawn.blue()) <
                40) {
                top = QPoint(x, y);
            }
        }
    }
    ASSERT_TRUE(top);
    EXPECT_EQ(plot.PointAt(*top), (PlotHit{0, 252}));
    EXPECT_FALSE(plot.PointAt(QPoint(0, 0)));

    QString proposed;
    const QString file = QString::fromStdString(testsupport::private_root() + "/plot.png");
    quillon::set_save_dialog([&](const quillon::SaveRequest& request) {
        proposed = request.proposed;
        return std::optional<QString>(file);
    });
    plotted.export_picture().trigger();
    EXPECT_TRUE(proposed.endsWith("/known - Recv 3.png")) << proposed.toStdString();
    const QImage saved(file, "PNG");
    EXPECT_EQ(saved.size(), plot.size());
    EXPECT_TRUE(messages.shown().empty());
}

// The plot of the column named, chosen as the user does.
PlotView& plot_of(TfrmLogBrowser& browser, const QString& column)
{
    quillon::set_modal_runner([&](QDialog& asked) {
        asked.findChild<QComboBox*>()->setCurrentText(column);
        return int(QDialog::Accepted);
    });
    browser.controls().mnuPlot->trigger();
    const auto windows = browser.findChildren<PlotWindow*>();
    return windows.back()->plot();
}

// fired.txt fired at record 5, diff-b.txt at 7; B's Send[3] is 0x9C at B 4
// (T-3), 0x93 elsewhere as A's.
TEST_F(LogBrowserTest, ComparedPlotsDrawAAndBNamedAndAlignedAtTheirFiredRecords)
{
    const QString golden = QUILLON_GOLDEN_DIR;
    TfrmLogBrowser& browser = *open_log_browsers({golden + "/fired.txt"}, settings_path).front();
    ASSERT_TRUE(browser.CompareWith(golden + "/diff-b.txt"));
    const PlotView& plot = plot_of(browser, "Send 3");
    ASSERT_EQ(plot.Series().size(), 2u);
    const PlotSeries& a = plot.Series()[0];
    const PlotSeries& b = plot.Series()[1];
    EXPECT_EQ(a.name, "A: fired.txt");
    EXPECT_EQ(b.name, "B: diff-b.txt");
    EXPECT_EQ(a.x_shift, 5.0);
    EXPECT_EQ(b.x_shift, 7.0);
    ASSERT_EQ(a.points.size(), 8u);
    ASSERT_EQ(b.points.size(), 8u);
    EXPECT_EQ(a.points.front().x, -5.0);
    EXPECT_EQ(b.points.front().x, -7.0);
    EXPECT_EQ(b.points[4].x, -3.0);
    EXPECT_EQ(b.points[4].y, 0x9C);
    EXPECT_EQ(b.points[4].label, "T-3 (record 4): 0x9C");
    EXPECT_EQ(a.points[2].x, -3.0);
    EXPECT_EQ(a.points[2].y, 0x93);
    EXPECT_NE(plot.SeriesColor(0), plot.SeriesColor(1));
    EXPECT_EQ(plot.accessibleDescription(),
              "Send 3 over offset from the fired record: A: fired.txt, 8 points, from 147 to "
              "147; B: diff-b.txt, 8 points, from 147 to 156");

    // Alone again: one line, unnamed.
    browser.controls().btnCloseComparison->click();
    const PlotView& alone = plot_of(browser, "Send 3");
    ASSERT_EQ(alone.Series().size(), 1u);
    EXPECT_EQ(alone.Series()[0].name, "");
}

// Send[0] & 0x02 of fired.txt's records 0-7 (80-87): 0, 0, 2, 2, 0, 0, 2, 2.
TEST_F(LogBrowserTest, ANamedFieldIsPlottedByItsNamesAtItsNamedValuesOnly)
{
    const std::string fields = testsupport::private_root() + "/named.json";
    quillon::write_file_atomically(fields, R"({"fields": [
  {"name": "moving", "direction": "send", "byte": 0, "mask": 2,
   "names": {"0": "stopped", "2": "moving"}},
  {"name": "state", "direction": "send", "byte": 0, "names": {"0x80": "home"}},
  {"name": "level", "direction": "recv", "byte": 0, "scale": 0.5, "unit": "V"}]}
)");
    const QString golden = QUILLON_GOLDEN_DIR;
    TfrmLogBrowser& browser = *open_log_browsers({golden + "/fired.txt"}, settings_path).front();
    ASSERT_TRUE(browser.ShowFields(QString::fromStdString(fields)));
    const PlotView& moving = plot_of(browser, "moving");
    EXPECT_EQ(moving.YTicks(), (std::vector<PlotTick>{{0, "stopped"}, {2, "moving"}}));
    EXPECT_EQ(moving.Points()[2].label, "T-3 (record 2): moving");
    // Some values without a name: numbers.
    const PlotView& state = plot_of(browser, "state");
    ASSERT_FALSE(state.YTicks().empty());
    EXPECT_EQ(state.YTicks().front().label, "128");
    // A field in its unit: its title says it, its ticks are its values.
    const PlotView& level = plot_of(browser, "level");
    EXPECT_TRUE(level.accessibleDescription().startsWith("level (V) over"))
        << level.accessibleDescription().toStdString();
    EXPECT_EQ(level.YTicks().back(), (PlotTick{4, "4"}));
}

// The next note dialog typed into as a user does, Return pressed (which
// writes nothing while the text is empty); what it said the note is on
// kept in asked.
void type_next_note(const QString& text, const QString& tags, QString* asked = nullptr)
{
    quillon::set_modal_runner([=](QDialog& shown) {
        auto* dialog = qobject_cast<NoteDialog*>(&shown);
        EXPECT_NE(dialog, nullptr);
        if (dialog == nullptr) {
            return int(QDialog::Rejected);
        }
        dialog->show();
        if (asked != nullptr) {
            *asked = dialog->findChild<QLabel*>("lblNoteOn")->text();
        }
        QTest::keyClicks(&dialog->TextLine(), text);
        QTest::keyClicks(&dialog->TagsLine(), tags);
        QTest::keyClick(&dialog->TagsLine(), Qt::Key_Return);
        dialog->hide();
        return dialog->result();
    });
}

// The panel's rows: record, text and tags of each.
std::vector<QStringList> panel_rows(TfrmLogBrowser& browser)
{
    std::vector<QStringList> rows;
    const QTreeWidget& list = browser.NotesList();
    for (int row = 0; row < list.topLevelItemCount(); ++row) {
        const QTreeWidgetItem& item = *list.topLevelItem(row);
        rows.push_back({item.text(0), item.text(1), item.text(2)});
    }
    return rows;
}

// Records 183-255 never written, fired at 177 (see above): a note on a
// record by Ctrl+M is in the sidecar, marked (beside "fired" too), its text
// the marker's tooltip and read out; a note another program wrote meanwhile
// comes with the next change; the panel lists them, a click or Return goes
// to the record; F4 and Shift+F4 step through them; Delete in the panel
// removes one.
TEST_F(LogBrowserTest, NotesAreWrittenMarkedListedSteppedThroughAndRemoved)
{
    auto records = known_records();
    std::fill(records.begin() + 183, records.end(), LogRecord{});
    const QString file = write_log("noted.txt", records);
    const std::filesystem::path log = file.toStdString();
    std::filesystem::remove(quillon::notes_path(log));
    TfrmLogBrowser& browser = open(file);
    auto& ui = browser.controls();
    const LogTableModel& table = browser.model();
    const int marker = table.MarkerColumn();
    EXPECT_FALSE(browser.NotesPanel().isVisibleTo(&browser)) << "no notes: no panel";

    // Cancelled, or Return with no text: nothing written.
    type_next_note("", "#nothing");
    ui.tblRecords->selectRow(170);
    press_in(browser, *ui.tblRecords, Qt::Key_M, Qt::ControlModifier);
    EXPECT_FALSE(std::filesystem::exists(quillon::notes_path(log)));

    QString asked;
    type_next_note("overload after 50 mm", "#overload axis2", &asked);
    press_in(browser, *ui.tblRecords, Qt::Key_M, Qt::ControlModifier);
    EXPECT_EQ(asked, "Note on record 170 of noted.txt");
    quillon::NotesRead read = quillon::read_notes(log);
    ASSERT_EQ(read.problem, quillon::NotesProblem::None) << read.detail;
    ASSERT_EQ(read.notes.size(), 1u);
    EXPECT_EQ(read.notes[0].record, 170);
    EXPECT_EQ(read.notes[0].text, "overload after 50 mm");
    EXPECT_EQ(read.notes[0].tags, (std::vector<std::string>{"overload", "axis2"}));
    EXPECT_EQ(cell(table, 170, marker), QString::fromUtf8("\u270E"));
    EXPECT_EQ(cell(table, 170, marker, Qt::ToolTipRole), "overload after 50 mm #overload #axis2");
    EXPECT_EQ(cell(table, 170, marker, Qt::AccessibleTextRole),
              "note: overload after 50 mm #overload #axis2");
    EXPECT_EQ(cell(table, 169, marker, Qt::ToolTipRole), "");
    EXPECT_TRUE(browser.NotesPanel().isVisibleTo(&browser));

    // Another program's note on record 20, then one here on the fired
    // record and one on the log itself from the Edit menu.
    ASSERT_EQ(quillon::add_note(log, table.Timeline(), 20, "from the shell", {},
                                std::chrono::system_clock::now())
                  .problem,
              quillon::NotesProblem::None);
    type_next_note("the trigger", "");
    ui.tblRecords->selectRow(177);
    ui.mnuNote->trigger();
    type_next_note("night shift", "#handover", &asked);
    ui.mnuLogNote->trigger();
    EXPECT_EQ(asked, "Note on noted.txt");
    EXPECT_EQ(quillon::read_notes(log).notes.size(), 4u);
    EXPECT_EQ(cell(table, 177, marker), "fired " + QString::fromUtf8("\u270E"));
    EXPECT_EQ(cell(table, 177, marker, Qt::AccessibleTextRole), "fired; note: the trigger");
    EXPECT_EQ(cell(table, 20, marker, Qt::ToolTipRole), "from the shell");
    EXPECT_EQ(panel_rows(browser),
              (std::vector<QStringList>{{"log", "night shift", "#handover"},
                                        {"20", "from the shell", ""},
                                        {"170", "overload after 50 mm", "#overload #axis2"},
                                        {"177", "the trigger", ""}}));

    // To a record from the panel, by a click and by Return.
    QTreeWidget& list = browser.NotesList();
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {},
                      list.visualItemRect(list.topLevelItem(2)).center());
    EXPECT_EQ(browser.CurrentRecord(), 170);
    list.setCurrentItem(list.topLevelItem(1));
    press_in(browser, list, Qt::Key_Return);
    EXPECT_EQ(browser.CurrentRecord(), 20);

    // Next and previous, round the ends.
    press_in(browser, *ui.tblRecords, Qt::Key_F4);
    EXPECT_EQ(browser.CurrentRecord(), 170);
    ui.mnuNextNote->trigger();
    EXPECT_EQ(browser.CurrentRecord(), 177);
    ui.mnuNextNote->trigger();
    EXPECT_EQ(browser.CurrentRecord(), 20);
    press_in(browser, *ui.tblRecords, Qt::Key_F4, Qt::ShiftModifier);
    EXPECT_EQ(browser.CurrentRecord(), 177);

    // Delete in the panel removes the note chosen; the next row is chosen.
    list.setCurrentItem(list.topLevelItem(2));
    press_in(browser, list, Qt::Key_Delete);
    read = quillon::read_notes(log);
    ASSERT_EQ(read.notes.size(), 3u);
    EXPECT_TRUE(quillon::notes_on(read.notes, 170).empty());
    EXPECT_EQ(cell(table, 170, marker), "");
    EXPECT_EQ(cell(table, 170, marker, Qt::AccessibleTextRole), "");
    ASSERT_EQ(panel_rows(browser).size(), 3u);
    EXPECT_EQ(list.currentItem()->text(0), "177");
    ui.mnuPreviousNote->trigger();
    EXPECT_EQ(browser.CurrentRecord(), 20);

    // A note on a record never written is refused, and said.
    type_next_note("too late", "");
    ui.tblRecords->selectRow(200);
    ui.mnuNote->trigger();
    ASSERT_EQ(messages.shown().size(), 1u);
    EXPECT_EQ(messages.shown()[0].text, "The note was not written.\nRecord 200 was never written.");
    EXPECT_EQ(quillon::read_notes(log).notes.size(), 3u);

    // Opened again: the notes read with the log, the panel shown.
    delete &browser;
    TfrmLogBrowser& again = open(file);
    EXPECT_TRUE(again.NotesPanel().isVisibleTo(&again));
    EXPECT_EQ(panel_rows(again).size(), 3u);
    EXPECT_EQ(cell(again.model(), 20, marker, Qt::ToolTipRole), "from the shell");
}

// A sidecar that is not notes is said, naming it and why; the log opens
// all the same, without notes, and a note is not written over it.
TEST_F(LogBrowserTest, ASidecarThatDoesNotReadIsSaidAndNotWrittenOver)
{
    const QString file = write_log("unnoted.txt", known_records());
    const std::string sidecar = quillon::notes_path(file.toStdString()).string();
    quillon::write_file_atomically(sidecar, "{\"version\": 1, \"notes\": [{\"id\": 3}]}");
    TfrmLogBrowser& browser = open(file);
    ASSERT_EQ(messages.shown().size(), 1u);
    EXPECT_EQ(messages.shown()[0].text, "The notes of unnoted.txt are not shown.\n" + sidecar +
                                            " is not a notes file: note 1: \"id\" is not a text");
    EXPECT_EQ(browser.model().rowCount(), quillon::kLogRecords);
    EXPECT_TRUE(browser.Notes().empty());
    EXPECT_FALSE(browser.NotesPanel().isVisibleTo(&browser));

    type_next_note("lost", "");
    browser.controls().mnuLogNote->trigger();
    ASSERT_EQ(messages.shown().size(), 2u);
    EXPECT_TRUE(QString::fromStdString(messages.shown()[1].text)
                    .startsWith("The note was not written.\n" + QString::fromStdString(sidecar) +
                                " is not a notes file: "))
        << messages.shown()[1].text;
    std::ifstream in(sidecar, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}),
              "{\"version\": 1, \"notes\": [{\"id\": 3}]}");
}

TEST_F(LogBrowserTest, EveryMenuCommandHasAMnemonicOfItsOwnAndF10OpensTheMenuBar)
{
    TfrmLogBrowser& browser = open(known);
    int counted = 0;
    EXPECT_EQ(testsupport::menu_key_faults(browser.menuBar()->actions(), "", counted),
              std::vector<std::string>{});
    // File (4), Edit (8), View (4).
    EXPECT_EQ(counted, 3 + 4 + 8 + 4);
    EXPECT_TRUE(testsupport::f10_opens_menu_bar(browser));
}

TEST_F(LogBrowserTest, ANewLanguageWordsTheBrowserAnewWithItsComparisonFindAndRules)
{
    auto records = known_records();
    records[10][21] ^= 0x01;
    const QString changed = write_log("changed.txt", records);
    TfrmLogBrowser& browser = open(known);
    ASSERT_TRUE(browser.CompareWith(changed));
    auto& ui = browser.controls();
    add_rule(ui, Rule::Ignore, "Recv", "0", "0x80");
    ui.edtFindByte->setText("2");
    ui.edtFindMask->setText("0x0F");
    ui.edtFindValue->setText("0x01");
    ui.rbnFindSend->setChecked(true);
    browser.btnFindNextClick();
    const auto shown = [&] {
        return QStringList{browser.windowTitle(),          ui.lblDateTime->toolTip(),
                           ui.lblStopCondition->toolTip(), ui.lblSummary->toolTip(),
                           ui.lblFindCount->text(),        ui.lblRecordsFile->text(),
                           ui.lblComparedFile->text(),     ui.lblCompareAlignment->text(),
                           ui.lblCompareSummary->text(),   ui.lbxRules->item(0)->text(),
                           ui.rbnFindSend->text()};
    };
    const QStringList before = shown();
    EXPECT_EQ(before[4], "16 records meet Send[2] & 0x0F = 0x01");
    EXPECT_EQ(before[9], "Ignore Recv[0] & 0x80");
    QEvent change(QEvent::LanguageChange);
    QCoreApplication::sendEvent(&browser, &change);
    EXPECT_EQ(shown(), before);
}

TEST_F(LogBrowserTest, OpenLogStartsBesideTheLastLogOpenedAndCompareWithBesideTheOpenLog)
{
    ASSERT_TRUE(start());
    const QString night = QString::fromStdString(testsupport::private_root()) + "/night";
    QDir(night).removeRecursively();
    ASSERT_TRUE(QDir().mkpath(night));
    const QString first = night + "/first.txt";
    ASSERT_TRUE(QFile::copy(known, first));
    QStringList asked;
    quillon::set_open_dialog([&](const QString&, const QString& folder) {
        asked << folder;
        return QStringList{};
    });
    TfrmLogBrowser& browser = open(first);
    window->controls().mnuOpenLog->trigger();
    open(known);
    window->controls().mnuOpenLog->trigger();
    browser.controls().mnuCompareWith->trigger();
    EXPECT_EQ(asked, (QStringList{QFileInfo(first).absolutePath(), QFileInfo(known).absolutePath(),
                                  QFileInfo(first).absolutePath()}));
}

}  // namespace
