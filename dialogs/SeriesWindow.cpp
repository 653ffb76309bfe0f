#include "SeriesWindow.h"

#include "AtomicFile.h"
#include "CausesPanel.h"
#include "ColumnWords.h"
#include "ComparisonRulesBox.h"
#include "ConditionLine.h"
#include "Conditions.h"
#include "GuardedHandlers.h"
#include "Keyboard.h"
#include "Language.h"
#include "LikelyCauses.h"
#include "LogBrowser.h"
#include "MarkColours.h"
#include "MessageBoxes.h"
#include "Messages.h"
#include "NoteDialog.h"
#include "Notes.h"
#include "Plot.h"
#include "PlotView.h"
#include "PlotWindow.h"
#include "Report.h"
#include "Seams.h"
#include "SeriesTable.h"
#include "ValueColumnsDialog.h"
#include "VariationMapView.h"

#include <QAbstractTableModel>
#include <QAction>
#include <QBuffer>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QSortFilterProxyModel>
#include <QSplitter>
#include <QStyle>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>
#include <functional>
#include <map>

namespace {

QString text_of(const std::string& text)
{
    return QString::fromStdString(text);
}

QString file_name(const std::string& path)
{
    return QFileInfo(QFile::decodeName(path.c_str())).fileName();
}

QString time_text(std::int64_t time)
{
    return text_of(quillon::capture_time_text(time));
}

// "Send 3 (12), Recv 2 (4)": the byte positions differing in most records.
QString most_differing(const quillon::LogComparison& comparison)
{
    QStringList shown;
    for (const auto& [k, records] : quillon::most_differing_positions(comparison)) {
        shown << QString("%1 (%2)")
                     .arg(text_of(quillon::byte_position(k, quillon::PositionSpelling::Label)))
                     .arg(records);
    }
    return shown.join(TfrmSeries::tr(", ", "between byte positions"));
}

// A capture's notes in its cell: its own notes' text, then how many notes
// its records have ("overload after 50 mm (+2)").
QString notes_cell(const quillon::NotesRead& read)
{
    if (read.problem != quillon::NotesProblem::None) {
        return TfrmSeries::tr("notes not read");
    }
    QStringList own;
    for (const quillon::Note& note : quillon::notes_on(read.notes, std::nullopt)) {
        own << text_of(note.text);
    }
    const auto on_records = read.notes.size() - std::size_t(own.size());
    QString text = own.join(TfrmSeries::tr("; ", "between a capture's notes"));
    if (on_records == 0) {
        return text;
    }
    const QString count =
        TfrmSeries::tr("(+%1)", "how many notes the capture's records have").arg(on_records);
    return text.isEmpty() ? count : text + " " + count;
}

// Every note of a capture, a line each, its own first; or why they were
// not read.
QString notes_tooltip(const std::string& file, const quillon::NotesRead& read)
{
    if (read.problem != quillon::NotesProblem::None) {
        return notes_problem_text(file, read.problem, read.detail);
    }
    QStringList lines;
    for (const quillon::Note& note : quillon::notes_on(read.notes, std::nullopt)) {
        lines << note_line(note);
    }
    for (const quillon::Note& note : read.notes) {
        if (note.record) {
            lines << TfrmSeries::tr("record %1: %2").arg(*note.record).arg(note_line(note));
        }
    }
    return lines.join('\n');
}

std::string local_name(const QString& name)
{
    return QFile::encodeName(name).toStdString();
}

// A splitter's handle drawn by the desktop's style with a grip across its
// middle, so that it is seen where the style draws the handle flat.
class GripHandle : public QSplitterHandle {
public:
    using QSplitterHandle::QSplitterHandle;

protected:
    void paintEvent(QPaintEvent* event) override
    {
        QSplitterHandle::paintEvent(event);
        QPainter painter(this);
        painter.setPen(QPen(palette().color(QPalette::Dark), 1));
        const QPoint middle = rect().center();
        const int half = 12;
        for (int line = -1; line <= 1; ++line) {
            if (orientation() == Qt::Vertical) {
                const int y = middle.y() + line * 2;
                painter.drawLine(middle.x() - half, y, middle.x() + half, y);
            } else {
                const int x = middle.x() + line * 2;
                painter.drawLine(x, middle.y() - half, x, middle.y() + half);
            }
        }
    }
};

class GripSplitter : public QSplitter {
public:
    GripSplitter(Qt::Orientation orientation, QWidget* parent) : QSplitter(orientation, parent)
    {
        setHandleWidth(std::max(handleWidth(), 7));
        setChildrenCollapsible(false);
    }

protected:
    QSplitterHandle* createHandle() override { return new GripHandle(orientation(), this); }
};

}  // namespace

// The captures of a series, one a row, in the order they were captured,
// then a column for each value at a place chosen. Qt::UserRole holds what a
// column sorts by.
class SeriesTableModel : public QAbstractTableModel {
public:
    explicit SeriesTableModel(const quillon::Series& series) : series_(series) {}

    // The value columns, each capture's value read under the fields given;
    // a column of a field that they do not name is left out.
    void SetValueColumns(std::vector<quillon::ValueColumn> columns,
                         std::span<const quillon::FieldSpec> fields)
    {
        Reset(std::move(columns), fields, {});
    }
    // The series' captures changed by change, the table reset around it,
    // and the value columns read anew on them.
    void ChangeCaptures(const std::function<void()>& change,
                        std::span<const quillon::FieldSpec> fields)
    {
        Reset(values_.columns, fields, change);
    }
    const quillon::ValueTable& Values() const { return values_; }
    const std::vector<quillon::ValueColumn>& ValueColumns() const { return values_.columns; }

    int rowCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : int(series_.captures.size());
    }
    int columnCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : TfrmSeries::kColumns + int(values_.columns.size());
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        static const char* const headings[] = {QT_TRANSLATE_NOOP("TfrmSeries", "Time"),
                                               QT_TRANSLATE_NOOP("TfrmSeries", "File"),
                                               QT_TRANSLATE_NOOP("TfrmSeries", "Fired record"),
                                               QT_TRANSLATE_NOOP("TfrmSeries", "Command"),
                                               QT_TRANSLATE_NOOP("TfrmSeries", "Meets"),
                                               QT_TRANSLATE_NOOP("TfrmSeries", "Records differing"),
                                               QT_TRANSLATE_NOOP("TfrmSeries", "Differing most"),
                                               QT_TRANSLATE_NOOP("TfrmSeries", "Reference"),
                                               QT_TRANSLATE_NOOP("TfrmSeries", "Notes")};
        if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
            section < TfrmSeries::kColumns) {
            return TfrmSeries::tr(headings[section]);
        }
        // A value column is named by its place as written.
        if (orientation == Qt::Horizontal && role == Qt::DisplayRole &&
            section >= TfrmSeries::kColumns && section < columnCount()) {
            return QString::fromStdString(
                values_.columns[std::size_t(section - TfrmSeries::kColumns)].key);
        }
        return QAbstractTableModel::headerData(section, orientation, role);
    }

    QVariant data(const QModelIndex& index, int role) const override
    {
        if (!index.isValid()) {
            return {};
        }
        const auto row = std::size_t(index.row());
        const quillon::SeriesCapture& capture = series_.captures[row];
        const bool reference = row == series_.reference;
        if (role == Qt::ToolTipRole && index.column() == TfrmSeries::kFile) {
            return QDir::toNativeSeparators(QFile::decodeName(capture.file.c_str()));
        }
        // Elided in its column; whole in the tooltip.
        if (role == Qt::ToolTipRole && index.column() == TfrmSeries::kDifferingMost) {
            return data(index, Qt::DisplayRole);
        }
        if (role == Qt::ToolTipRole && index.column() == TfrmSeries::kNotes) {
            const QString notes = notes_tooltip(capture.file, NotesOf(capture.file));
            return notes.isEmpty() ? QVariant() : QVariant(notes);
        }
        if (index.column() >= TfrmSeries::kColumns) {
            return ValueData(row, index.column() - TfrmSeries::kColumns, role);
        }
        if (role == Qt::UserRole) {
            return SortKey(row, index.column());
        }
        if (role != Qt::DisplayRole) {
            return {};
        }
        switch (index.column()) {
        case TfrmSeries::kTime: return time_text(capture.time);
        case TfrmSeries::kFile: return file_name(capture.file);
        case TfrmSeries::kFired:
            return capture.timeline.fired ? QString::number(*capture.timeline.fired)
                                          : TfrmSeries::tr("none", "no fired record");
        case TfrmSeries::kCommand: return text_of(quillon::fired_command_text(capture));
        case TfrmSeries::kMeets: return capture.meets;
        case TfrmSeries::kDiffering:
            return reference ? QString()
                             : QString::number(capture.against_reference.records_differing);
        case TfrmSeries::kDifferingMost:
            return reference ? QString() : most_differing(capture.against_reference);
        case TfrmSeries::kReference:
            return reference ? TfrmSeries::tr("reference", "the reference capture") : QString();
        case TfrmSeries::kNotes: return notes_cell(NotesOf(capture.file));
        default: return {};
        }
    }

    // The notes of a capture's log read anew from its sidecar.
    void ReadNotes(const std::string& file)
    {
        notes_[file] = quillon::read_notes(file);
        for (int row = 0; row < rowCount(); ++row) {
            if (series_.captures[std::size_t(row)].file == file) {
                const QModelIndex notes = index(row, TfrmSeries::kNotes);
                emit dataChanged(notes, notes);
            }
        }
    }

    // Each cell and heading read again: the reference or the language has
    // changed.
    void Refresh()
    {
        emit headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
        if (rowCount() > 0) {
            emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
        }
    }

private:
    // The value columns, those of a field that the fields do not name left
    // out, read after the captures changed (change, when given).
    void Reset(std::vector<quillon::ValueColumn> columns,
               std::span<const quillon::FieldSpec> fields, const std::function<void()>& change)
    {
        std::vector<quillon::ValueColumn> kept;
        std::vector<quillon::RecordColumn> reads;
        for (quillon::ValueColumn& column : columns) {
            if (auto read = quillon::operand_column(column.operand, fields)) {
                kept.push_back(std::move(column));
                reads.push_back(std::move(*read));
            }
        }
        beginResetModel();
        if (change) {
            change();
        }
        values_ = quillon::value_table(series_, std::move(kept), reads, fields);
        endResetModel();
    }

    // A value at a place: its text, its number to sort by (none sorts
    // last), numbers to the right.
    QVariant ValueData(std::size_t row, int column, int role) const
    {
        const auto& value = values_.rows[row][std::size_t(column)];
        switch (role) {
        case Qt::DisplayRole:
            return value ? QString::fromStdString(quillon::placed_value_text(*value)) : QString();
        case Qt::UserRole: return value ? QVariant(value->number) : QVariant();
        case Qt::TextAlignmentRole:
            return value && value->kind != quillon::PlacedValue::Kind::Name
                       ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
                       : QVariant();
        default: return {};
        }
    }

    QVariant SortKey(std::size_t row, int column) const
    {
        const quillon::SeriesCapture& capture = series_.captures[row];
        const bool reference = row == series_.reference;
        switch (column) {
        case TfrmSeries::kFile: return file_name(capture.file);
        case TfrmSeries::kFired: return capture.timeline.fired.value_or(-1);
        case TfrmSeries::kCommand: return capture.command ? int(*capture.command) : -1;
        case TfrmSeries::kMeets: return capture.meets;
        case TfrmSeries::kDiffering:
            return reference ? -1 : capture.against_reference.records_differing;
        case TfrmSeries::kDifferingMost: {
            const auto positions = quillon::most_differing_positions(capture.against_reference);
            return reference || positions.empty() ? -1 : positions.front().second;
        }
        case TfrmSeries::kReference: return reference ? 0 : 1;
        case TfrmSeries::kNotes: return notes_cell(NotesOf(capture.file));
        default: return qulonglong(row);  // the order captured
        }
    }

    const quillon::NotesRead& NotesOf(const std::string& file) const
    {
        static const quillon::NotesRead none;
        const auto read = notes_.find(file);
        return read != notes_.end() ? read->second : none;
    }

    const quillon::Series& series_;
    quillon::ValueTable values_;
    // Each capture's notes, by its file: read once for every capture, the
    // kept and the left out alike, and anew after a note is written.
    std::map<std::string, quillon::NotesRead> notes_;
};

// Each capture's value in one cell of the variation map.
class CaptureValuesModel : public QAbstractTableModel {
public:
    explicit CaptureValuesModel(const quillon::Series& series) : series_(series) {}

    void SetValues(std::vector<quillon::CaptureValue> values)
    {
        beginResetModel();
        values_ = std::move(values);
        endResetModel();
    }
    const std::vector<quillon::CaptureValue>& Values() const { return values_; }

    int rowCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : int(values_.size());
    }
    int columnCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : 3;
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation == Qt::Horizontal && role == Qt::DisplayRole) {
            switch (section) {
            case 0: return TfrmSeries::tr("Time");
            case 1: return TfrmSeries::tr("File");
            case 2: return TfrmSeries::tr("Value");
            default: break;
            }
        }
        return QAbstractTableModel::headerData(section, orientation, role);
    }

    QVariant data(const QModelIndex& index, int role) const override
    {
        if (!index.isValid()) {
            return {};
        }
        const quillon::CaptureValue& value = values_[std::size_t(index.row())];
        // A capture that differs there from the reference under the rules
        // is marked as a differing byte is in the browser.
        if (role == Qt::BackgroundRole && value.differs) {
            return mark_colours(QGuiApplication::palette()).difference;
        }
        if (role == Qt::AccessibleDescriptionRole && value.differs) {
            return TfrmSeries::tr("differs from the reference");
        }
        if (role != Qt::DisplayRole) {
            return {};
        }
        const quillon::SeriesCapture& capture = series_.captures[value.capture];
        switch (index.column()) {
        case 0: return time_text(capture.time);
        case 1: return file_name(capture.file);
        default: return text_of(value.text);
        }
    }

private:
    const quillon::Series& series_;
    std::vector<quillon::CaptureValue> values_;
};

TfrmSeries::TfrmSeries(quillon::Series series, const QString& folder, std::string settings_path,
                       QWidget* parent)
    : QMainWindow(parent), all_(std::move(series)), reference_(all_.reference),
      settings_path_(std::move(settings_path)), captures_model_(new SeriesTableModel(series_)),
      sorted_(new QSortFilterProxyModel(this)), values_model_(new CaptureValuesModel(series_)),
      folder_(folder)
{
    captures_model_->setParent(this);
    values_model_->setParent(this);
    // The whole path in the window's file path; the caption names the folder.
    setWindowFilePath(folder);
    // The fields file read last, when it still reads.
    if (const std::string fields = quillon::read_fields_file_setting(settings_path_);
        !fields.empty()) {
        try {
            fields_ = quillon::read_fields_file(fields).fields;
        } catch (const quillon::LogReadError&) {
        }
    }
    for (const quillon::SeriesCapture& capture : all_.captures) {
        captures_model_->ReadNotes(capture.file);
    }
    BuildWindow();
    rules_->SetRules(quillon::read_comparison_rules_setting(settings_path_));
    keep_if_->SetFields(fields_);
    keep_if_->SetText(QString::fromStdString(
        quillon::read_keep_if_setting(settings_path_, quillon::KeepIfWindow::Series)));
    KeepCaptures();
    RememberedValueColumns();
    Examine();
    quillon::on_signal(keep_if_, &ConditionLine::conditionChanged, this, &TfrmSeries::ApplyKeepIf);
    // The fired record's row in the middle, the cell chosen's column in
    // sight, once the map has its size.
    if (const quillon::VariationMap& map = map_->Map(); map.rows > 0) {
        map_->CenterOn({-map.first_offset, shown_cell_ ? shown_cell_->column : 0});
    }
    RetranslateUi();
}

void TfrmSeries::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange) {
        RetranslateUi();
    }
    QMainWindow::changeEvent(event);
}

void TfrmSeries::RetranslateUi()
{
    // Named by the folder as a browser is by its file.
    setWindowTitle(tr("%1 - Quillon series").arg(QDir(folder_).dirName()));
    centralWidget()->setAccessibleName(tr("Series"));
    captures_table_->setAccessibleName(tr("Captures"));
    keep_if_->SetCaption(tr("&Keep only captures where"));
    ShowKept();
    set_reference_->setText(tr("Set as Reference"));
    set_reference_->setAccessibleName(tr("Set as Reference"));
    unreadable_list_->setAccessibleName(tr("Files not read"));
    unreadable_label_->setText(all_.unreadable.size() == 1
                                   ? tr("1 file could not be read:")
                                   : tr("%1 files could not be read:").arg(all_.unreadable.size()));
    // Each file's reason in the user's language, its name as it is.
    unreadable_list_->clear();
    for (const quillon::UnreadableFile& file : all_.unreadable) {
        unreadable_list_->addItem(quillon::worded_message(
            file.reason.rfind(file.file, 0) == 0 ? file.reason : file.file + ": " + file.reason));
    }
    map_->parentWidget()->setAccessibleName(tr("Variation"));
    cell_label_->setAccessibleName(tr("Chosen cell"));
    values_table_->setAccessibleName(tr("Values of the chosen cell"));
    file_menu_->setTitle(tr("&File"));
    export_picture_->setText(tr("&Export Picture..."));
    export_table_->setText(tr("Export &Table..."));
    export_report_->setText(tr("Export &Report..."));
    close_->setText(tr("&Close"));
    view_menu_->setTitle(tr("&View"));
    fields_action_->setText(tr("F&ields..."));
    columns_action_->setText(tr("C&olumns..."));
    capture_menu_->setTitle(tr("&Capture"));
    set_reference_action_->setText(tr("Set as &Reference"));
    open_capture_->setText(tr("&Open in Browser"));
    note_action_->setText(tr("&Note..."));
    captures_model_->Refresh();
    values_model_->headerDataChanged(Qt::Horizontal, 0, values_model_->columnCount() - 1);
    if (shown_cell_) {
        ShowCell(shown_cell_->row, shown_cell_->column);
    } else {
        ShowNoCell();
    }
}

void TfrmSeries::ShowNoCell()
{
    shown_cell_.reset();
    cell_label_->setText(tr("Choose a cell of the map to see each capture's value there."));
    values_model_->SetValues({});
    plot_->SetYAxis({});
    plot_->SetPlot({}, tr("capture time"), tr("value"));
}

TfrmSeries::~TfrmSeries() = default;

void TfrmSeries::BuildWindow()
{
    splitter_ = new GripSplitter(Qt::Vertical, this);
    setCentralWidget(splitter_);

    // The captures, the reference's button and the files not read.
    top_ = new QWidget(splitter_);
    auto* top_layout = new QVBoxLayout(top_);
    captures_table_ = new QTableView(top_);
    sorted_->setSourceModel(captures_model_);
    sorted_->setSortRole(Qt::UserRole);
    captures_table_->setModel(sorted_);
    captures_table_->setSortingEnabled(true);
    captures_table_->sortByColumn(kTime, Qt::AscendingOrder);
    captures_table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    captures_table_->setSelectionMode(QAbstractItemView::SingleSelection);
    captures_table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    captures_table_->setWordWrap(false);
    captures_table_->setTextElideMode(Qt::ElideRight);
    captures_table_->verticalHeader()->hide();
    // "Differing most" takes the spare width, elided when there is none.
    captures_table_->horizontalHeader()->setStretchLastSection(false);
    top_layout->addWidget(captures_table_);
    auto* buttons = new QHBoxLayout;
    set_reference_ = new QPushButton(top_);
    buttons->addWidget(set_reference_);
    buttons->addStretch();
    top_layout->addLayout(buttons);
    unreadable_label_ = new QLabel(top_);
    unreadable_list_ = new QListWidget(top_);
    unreadable_list_->setObjectName("lbxUnreadable");
    unreadable_label_->setBuddy(unreadable_list_);
    unreadable_label_->setVisible(!all_.unreadable.empty());
    unreadable_list_->setVisible(!all_.unreadable.empty());
    unreadable_list_->setMaximumHeight(5 * fontMetrics().height());
    top_layout->addWidget(unreadable_label_);
    top_layout->addWidget(unreadable_list_);
    // Above the table: the condition, and what it kept.
    keep_if_ = new ConditionLine(QString(), top_);
    keep_if_->setObjectName("cndKeepIf");
    kept_label_ = new QLabel(top_);
    kept_label_->setObjectName("lblKept");
    kept_label_->setWordWrap(true);
    kept_label_->hide();
    top_layout->insertWidget(0, keep_if_);
    top_layout->insertWidget(1, kept_label_);

    // The rules over the map, and beside them the likely causes over the
    // values of the cell chosen and their plot.
    auto* bottom = new GripSplitter(Qt::Horizontal, splitter_);
    auto* variation = new QWidget(bottom);
    auto* variation_layout = new QVBoxLayout(variation);
    variation_layout->setContentsMargins(0, 0, 0, 0);
    rules_ = new ComparisonRulesBox(variation);
    variation_layout->addWidget(rules_);
    map_ = new VariationMapView(variation);
    variation_layout->addWidget(map_, 1);
    auto* side = new GripSplitter(Qt::Vertical, bottom);
    causes_ = new CausesPanel(side);
    auto* values = new QWidget(side);
    auto* values_layout = new QVBoxLayout(values);
    cell_label_ = new QLabel(values);
    cell_label_->setWordWrap(true);
    values_layout->addWidget(cell_label_);
    values_table_ = new QTableView(values);
    values_table_->setModel(values_model_);
    values_table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    values_table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    values_table_->verticalHeader()->hide();
    values_table_->horizontalHeader()->setStretchLastSection(true);
    values_layout->addWidget(values_table_);
    plot_ = new PlotView(values);
    plot_->SetXIsTime(true);
    plot_->setMinimumHeight(150);
    values_layout->addWidget(plot_);

    // Menus and the table's context menu.
    // Their texts come with the window's others (RetranslateUi).
    file_menu_ = menuBar()->addMenu(QString());
    export_picture_ = file_menu_->addAction(QString());
    export_table_ = file_menu_->addAction(QString());
    export_report_ = file_menu_->addAction(QString());
    file_menu_->addSeparator();
    close_ = file_menu_->addAction(QString());
    close_->setShortcut(QKeySequence::Close);
    view_menu_ = menuBar()->addMenu(QString());
    fields_action_ = view_menu_->addAction(QString());
    columns_action_ = view_menu_->addAction(QString());
    capture_menu_ = menuBar()->addMenu(QString());
    set_reference_action_ = capture_menu_->addAction(QString());
    open_capture_ = capture_menu_->addAction(QString());
    note_action_ = capture_menu_->addAction(QString());
    note_action_->setShortcut(Qt::CTRL | Qt::Key_M);
    captures_table_->setContextMenuPolicy(Qt::ActionsContextMenu);
    captures_table_->addActions({set_reference_action_, open_capture_, note_action_});
    quillon::open_menu_bar_with_f10(*this);
    quillon::keep_mnemonics_out_of_fields();

    using quillon::on_signal;
    on_signal(set_reference_, &QAbstractButton::clicked, this, &TfrmSeries::btnSetReferenceClick);
    on_signal(set_reference_action_, &QAction::triggered, this, &TfrmSeries::btnSetReferenceClick);
    on_signal(export_picture_, &QAction::triggered, this, &TfrmSeries::mnuExportPictureClick);
    on_signal(export_table_, &QAction::triggered, this, &TfrmSeries::mnuExportTableClick);
    on_signal(export_report_, &QAction::triggered, this, &TfrmSeries::mnuExportReportClick);
    on_signal(fields_action_, &QAction::triggered, this, &TfrmSeries::mnuFieldsClick);
    on_signal(columns_action_, &QAction::triggered, this, &TfrmSeries::mnuColumnsClick);
    on_signal(note_action_, &QAction::triggered, this, &TfrmSeries::mnuNoteClick);
    on_signal(rules_, &ComparisonRulesBox::rulesChanged, this, &TfrmSeries::ApplyRules);
    connect(close_, &QAction::triggered, this, &QWidget::close);
    connect(open_capture_, &QAction::triggered, this, [this] {
        quillon::run_guarded([this] {
            if (const auto capture = SelectedCapture()) {
                OpenCapture(*capture);
            }
        });
    });
    connect(captures_table_, &QAbstractItemView::doubleClicked, this,
            [this](const QModelIndex& index) {
                quillon::run_guarded([this, row = index.row()] {
                    if (const auto capture = CaptureOnRow(row)) {
                        OpenCapture(*capture);
                    }
                });
            });
    connect(map_, &VariationMapView::cellChosen, this, [this](int row, int column) {
        quillon::run_guarded([this, row, column] { ShowCell(row, column); });
    });
    connect(causes_, &CausesPanel::causeChosen, this, [this](const QString& condition) {
        quillon::run_guarded([this, &condition] { ShowCause(condition); });
    });
    connect(causes_, &CausesPanel::keepAsked, this, [this](const QString& condition) {
        quillon::run_guarded([this, &condition] { KeepCause(condition); });
    });
    // The map wider than the values beside it; the table keeps its height
    // as the window grows, the map takes the rest.
    bottom->setStretchFactor(0, 3);
    bottom->setStretchFactor(1, 2);
    side->setStretchFactor(0, 1);
    side->setStretchFactor(1, 2);
    splitter_->setStretchFactor(0, 0);
    splitter_->setStretchFactor(1, 1);
    captures_table_->resizeColumnsToContents();
    // A long note elided, whole in its tooltip.
    captures_table_->setColumnWidth(kNotes, std::min(captures_table_->columnWidth(kNotes),
                                                     40 * fontMetrics().averageCharWidth()));
    captures_table_->horizontalHeader()->setSectionResizeMode(kDifferingMost, QHeaderView::Stretch);
    const QRect screen = this->screen()->availableGeometry();
    resize(std::min(1280, screen.width()), std::min(900, screen.height()));
    SizeSplitter();
}

void TfrmSeries::SizeSplitter()
{
    constexpr int kRowsInSight = 8;
    const QTableView& table = *captures_table_;
    const int table_height = table.horizontalHeader()->sizeHint().height() +
                             kRowsInSight * table.verticalHeader()->defaultSectionSize() +
                             2 * table.frameWidth() +
                             table.horizontalScrollBar()->sizeHint().height();
    const int top = top_->layout()->sizeHint().height() - table.sizeHint().height() + table_height;
    const int whole = std::max(splitter_->height(), height());
    splitter_->setSizes({top, std::max(whole - top, 1)});
}

std::optional<std::size_t> TfrmSeries::CaptureOnRow(int row) const
{
    const QModelIndex index = sorted_->mapToSource(sorted_->index(row, 0));
    if (!index.isValid()) {
        return std::nullopt;
    }
    return std::size_t(index.row());
}

std::optional<std::size_t> TfrmSeries::SelectedCapture() const
{
    const QModelIndex current = captures_table_->currentIndex();
    return current.isValid() ? CaptureOnRow(current.row()) : std::nullopt;
}

void TfrmSeries::btnSetReferenceClick()
{
    if (const auto capture = SelectedCapture()) {
        SetReference(*capture);
    }
}

void TfrmSeries::SetReference(std::size_t capture)
{
    if (capture >= series_.captures.size()) {
        return;
    }
    reference_ = kept_[capture];
    series_.reference = capture;
    if (kept_by_condition_) {
        kept_by_condition_->reference = capture;
        kept_by_condition_->reference_left_out = false;
    }
    Compare();
    ShowKept();
}

void TfrmSeries::Compare()
{
    if (series_.reference < series_.captures.size()) {
        quillon::compare_with_reference(series_, series_.reference,
                                        {rules_->IgnoreRules(), rules_->OnlyRules()}, fields_);
    }
    Redraw();
}

void TfrmSeries::Examine()
{
    Compare();
    quillon::CauseSearch search;
    search.rules =
        quillon::with_fields_left_out({rules_->IgnoreRules(), rules_->OnlyRules()}, fields_);
    // The captures kept as read: their comparisons are not needed.
    quillon::Series kept;
    kept.captures.reserve(kept_.size());
    for (const std::size_t capture : kept_) {
        kept.captures.push_back(all_.captures[capture]);
    }
    causes_->Find(std::move(kept), fields_, std::move(search));
}

std::optional<VariationMapView::Cell> TfrmSeries::CauseCell(const QString& condition) const
{
    const quillon::ConditionRead read = quillon::read_condition(condition.toStdString(), fields_);
    if (!read.condition) {
        return std::nullopt;
    }
    // A cause compares an operand at a place T-k with a value; a pair's
    // first half names the cell.
    const auto compared =
        std::ranges::find_if(read.condition->nodes, [](const quillon::ConditionNode& node) {
            using Kind = quillon::ConditionNode::Kind;
            return (node.kind == Kind::Compare || node.kind == Kind::InRange) &&
                   node.left.state == quillon::RecordState::None && node.left.place &&
                   node.left.place->from_fired;
        });
    if (compared == read.condition->nodes.end()) {
        return std::nullopt;
    }
    const auto read_column = quillon::operand_column(compared->left.operand, fields_);
    if (!read_column) {
        return std::nullopt;
    }
    const quillon::VariationMap& map = map_->Map();
    const auto column =
        std::ranges::find(map.columns, read_column->key, &quillon::RecordColumn::key);
    const int row = compared->left.place->offset - map.first_offset;
    if (column == map.columns.end() || row < 0 || row >= map.rows) {
        return std::nullopt;
    }
    return VariationMapView::Cell{row, int(column - map.columns.begin())};
}

void TfrmSeries::ShowCause(const QString& condition)
{
    if (const auto cell = CauseCell(condition)) {
        map_->SetCurrentCell(*cell);
    }
}

void TfrmSeries::KeepCause(const QString& condition)
{
    keep_if_->SetText(condition);
}

bool TfrmSeries::KeepCaptures()
{
    const std::optional<quillon::Condition>& condition = keep_if_->Condition();
    std::vector<std::size_t> kept;
    for (std::size_t capture = 0; capture < all_.captures.size(); ++capture) {
        if (!condition || quillon::capture_meets(*condition, all_.captures[capture], fields_)) {
            kept.push_back(capture);
        }
    }
    // Another condition that keeps the same captures changes nothing shown.
    if (kept == kept_ && condition.has_value() == kept_by_condition_.has_value()) {
        return false;
    }
    // The values of the cell shown name captures by their place: gone first.
    values_model_->SetValues({});
    captures_model_->ChangeCaptures(
        [&] {
            series_ = all_;
            if (condition) {
                kept_by_condition_ =
                    quillon::keep_captures(series_, *condition, fields_, reference_);
            } else {
                kept_by_condition_.reset();
                series_.reference = reference_;
            }
        },
        fields_);
    kept_ = std::move(kept);
    return true;
}

void TfrmSeries::ApplyKeepIf()
{
    if (KeepCaptures()) {
        Examine();
    }
    ShowKept();
    try {
        quillon::write_keep_if_setting(settings_path_, quillon::KeepIfWindow::Series,
                                       keep_if_->Text().toStdString());
    } catch (const std::exception& error) {
        // Applied all the same; said once, not at each key typed.
        if (!keep_if_unsaved_shown_) {
            keep_if_unsaved_shown_ = true;
            quillon::show_error(error.what());
        }
    }
}

QString TfrmSeries::KeptText() const
{
    if (!kept_by_condition_) {
        return {};
    }
    QString counts = tr("%1 of %2 captures kept; %3 left out")
                         .arg(series_.captures.size())
                         .arg(all_.captures.size())
                         .arg(kept_by_condition_->left_out.size());
    if (!kept_by_condition_->reference_left_out) {
        return counts;
    }
    return tr("%1; the reference %2 was left out: the first capture kept, %3, is the reference",
              "the captures kept and left out, then the reference that changed")
        .arg(counts, file_name(all_.captures[reference_].file),
             file_name(series_.captures[series_.reference].file));
}

void TfrmSeries::ShowKept()
{
    kept_label_->setText(KeptText());
    kept_label_->setVisible(kept_by_condition_.has_value());
}

void TfrmSeries::ApplyRules()
{
    Examine();
    try {
        quillon::write_comparison_rules_setting(settings_path_, rules_->Rules());
    } catch (const std::exception& error) {
        // Applied all the same; only the next window will not know them.
        quillon::show_error(error.what());
    }
}

void TfrmSeries::Redraw()
{
    captures_model_->Refresh();
    sorted_->invalidate();
    // The cell chosen before, found again by its offset and its column's
    // key (the fields may have changed), else where most captures differ:
    // with its values, as a browser opens at the fired record.
    std::optional<std::pair<int, std::string>> chosen;
    if (const quillon::VariationMap& before = map_->Map();
        shown_cell_ && shown_cell_->row < before.rows &&
        std::size_t(shown_cell_->column) < before.columns.size()) {
        chosen.emplace(before.offset_of(shown_cell_->row),
                       before.columns[std::size_t(shown_cell_->column)].key);
    }
    map_->SetMap(quillon::variation_map(series_, fields_));
    const quillon::VariationMap& map = map_->Map();
    std::optional<quillon::MapCell> shown;
    if (chosen) {
        const auto column = std::find_if(map.columns.begin(), map.columns.end(),
                                         [&](const quillon::RecordColumn& candidate) {
                                             return candidate.key == chosen->second;
                                         });
        const int row = chosen->first - map.first_offset;
        if (column != map.columns.end() && row >= 0 && row < map.rows) {
            shown = quillon::MapCell{row, int(column - map.columns.begin())};
        }
    }
    if (!shown) {
        shown = map.most_differing_cell();
    }
    if (shown) {
        map_->SetCurrentCell(*shown);
    } else {
        ShowNoCell();
    }
}

void TfrmSeries::ShowCell(int row, int column)
{
    const quillon::VariationMap& map = map_->Map();
    if (row < 0 || row >= map.rows || column < 0 || column >= map_->Columns()) {
        return;
    }
    const int offset = map.offset_of(row);
    const quillon::RecordColumn& shown = map.columns[std::size_t(column)];
    auto values = quillon::values_at(series_, offset, shown, fields_);
    // A byte's label; a field's name with its unit.
    QString y_title = column_label(shown);
    if (shown.kind == quillon::ColumnKind::Field) {
        const std::string& unit = fields_[std::size_t(shown.index)].unit;
        y_title += unit.empty() ? QString() : " (" + text_of(unit) + ")";
    }
    std::vector<PlotPoint> points;
    std::vector<double> plotted;
    for (const quillon::CaptureValue& value : values) {
        const quillon::SeriesCapture& capture = series_.captures[value.capture];
        points.push_back(
            {double(capture.time), value.value,
             time_text(capture.time) + " " + file_name(capture.file) + ": " + text_of(value.text)});
        plotted.push_back(value.value);
    }
    std::stable_sort(points.begin(), points.end(),
                     [](const PlotPoint& a, const PlotPoint& b) { return a.x < b.x; });
    shown_cell_ = VariationMapView::Cell{row, column};
    cell_label_->setText(map_->CellText({row, column}));
    values_model_->SetValues(std::move(values));
    values_table_->resizeColumnsToContents();
    plot_->SetYAxis(axis_of(quillon::plot_scale(shown, fields_, plotted)));
    plot_->SetPlot(std::move(points), tr("capture time"),
                   tr("%1 at %2", "a value at an offset from the fired record")
                       .arg(y_title, text_of(quillon::offset_text(offset))),
                   double(series_.captures[series_.reference].time));
}

TfrmLogBrowser* TfrmSeries::OpenCapture(std::size_t capture)
{
    if (capture >= series_.captures.size()) {
        return nullptr;
    }
    const quillon::SeriesCapture& opened = series_.captures[capture];
    auto* browser =
        new TfrmLogBrowser(QFile::decodeName(opened.file.c_str()), opened.log, settings_path_);
    browser->SetLogOpener(log_opener_);
    // A note written there shows here.
    connect(browser, &TfrmLogBrowser::notesChanged, this,
            [this, file = opened.file] { captures_model_->ReadNotes(file); });
    browser->setAttribute(Qt::WA_DeleteOnClose);
    browser->show();
    if (capture != series_.reference) {
        // The reference as read already: its name need not be UTF-8.
        const quillon::SeriesCapture& reference = series_.captures[series_.reference];
        browser->CompareWith(QFile::decodeName(reference.file.c_str()), reference.log);
    }
    return browser;
}

void TfrmSeries::mnuNoteClick()
{
    const auto capture = SelectedCapture();
    if (!capture) {
        return;
    }
    const quillon::SeriesCapture& noted = series_.captures[*capture];
    if (ask_and_add_note(noted.file, noted.timeline, std::nullopt,
                         tr("Note on %1").arg(file_name(noted.file)), this)) {
        captures_model_->ReadNotes(noted.file);
    }
}

void TfrmSeries::mnuFieldsClick()
{
    const QStringList files = quillon::run_open_dialog(tr("Fields (*.json)"), folder_);
    if (!files.isEmpty()) {
        ShowFields(files.front());
    }
}

bool TfrmSeries::ShowFields(const QString& path)
{
    const std::string file = local_name(path);
    try {
        fields_ = quillon::read_fields_file(file).fields;
    } catch (const quillon::LogReadError& error) {
        quillon::show_error(error.what());
        return false;
    }
    // The condition's names looked up in them (it may keep others now),
    // compared anew (a field may be left out of comparisons), the value
    // columns read under the new fields, the map and the cell redrawn.
    {
        const QSignalBlocker quiet(keep_if_);
        keep_if_->SetFields(fields_);
    }
    KeepCaptures();
    captures_model_->SetValueColumns(captures_model_->ValueColumns(), fields_);
    Examine();
    ShowKept();
    try {
        quillon::write_fields_file_setting(settings_path_, file);
    } catch (const std::exception& error) {
        // Shown all the same; only the next window will not know them.
        quillon::show_error(error.what());
    }
    return true;
}

void TfrmSeries::SetValueColumns(std::vector<quillon::ValueColumn> columns)
{
    captures_model_->SetValueColumns(std::move(columns), fields_);
    for (int column = kColumns; column < captures_model_->columnCount(); ++column) {
        captures_table_->resizeColumnToContents(column);
    }
}

const std::vector<quillon::ValueColumn>& TfrmSeries::ValueColumns() const
{
    return captures_model_->ValueColumns();
}

// The columns chosen last, those that still read against the fields.
void TfrmSeries::RememberedValueColumns()
{
    std::vector<quillon::ValueColumn> columns;
    for (const std::string& text : quillon::read_value_columns_setting(settings_path_)) {
        auto read = quillon::read_value_column(text);
        if (read.column && quillon::operand_column(read.column->operand, fields_)) {
            columns.push_back(std::move(*read.column));
        }
    }
    SetValueColumns(std::move(columns));
}

void TfrmSeries::mnuColumnsClick()
{
    ValueColumnsDialog dialog(fields_, ValueColumns(), this);
    if (quillon::run_modal(dialog) != QDialog::Accepted) {
        return;
    }
    SetValueColumns(dialog.Columns());
    std::vector<std::string> chosen;
    for (const quillon::ValueColumn& column : ValueColumns()) {
        chosen.push_back(column.key);
    }
    try {
        quillon::write_value_columns_setting(settings_path_, chosen);
    } catch (const std::exception& error) {
        // Shown all the same; only the next window will not know them.
        quillon::show_error(error.what());
    }
}

QStringList TfrmSeries::PictureCaption() const
{
    QStringList rules;
    for (const quillon::ComparisonRule& rule : rules_->Rules()) {
        rules << rule_caption(rule);
    }
    const QString reference = series_.reference < series_.captures.size()
                                  ? file_name(series_.captures[series_.reference].file)
                                  : QString();
    QStringList caption{
        tr("Folder: %1").arg(QDir::toNativeSeparators(folder_)), tr("Reference: %1").arg(reference),
        rules.isEmpty() ? tr("Rules: none")
                        : tr("Rules: %1").arg(rules.join(tr(", ", "between rules")))};
    if (kept_by_condition_) {
        caption << tr("Kept where %1: %2").arg(keep_if_->Text().trimmed(), KeptText());
    }
    return caption;
}

void TfrmSeries::mnuExportPictureClick()
{
    const auto chosen = quillon::run_save_dialog(
        {QDir(folder_).filePath("variation-map.png"), tr("PNG image (*.png)"), "png"});
    if (!chosen) {
        return;
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    map_->Picture(PictureCaption()).save(&buffer, "PNG");
    quillon::write_file_atomically(local_name(*chosen),
                                   std::string_view(bytes.constData(), std::size_t(bytes.size())));
}

void TfrmSeries::mnuExportTableClick()
{
    const auto chosen =
        quillon::run_save_dialog({QDir(folder_).filePath("series.csv"), tr("CSV (*.csv)"), "csv"});
    if (!chosen) {
        return;
    }
    quillon::write_file_atomically(local_name(*chosen),
                                   quillon::series_csv(series_, captures_model_->Values()));
}

void TfrmSeries::mnuExportReportClick()
{
    const auto chosen = quillon::run_save_dialog(
        {QDir(folder_).filePath("report.html"), tr("HTML document (*.html)"), "html"});
    if (!chosen) {
        return;
    }
    quillon::write_file_atomically(local_name(*chosen), ReportHtml());
}

std::string TfrmSeries::ReportHtml() const
{
    const quillon::ValueTable& values = captures_model_->Values();
    std::vector<quillon::RecordColumn> reads;
    for (const quillon::ValueColumn& column : values.columns) {
        if (auto read = quillon::operand_column(column.operand, fields_)) {
            reads.push_back(std::move(*read));
        }
    }
    quillon::SeriesReport report;
    report.named = {QFile::encodeName(folder_).toStdString()};
    report.series = &series_;
    report.fields = fields_;
    if (std::string file = quillon::read_fields_file_setting(settings_path_);
        !file.empty() && !fields_.empty()) {
        report.fields_file = std::move(file);
    }
    report.kept = kept_by_condition_;
    if (kept_by_condition_) {
        report.keep_if = keep_if_->Text().trimmed().toStdString();
    }
    report.map = &map_->Map();
    report.values = &values;
    report.value_reads = reads;
    // The causes as the panel shows them; none while they are sought.
    if (!causes_->Searching()) {
        report.causes = causes_->Finding();
    }
    report.language = quillon::words_language();
    return quillon::series_report_html(report);
}

TfrmSeries* open_series(const std::vector<std::string>& named, const std::string& settings_path)
{
    if (named.empty()) {
        return nullptr;
    }
    quillon::Series series = quillon::read_series(quillon::series_files(named));
    if (series.captures.empty()) {
        std::string reasons;
        for (const quillon::UnreadableFile& file : series.unreadable) {
            reasons += file.reason + "\n";
        }
        quillon::show_error(
            TfrmSeries::tr("None of the files could be read as a log.").toStdString(), reasons);
        return nullptr;
    }
    const QFileInfo first(QFile::decodeName(QByteArray::fromStdString(named.front())));
    const QString folder = first.isDir() ? first.absoluteFilePath() : first.absolutePath();
    auto* window = new TfrmSeries(std::move(series), folder, settings_path);
    quillon::remember_log_opened(folder);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
    return window;
}
