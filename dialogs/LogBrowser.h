// The log browser: one saved log file in a window of its own, read once when
// it opens. A table of its 256 records, opened at the record that fired the
// trigger, with each record's offset from it, the fired record, those that
// meet the file's stop condition and those never written marked; find (by
// a byte or by a condition), a decoded view, the fields of a user's fields
// file, a comparison with a second log, plots, export as CSV or JSON,
// copying records as record lines, and notes on the log and its records
// (kept in its sidecar, listed in a panel, the records noted marked).
#pragma once

#include "Fields.h"
#include "FileDrops.h"
#include "IniFile.h"
#include "LogAnalysis.h"
#include "LogFile.h"
#include "Notes.h"

#include <QMainWindow>
#include <QStringList>

#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

class ColumnsInView;
class ConditionLine;
class ElidedCaption;
class FrozenColumns;
class PairedScrolling;
class LogTableModel;
class QAction;
class QDockWidget;
class QPushButton;
class QTableView;
class QTreeWidget;
class QTreeWidgetItem;
namespace Ui {
class TfrmLogBrowser;
}  // namespace Ui

class TfrmLogBrowser : public QMainWindow {
    Q_OBJECT

public:
    // path: the file as opened; log: what was read from it; settings_path:
    // where the fields file read last is remembered, and read again here.
    TfrmLogBrowser(QString path, quillon::LogFile log,
                   std::string settings_path = quillon::settings_file_path(),
                   QWidget* parent = nullptr);
    ~TfrmLogBrowser() override;

    void btnFindNextClick();
    void btnFindPreviousClick();
    void mnuFindClick();
    void mnuDecodedClick();
    void mnuFieldsClick();
    void mnuCompareWithClick();
    void btnNextDifferenceClick();
    void btnPreviousDifferenceClick();
    void btnAddRuleClick();
    void btnRemoveRuleClick();
    void btnCloseComparisonClick();
    void mnuExportCsvClick();
    void mnuExportJsonClick();
    void mnuCopyClick();
    // Asks for a byte position or field and plots it over the written
    // records in a window of its own; in a comparison, A's and B's.
    void mnuPlotClick();
    // Asks for a note on the current record, or on the log itself, and
    // writes it to the sidecar; the notes read anew after.
    void mnuNoteClick();
    void mnuLogNoteClick();
    // Steps to the next (previous) record with notes, round the end.
    void mnuNextNoteClick();
    void mnuPreviousNoteClick();
    // Removes the note chosen in the notes panel.
    void btnRemoveNoteClick();

    // Compares with the log read from path; false (the reason shown) when it
    // cannot be read.
    bool CompareWith(const QString& path);
    // With a log read already; path names it.
    void CompareWith(const QString& path, quillon::LogFile log);
    // Shows the fields of the fields file at path as columns of both tables
    // and remembers the file; false (the reason shown, nothing changed) when
    // it cannot be read.
    bool ShowFields(const QString& path);

    // What files dropped on the window open; a drop opens nothing until
    // the window is given it.
    void SetLogOpener(quillon::FilesHandler opener) { log_opener_ = std::move(opener); }

    Ui::TfrmLogBrowser& controls() { return *ui_; }
    // The find row's condition, beside its byte.
    ConditionLine& FindCondition() { return *find_condition_; }
    const QString& path() const { return path_; }
    LogTableModel& model() { return *model_; }
    // The model of the compared log, while a comparison is open.
    LogTableModel* compared_model() { return other_ ? other_->model.get() : nullptr; }
    // The record selected last (the current row), -1 for none.
    int CurrentRecord() const;
    // The log's notes as last read from its sidecar, in the order written.
    const std::vector<quillon::Note>& Notes() const { return notes_; }
    // The notes panel (toggled from View) and its list: a row a note, the
    // log's own first, then by record; a click or Return goes to its record.
    QDockWidget& NotesPanel() { return *notes_panel_; }
    QTreeWidget& NotesList() { return *notes_list_; }
    QPushButton& LogNoteButton() { return *log_note_; }
    QPushButton& RemoveNoteButton() { return *remove_note_; }

signals:
    // A note was written or removed here.
    void notesChanged();

protected:
    // The first time: the fired record scrolled to the middle of the table.
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    struct ComparedLog {
        QString path;
        quillon::LogFile log;
        std::unique_ptr<LogTableModel> model;
    };
    // Some bits of a byte left out of the comparison, or the only ones in it.
    struct ComparisonRule {
        bool only = false;
        quillon::MaskedByte bits;
    };

    // What the last find found, so that a change of language words it anew.
    struct FindShown {
        std::size_t found = 0;
        QString condition;
    };

    // Every text of the window in the current language: the layout's, then
    // those made from the log, the comparison and the find.
    void RetranslateUi();
    // A table's helpers: its record columns kept in sight, its columns
    // sized as they come into view.
    struct TableAids {
        FrozenColumns& frozen;
        ColumnsInView& sized;
    };
    // Shows model in table with its aids.
    static void SetUpTable(QTableView& table, TableAids aids, LogTableModel& model);
    // Steps from the current record to the next (+1) or previous (-1) of
    // records, round the end.
    void StepTo(const std::vector<int>& records, int step);
    // Selects A's record and, in a comparison, B's record paired with it.
    void SelectRecord(int record);
    static void SelectRow(QTableView& table, int row);
    // The records the find row asks for: those that meet the condition
    // typed, else the byte row's; none when what is typed does not read
    // (the byte row's reason shown).
    struct Found {
        std::vector<int> records;
        QString condition;  // as the count names it
    };
    std::optional<Found> FindRecords();
    // The records found counted under the row; nothing found, no count.
    void ShowFound(const std::optional<Found>& found);
    void Find(int step);
    // The condition typed counted at once; one that does not read counts
    // nothing.
    void CountConditionFound();
    void StepToDifference(int step);
    void UpdateComparison();
    // The comparison's controls, the tables' file names and the strip.
    void ShowComparison(bool shown);
    // The fields in both tables, their exports and plots.
    void SetFields(std::vector<quillon::FieldSpec> fields);
    // Scrolls the current record to the middle of the table, once the
    // window shows, B's record of the pair beside it.
    void CentreCurrentRecord();
    // Asks for a file name with the filter and writes text there.
    void Export(const QString& filter, const QString& suffix, const std::string& text);
    // The notes panel, below the tables.
    void BuildNotesPanel();
    // The log as the notes name it.
    std::filesystem::path LogPath() const;
    // The notes shown: the marks, the panel; read from the sidecar when
    // changed here (another program's notes come with them).
    void ShowNotes(std::vector<quillon::Note> notes);
    void ReadNotesAgain();
    // Asks for a note on record (none: on the log) and writes it.
    void AddNote(std::optional<int> record);
    // The panel's rows worded anew.
    void FillNotesList();
    void GoToNote(const QTreeWidgetItem* item);

    std::unique_ptr<Ui::TfrmLogBrowser> ui_;
    QString path_;
    std::string settings_path_;
    quillon::FilesHandler log_opener_;
    quillon::LogFile log_;
    std::unique_ptr<LogTableModel> model_;
    // Children of their labels.
    ElidedCaption* date_time_;
    ElidedCaption* stop_condition_;
    ElidedCaption* summary_;
    // In the find row.
    ConditionLine* find_condition_;
    // Children of their tables.
    FrozenColumns* frozen_records_;
    FrozenColumns* frozen_compared_;
    ColumnsInView* sized_records_;
    ColumnsInView* sized_compared_;
    PairedScrolling* paired_scrolling_;
    bool shown_ = false;
    std::optional<ComparedLog> other_;
    std::vector<ComparisonRule> rules_;
    quillon::LogComparison comparison_;
    quillon::LogRecord compared_bits_{};  // the bits that comparison_ looks at
    std::vector<quillon::FieldSpec> fields_;
    std::optional<FindShown> find_shown_;
    std::vector<quillon::Note> notes_;
    QDockWidget* notes_panel_ = nullptr;
    QTreeWidget* notes_list_ = nullptr;
    QPushButton* log_note_ = nullptr;
    QPushButton* remove_note_ = nullptr;
    QAction* remove_note_action_ = nullptr;  // Delete in the list
};

// Reads each file and opens it in a browser window of its own, shown, that
// deletes itself when closed. A file that cannot be read shows the reader's
// reason in an error box and opens nothing. Returns the windows opened.
std::vector<TfrmLogBrowser*> open_log_browsers(
    const QStringList& files, const std::string& settings_path = quillon::settings_file_path());

// The same for one file named by its bytes (which need not be UTF-8; the
// window shows such a name with replacement characters); nothing when it
// cannot be read.
TfrmLogBrowser* open_log_browser(const std::string& file,
                                 const std::string& settings_path = quillon::settings_file_path());

// Reads a log file; nothing (the reason shown) when it cannot be read.
std::optional<quillon::LogFile> read_log_or_explain(const QString& path);
