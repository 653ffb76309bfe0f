// A series of captures (a night's Autolog files) in one window: a table of
// the captures held against a reference capture, with columns of values at
// places chosen by the user, the files that could not be read, and the
// variation map around the fired records under the comparison's rules; a
// cell of the map lists and plots each capture's value there, a capture
// opens in a log browser compared with the reference. A condition keeps
// only the captures that meet it at their fired records. Beside the map,
// the likely causes of the captures kept: a cause chosen shows its cell,
// and can be kept as the condition. Each capture's notes in a column, and a
// note written on a capture. The rules, the condition and the fields file
// are remembered in the settings file.
#pragma once

#include "Fields.h"
#include "FileDrops.h"
#include "IniFile.h"
#include "Series.h"
#include "Settings.h"
#include "ValueColumns.h"
#include "VariationMapView.h"

#include <QMainWindow>
#include <QStringList>

#include <optional>
#include <string>
#include <utility>
#include <vector>

class CaptureValuesModel;
class CausesPanel;
class ComparisonRulesBox;
class ConditionLine;
class QAction;
class QMenu;
class PlotView;
class QLabel;
class QListWidget;
class QPushButton;
class QSortFilterProxyModel;
class QSplitter;
class QTableView;
class SeriesTableModel;
class TfrmLogBrowser;

class TfrmSeries : public QMainWindow {
    Q_OBJECT

public:
    // folder: where the captures are, for the caption; settings_path: where
    // the fields file read last and the rules are remembered.
    TfrmSeries(quillon::Series series, const QString& folder,
               std::string settings_path = quillon::settings_file_path(),
               QWidget* parent = nullptr);
    ~TfrmSeries() override;

    void btnSetReferenceClick();
    void mnuExportPictureClick();
    void mnuExportTableClick();
    void mnuExportReportClick();
    void mnuFieldsClick();
    void mnuColumnsClick();
    // Asks for a note on the capture chosen and writes it to its sidecar.
    void mnuNoteClick();

    // Shows the fields of the fields file at path in the map, the values
    // and the plot, and remembers the file as the browser's; false (the
    // reason shown, nothing changed) when it cannot be read.
    bool ShowFields(const QString& path);
    const std::vector<quillon::FieldSpec>& Fields() const { return fields_; }
    // Columns of values at places after the table's own, in their order.
    void SetValueColumns(std::vector<quillon::ValueColumn> columns);
    const std::vector<quillon::ValueColumn>& ValueColumns() const;
    // The value columns remembered in the settings file.
    void RememberedValueColumns();

    // Compares every capture kept with this one (a row of the table as
    // captured) and redraws the map; the reference again whenever a
    // condition keeps it.
    void SetReference(std::size_t capture);
    // Lists and plots each capture's value in a cell of the map.
    void ShowCell(int row, int column);
    // The map's cell of a cause's condition (its first comparison's
    // operand at its place from the fired record): chosen, its values
    // listed and plotted; nothing when the map has no such cell.
    void ShowCause(const QString& condition);
    // The condition kept: the captures that meet it, and their causes.
    void KeepCause(const QString& condition);
    // What the browsers that the window opens do with files dropped on them.
    void SetLogOpener(quillon::FilesHandler opener) { log_opener_ = std::move(opener); }
    // Opens a capture in a browser, compared with the reference unless it
    // is the reference.
    TfrmLogBrowser* OpenCapture(std::size_t capture);
    // The capture on a row of the table as it is sorted; none for no row.
    std::optional<std::size_t> CaptureOnRow(int row) const;

    // The captures kept, in the order captured (all without a condition).
    const quillon::Series& series() const { return series_; }
    QTableView& CapturesTable() { return *captures_table_; }
    QTableView& ValuesTable() { return *values_table_; }
    VariationMapView& Map() { return *map_; }
    PlotView& Plot() { return *plot_; }
    QListWidget& UnreadableList() { return *unreadable_list_; }
    QPushButton& SetReferenceButton() { return *set_reference_; }
    ComparisonRulesBox& RulesBox() { return *rules_; }
    ConditionLine& KeepIfLine() { return *keep_if_; }
    CausesPanel& Causes() { return *causes_; }
    // How many captures the condition kept and left out; hidden without one.
    QLabel& KeptLabel() { return *kept_label_; }
    QSplitter& Splitter() { return *splitter_; }
    // The text of the picture's lines above the map: the folder, the
    // reference, the rules.
    QStringList PictureCaption() const;
    // The report of what the window shows (File > Export Report...): the
    // reference, the rules, the columns, the captures kept and the likely
    // causes found, worded in the windows' language.
    std::string ReportHtml() const;

    // The table's columns; the value columns follow.
    enum Column {
        kTime,
        kFile,
        kFired,
        kCommand,
        kMeets,
        kDiffering,
        kDifferingMost,
        kReference,
        kNotes,
        kColumns
    };

protected:
    void changeEvent(QEvent* event) override;

private:
    void BuildWindow();
    // Every text of the window in the current language; the cell shown
    // worded anew.
    void RetranslateUi();
    // No cell chosen: the prompt, no values, an empty plot.
    void ShowNoCell();
    std::optional<std::size_t> SelectedCapture() const;
    // Every capture kept compared with the reference, and redrawn.
    void Compare();
    // The captures kept, the fields or the rules changed: compared, and
    // their likely causes sought anew.
    void Examine();
    std::optional<VariationMapView::Cell> CauseCell(const QString& condition) const;
    // The rules listed applied: compared anew, redrawn, remembered.
    void ApplyRules();
    // The condition typed applied (one that does not read keeps every
    // capture), remembered as typed.
    void ApplyKeepIf();
    // The captures that meet the condition, or all, kept in the window's
    // series, the reference chosen among them; false when they are those
    // kept already. They are compared after.
    bool KeepCaptures();
    // How many were kept and left out, and the reference if it was left
    // out; "" without a condition.
    QString KeptText() const;
    void ShowKept();
    // The table, the map, the values and the plot after the comparison or
    // the fields changed; the cell chosen kept where it still is.
    void Redraw();
    // The captures' table's part of the window: eight rows of captures in
    // sight, the map below taking the rest.
    void SizeSplitter();

    // As read; the captures kept, as the table and the map show them; of
    // each capture kept, its place in all_.
    quillon::Series all_;
    quillon::Series series_;
    std::vector<std::size_t> kept_;
    // The reference chosen among all_; the condition's choice while it
    // leaves that one out.
    std::size_t reference_ = 0;
    // What the condition applied left out, while one is applied.
    std::optional<quillon::KeptCaptures> kept_by_condition_;
    bool keep_if_unsaved_shown_ = false;
    std::string settings_path_;
    quillon::FilesHandler log_opener_;
    std::vector<quillon::FieldSpec> fields_;
    SeriesTableModel* captures_model_;
    QSortFilterProxyModel* sorted_;
    CaptureValuesModel* values_model_;
    QString folder_;
    QTableView* captures_table_ = nullptr;
    QTableView* values_table_ = nullptr;
    QPushButton* set_reference_ = nullptr;
    QLabel* unreadable_label_ = nullptr;
    QListWidget* unreadable_list_ = nullptr;
    VariationMapView* map_ = nullptr;
    ComparisonRulesBox* rules_ = nullptr;
    ConditionLine* keep_if_ = nullptr;
    QLabel* kept_label_ = nullptr;
    CausesPanel* causes_ = nullptr;
    QSplitter* splitter_ = nullptr;
    QWidget* top_ = nullptr;
    QLabel* cell_label_ = nullptr;
    PlotView* plot_ = nullptr;
    std::optional<VariationMapView::Cell> shown_cell_;
    QMenu* file_menu_ = nullptr;
    QAction* export_picture_ = nullptr;
    QAction* export_report_ = nullptr;
    QAction* export_table_ = nullptr;
    QAction* close_ = nullptr;
    QMenu* view_menu_ = nullptr;
    QAction* fields_action_ = nullptr;
    QAction* columns_action_ = nullptr;
    QMenu* capture_menu_ = nullptr;
    QAction* set_reference_action_ = nullptr;
    QAction* open_capture_ = nullptr;
    QAction* note_action_ = nullptr;
};

// Reads the files and folders named as a series and opens its window,
// shown, deleting itself when closed; nothing (the reasons shown) when no
// capture reads.
TfrmSeries* open_series(const std::vector<std::string>& files_or_folders,
                        const std::string& settings_path = quillon::settings_file_path());
