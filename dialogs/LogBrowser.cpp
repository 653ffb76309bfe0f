#include "LogBrowser.h"

#include "AtomicFile.h"
#include "ColumnWords.h"
#include "ConditionLine.h"
#include "Conditions.h"
#include "FileDrops.h"
#include "GuardedHandlers.h"
#include "Keyboard.h"
#include "LogExport.h"
#include "LogTableModel.h"
#include "LogText.h"
#include "LogTimeline.h"
#include "Messages.h"
#include "NoteDialog.h"
#include "Plot.h"
#include "PlotView.h"
#include "PlotWindow.h"
#include "Seams.h"
#include "Settings.h"
#include "ui_LogBrowser.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QDir>
#include <QDockWidget>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QShowEvent>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <functional>
#include <set>

namespace {

using quillon::Direction;

QString text_of(const std::string& text)
{
    return QString::fromStdString(text);
}

// The file's own stop condition line as it is written ("None" included);
// what a log view file lacks, in words.
QString stop_condition_caption(const quillon::LogFile& log)
{
    return TfrmLogBrowser::tr("Stop Condition: %1")
        .arg(log.stop_condition_recorded() ? text_of(quillon::stop_condition_text(log))
                                           : TfrmLogBrowser::tr("not recorded"));
}

QString date_time_caption(const quillon::LogFile& log)
{
    return TfrmLogBrowser::tr("Date and Time: %1")
        .arg(QString::fromLocal8Bit(quillon::with_control_characters_escaped(log.date_time)));
}

// What the file's stop condition finds in its records.
QString stop_condition_caption_summary(const quillon::TimelineSummary& summary)
{
    using Answer = quillon::StopConditionMatch::Answer;
    const QString condition = text_of(summary.condition);
    switch (summary.stop_condition) {
    case Answer::NotRecorded:
        return TfrmLogBrowser::tr("A log view file does not record the stop condition.");
    case Answer::NoStopCondition: return TfrmLogBrowser::tr("No stop condition in this log.");
    case Answer::BeyondLoggedBytes:
        return TfrmLogBrowser::tr(
                   "The stop condition %1 tests a byte beyond the 16 logged bytes of each "
                   "direction.")
            .arg(condition);
    case Answer::Checked: break;
    }
    return summary.records_meeting == 1
               ? TfrmLogBrowser::tr("1 record meets the stop condition %1").arg(condition)
               : TfrmLogBrowser::tr("%1 records meet the stop condition %2")
                     .arg(QString::number(summary.records_meeting), condition);
}

// The line under the log: where its trigger fired, what its stop condition
// finds, and how many records were never written.
QString timeline_caption(const quillon::TimelineSummary& summary)
{
    using Trigger = quillon::TimelineSummary::Trigger;
    const QString never =
        summary.never_written == 1
            ? TfrmLogBrowser::tr("1 record never written")
            : TfrmLogBrowser::tr("%1 records never written").arg(summary.never_written);
    const QString finding = stop_condition_caption_summary(summary);
    if (summary.trigger == Trigger::NotTold) {
        return summary.never_written > 0
                   ? TfrmLogBrowser::tr("%1 %2.", "the summary, then the records never written")
                         .arg(finding, never)
                   : finding;
    }
    QStringList parts;
    parts << (summary.trigger == Trigger::Fired
                  ? TfrmLogBrowser::tr("fired at record %1, count %2")
                        .arg(summary.fired)
                        .arg(summary.count)
                  : TfrmLogBrowser::tr(
                        "no fired record: the log was stopped before its trigger fired"));
    parts << finding;
    if (summary.never_written > 0) {
        parts << never;
    }
    return parts.join(TfrmLogBrowser::tr("; ", "between the parts of a summary"));
}

// Runs act each time a widget has been resized. Made a child of the widget.
class OnResize : public QObject {
public:
    OnResize(QWidget& widget, std::function<void()> act) : QObject(&widget), act_(std::move(act))
    {
        widget.installEventFilter(this);
    }

    bool eventFilter(QObject* /*watched*/, QEvent* event) override
    {
        if (event->type() == QEvent::Resize) {
            act_();
        }
        return false;
    }

private:
    std::function<void()> act_;
};

}  // namespace

// Keeps a label of one line to the width that its layout gives it, not its
// text's (a date and time line may be 700 KB long): the text elided at the
// right, the whole of it in the tooltip. Made a child of the label.
class ElidedCaption : public QObject {
public:
    ElidedCaption(QLabel& label, QString text) : QObject(&label), label_(label)
    {
        label.setSizePolicy(QSizePolicy::Ignored, label.sizePolicy().verticalPolicy());
        new OnResize(label, [this] { Elide(); });
        SetText(std::move(text));
    }

    void SetText(QString text)
    {
        text_ = std::move(text);
        label_.setToolTip(text_);
        Elide();
    }

private:
    void Elide()
    {
        // More characters than any screen's width shows: measuring all of a
        // long text at each resize would be slow.
        constexpr qsizetype kMeasured = 4096;
        label_.setText(
            label_.fontMetrics().elidedText(text_.left(kMeasured), Qt::ElideRight, label_.width()));
    }

    QLabel& label_;
    QString text_;
};

namespace {

// "3 records meet Send[2] & 0x0F = 0x01", or that none does.
QString find_caption(std::size_t found, const QString& condition)
{
    return found == 0 ? TfrmLogBrowser::tr("No record meets %1").arg(condition)
           : found == 1
               ? TfrmLogBrowser::tr("1 record meets %1").arg(condition)
               : TfrmLogBrowser::tr("%1 records meet %2").arg(QString::number(found), condition);
}

// How the records were paired: "fired record (A 5, B 7)", "record number
// (A has no fired record)".
QString pairing_caption(const quillon::ComparisonReport& report)
{
    using Pairing = quillon::ComparisonReport::Pairing;
    const auto by_number = [](const QString& why) {
        return TfrmLogBrowser::tr("record number (%1)").arg(why);
    };
    switch (report.pairing) {
    case Pairing::FiredRecords:
        return TfrmLogBrowser::tr("fired record (A %1, B %2)")
            .arg(report.a_fired)
            .arg(report.b_fired);
    case Pairing::NumberAsAsked: return by_number(TfrmLogBrowser::tr("as asked"));
    case Pairing::NumberNoneFiredInA: return by_number(TfrmLogBrowser::tr("A has no fired record"));
    case Pairing::NumberNoneFiredInB: return by_number(TfrmLogBrowser::tr("B has no fired record"));
    case Pairing::NumberNoneFiredInEither: break;
    }
    return by_number(TfrmLogBrowser::tr("neither log has a fired record"));
}

// "Aligned by: fired record (A 5, B 7); records only in A: 2, only in B: 2.",
// as quillon-cli diff says it, a sentence of its own beside the summary. The
// browser always asks for the fired records.
QString alignment_caption(const quillon::ComparisonReport& report)
{
    return TfrmLogBrowser::tr("Aligned by: %1; records only in A: %2, only in B: %3.")
        .arg(pairing_caption(report))
        .arg(report.only_in_a)
        .arg(report.only_in_b);
}

// "2 of 6 records differ; the stop conditions differ.", or "No differences."
QString comparison_summary(const quillon::LogComparison& comparison)
{
    if (comparison.equal()) {
        return TfrmLogBrowser::tr("No differences.");
    }
    QStringList parts;
    if (!comparison.records.empty()) {
        const auto differing = std::size_t(comparison.records_differing);
        parts << (differing == 1 ? TfrmLogBrowser::tr("%1 of %2 records differs")
                                 : TfrmLogBrowser::tr("%1 of %2 records differ"))
                     .arg(differing)
                     .arg(comparison.records_compared);
    }
    if (comparison.stop_conditions_differ) {
        parts << TfrmLogBrowser::tr("the stop conditions differ");
    }
    return TfrmLogBrowser::tr("%1.", "a sentence of parts")
        .arg(parts.join(TfrmLogBrowser::tr("; ", "between the parts of a summary")));
}

// A comparison rule as the list shows it: "Ignore Send[5] & 0x01".
QString rule_caption(bool only, const quillon::MaskedByte& bits)
{
    const QString masked = text_of(quillon::masked_byte_text(bits.direction, bits.byte, bits.mask));
    return only ? TfrmLogBrowser::tr("Only %1").arg(masked)
                : TfrmLogBrowser::tr("Ignore %1").arg(masked);
}

Direction direction_of(bool send)
{
    return send ? Direction::Send : Direction::Recv;
}

}  // namespace

// Scrolls the two tables of a comparison together, B's shifted from A's by
// the rows between paired records, so that each pair stays side by side,
// and sideways alike, their columns being the same. The tables scroll by
// whole rows, so a vertical scroll bar's value is a row.
class PairedScrolling : public QObject {
public:
    PairedScrolling(QTableView& a, QTableView& b)
        : QObject(&a), a_(*a.verticalScrollBar()), b_(*b.verticalScrollBar())
    {
        connect(&a_, &QScrollBar::valueChanged, this,
                [this](int row) { Follow(b_, row + shift_); });
        connect(&b_, &QScrollBar::valueChanged, this,
                [this](int row) { Follow(a_, row - shift_); });
        QScrollBar& a_across = *a.horizontalScrollBar();
        QScrollBar& b_across = *b.horizontalScrollBar();
        connect(&a_across, &QScrollBar::valueChanged, this,
                [this, &b_across](int value) { Follow(b_across, value); });
        connect(&b_across, &QScrollBar::valueChanged, this,
                [this, &a_across](int value) { Follow(a_across, value); });
    }

    // B's record number less A's in each pair; B scrolled to match A.
    void SetShift(int shift)
    {
        shift_ = shift;
        Follow(b_, a_.value() + shift_);
    }

private:
    // One way only: a bar held at its end does not push the other back.
    void Follow(QScrollBar& other, int row)
    {
        if (!following_) {
            following_ = true;
            other.setValue(row);
            following_ = false;
        }
    }

    QScrollBar& a_;
    QScrollBar& b_;
    int shift_ = 0;
    bool following_ = false;
};

// Sizes each column to its contents when it first comes into view after
// the model is set or reset, the first columns always: a table of
// thousands of field columns is never measured whole (that took seconds),
// one of a few dozen is measured as before. Made a child of the table.
class ColumnsInView : public QObject {
public:
    ColumnsInView(QTableView& table, int always) : QObject(&table), table_(table), always_(always)
    {
        connect(table.horizontalScrollBar(), &QScrollBar::valueChanged, this,
                &ColumnsInView::SizeInView);
        new OnResize(*table.viewport(), [this] { SizeInView(); });
    }

    // The table's model, as the table is set up.
    void Follow()
    {
        connect(table_.model(), &QAbstractItemModel::modelReset, this, &ColumnsInView::Reset,
                Qt::UniqueConnection);
        Reset();
    }

private:
    void Reset()
    {
        sized_.assign(std::size_t(table_.model()->columnCount()), false);
        for (int column = 0; column < std::min(always_, int(sized_.size())); ++column) {
            Size(column);
        }
        SizeInView();
    }

    // From the first column in view to the first beyond its right edge,
    // which moves as the columns before it are sized.
    void SizeInView()
    {
        const int width = table_.viewport()->width();
        for (int column = std::max(0, table_.columnAt(0)); column < int(sized_.size()); ++column) {
            Size(column);
            if (table_.columnViewportPosition(column) >= width) {
                break;
            }
        }
    }

    void Size(int column)
    {
        if (!sized_[std::size_t(column)]) {
            sized_[std::size_t(column)] = true;
            table_.resizeColumnToContents(column);
        }
    }

    QTableView& table_;
    int always_;
    std::vector<bool> sized_;
};

// Keeps a table's first columns in sight when it scrolls sideways: a second
// view of the same model and selection that shows only those columns, laid
// over the table's left edge and scrolled up and down with it.
class FrozenColumns : public QObject {
public:
    FrozenColumns(QTableView& table, int columns)
        : QObject(&table), table_(table), view_(*new QTableView(&table)), columns_(columns)
    {
        Retranslate();
        view_.setFocusPolicy(Qt::NoFocus);
        view_.setFrameShape(QFrame::NoFrame);
        view_.verticalHeader()->hide();
        view_.horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
        view_.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        view_.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        view_.setSelectionBehavior(table.selectionBehavior());
        view_.setSelectionMode(table.selectionMode());
        view_.setEditTriggers(table.editTriggers());
        view_.setWordWrap(table.wordWrap());
        view_.hide();
        table.viewport()->stackUnder(&view_);
        QScrollBar* own = table.verticalScrollBar();
        QScrollBar* frozen = view_.verticalScrollBar();
        connect(own, &QScrollBar::valueChanged, frozen, &QScrollBar::setValue);
        connect(frozen, &QScrollBar::valueChanged, own, &QScrollBar::setValue);
        connect(table.horizontalHeader(), &QHeaderView::sectionResized, this,
                [this](int column, int /*old_width*/, int width) {
                    if (column < columns_) {
                        view_.setColumnWidth(column, width);
                        Place();
                    }
                });
        // The viewport is resized after the table has laid out its headers.
        new OnResize(*table.viewport(), [this] { Place(); });
    }

    // The overlay named after its table, as the table is now named.
    void Retranslate()
    {
        view_.setAccessibleName(
            TfrmLogBrowser::tr("%1 (fixed columns)").arg(table_.accessibleName()));
    }

    // Shows the table's model (none: nothing), as the table is set up.
    void Follow()
    {
        QAbstractItemModel* model = table_.model();
        view_.setModel(model);
        view_.setVisible(model != nullptr);
        if (model == nullptr) {
            return;
        }
        // The selection model setModel made gives way to the table's.
        QItemSelectionModel* made = view_.selectionModel();
        view_.setSelectionModel(table_.selectionModel());
        if (made != table_.selectionModel()) {
            delete made;
        }
        view_.setFont(table_.font());
        view_.verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
        view_.verticalHeader()->setMinimumSectionSize(
            table_.verticalHeader()->minimumSectionSize());
        view_.verticalHeader()->setDefaultSectionSize(
            table_.verticalHeader()->defaultSectionSize());
        // A reset (the decoded columns) shows every column again.
        connect(model, &QAbstractItemModel::modelReset, this, &FrozenColumns::Fit);
        Fit();
    }

private:
    void Fit()
    {
        // A header that repaints hides each of thousands of field columns
        // in time that grows with their count: it is repainted once, after.
        QHeaderView& header = *view_.horizontalHeader();
        header.setUpdatesEnabled(false);
        for (int column = 0; column < view_.model()->columnCount(); ++column) {
            view_.setColumnHidden(column, column >= columns_);
            if (column < columns_) {
                view_.setColumnWidth(column, table_.columnWidth(column));
            }
        }
        header.setUpdatesEnabled(true);
        Place();
    }

    void Place()
    {
        int width = 0;
        for (int column = 0; column < columns_; ++column) {
            width += table_.columnWidth(column);
        }
        const QRect area = table_.viewport()->geometry();
        const int top = table_.horizontalHeader()->geometry().top();
        view_.setGeometry(area.left(), top, width, area.bottom() + 1 - top);
    }

    QTableView& table_;
    QTableView& view_;
    int columns_;
};

std::optional<quillon::LogFile> read_log_or_explain(const QString& path)
{
    return quillon::read_log_file_or_show_why(QFile::encodeName(path).toStdString());
}

TfrmLogBrowser* open_log_browser(const std::string& file, const std::string& settings_path)
{
    auto log = quillon::read_log_file_or_show_why(file);
    if (!log) {
        return nullptr;
    }
    const QString name = QFile::decodeName(QByteArray::fromStdString(file));
    auto* browser = new TfrmLogBrowser(name, std::move(*log), settings_path);
    quillon::remember_log_opened(name);
    browser->setAttribute(Qt::WA_DeleteOnClose);
    browser->show();
    return browser;
}

std::vector<TfrmLogBrowser*> open_log_browsers(const QStringList& files,
                                               const std::string& settings_path)
{
    std::vector<TfrmLogBrowser*> opened;
    for (const QString& file : files) {
        if (auto* browser =
                open_log_browser(QFile::encodeName(file).toStdString(), settings_path)) {
            opened.push_back(browser);
        }
    }
    return opened;
}

TfrmLogBrowser::TfrmLogBrowser(QString path, quillon::LogFile log, std::string settings_path,
                               QWidget* parent)
    : QMainWindow(parent), ui_(std::make_unique<Ui::TfrmLogBrowser>()), path_(std::move(path)),
      settings_path_(std::move(settings_path)), log_(std::move(log)),
      model_(std::make_unique<LogTableModel>(log_))
{
    ui_->setupUi(this);
    date_time_ = new ElidedCaption(*ui_->lblDateTime, {});
    stop_condition_ = new ElidedCaption(*ui_->lblStopCondition, {});
    summary_ = new ElidedCaption(*ui_->lblSummary, {});
    // Beside the byte row, before the buttons that find by either.
    find_condition_ = new ConditionLine(QString(), ui_->grbFind);
    find_condition_->setObjectName("cndFind");
    ui_->layFind->insertWidget(ui_->layFind->indexOf(ui_->btnFindPrevious), find_condition_, 1);
    frozen_records_ = new FrozenColumns(*ui_->tblRecords, LogTableModel::kRecordColumns);
    frozen_compared_ = new FrozenColumns(*ui_->tblCompared, LogTableModel::kRecordColumns);
    sized_records_ = new ColumnsInView(*ui_->tblRecords, LogTableModel::kRecordColumns);
    sized_compared_ = new ColumnsInView(*ui_->tblCompared, LogTableModel::kRecordColumns);
    SetUpTable(*ui_->tblRecords, {*frozen_records_, *sized_records_}, *model_);
    if (const auto fired = model_->Timeline().fired) {
        SelectRecord(*fired);
    }
    // The compared log scrolls with this one.
    paired_scrolling_ = new PairedScrolling(*ui_->tblRecords, *ui_->tblCompared);
    // The fields file read last, when it still reads; else none, unsaid.
    if (const std::string fields = quillon::read_fields_file_setting(settings_path_);
        !fields.empty()) {
        try {
            SetFields(quillon::read_fields_file(fields).fields);
        } catch (const quillon::LogReadError&) {
        }
    }

    BuildNotesPanel();
    ShowNotes(read_notes_or_explain(LogPath()));
    notes_panel_->setVisible(!notes_.empty());

    using quillon::on_signal;
    auto& ui = *ui_;
    on_signal(ui.btnFindNext, &QAbstractButton::clicked, this, &TfrmLogBrowser::btnFindNextClick);
    on_signal(ui.mnuFindNext, &QAction::triggered, this, &TfrmLogBrowser::btnFindNextClick);
    for (QLineEdit* field :
         {ui.edtFindByte, ui.edtFindMask, ui.edtFindValue, find_condition_->Edit()}) {
        on_signal(field, &QLineEdit::returnPressed, this, &TfrmLogBrowser::btnFindNextClick);
    }
    on_signal(ui.btnFindPrevious, &QAbstractButton::clicked, this,
              &TfrmLogBrowser::btnFindPreviousClick);
    on_signal(ui.mnuFindPrevious, &QAction::triggered, this, &TfrmLogBrowser::btnFindPreviousClick);
    on_signal(ui.mnuFind, &QAction::triggered, this, &TfrmLogBrowser::mnuFindClick);
    on_signal(find_condition_, &ConditionLine::conditionChanged, this,
              &TfrmLogBrowser::CountConditionFound);
    on_signal(ui.mnuDecoded, &QAction::toggled, this, &TfrmLogBrowser::mnuDecodedClick);
    on_signal(ui.mnuFields, &QAction::triggered, this, &TfrmLogBrowser::mnuFieldsClick);
    on_signal(ui.mnuCompareWith, &QAction::triggered, this, &TfrmLogBrowser::mnuCompareWithClick);
    on_signal(ui.btnNextDifference, &QAbstractButton::clicked, this,
              &TfrmLogBrowser::btnNextDifferenceClick);
    on_signal(ui.btnPreviousDifference, &QAbstractButton::clicked, this,
              &TfrmLogBrowser::btnPreviousDifferenceClick);
    on_signal(ui.btnAddRule, &QAbstractButton::clicked, this, &TfrmLogBrowser::btnAddRuleClick);
    on_signal(ui.btnRemoveRule, &QAbstractButton::clicked, this,
              &TfrmLogBrowser::btnRemoveRuleClick);
    on_signal(ui.btnCloseComparison, &QAbstractButton::clicked, this,
              &TfrmLogBrowser::btnCloseComparisonClick);
    on_signal(ui.mnuExportCsv, &QAction::triggered, this, &TfrmLogBrowser::mnuExportCsvClick);
    on_signal(ui.mnuExportJson, &QAction::triggered, this, &TfrmLogBrowser::mnuExportJsonClick);
    on_signal(ui.mnuCopy, &QAction::triggered, this, &TfrmLogBrowser::mnuCopyClick);
    on_signal(ui.mnuPlot, &QAction::triggered, this, &TfrmLogBrowser::mnuPlotClick);
    on_signal(ui.mnuNote, &QAction::triggered, this, &TfrmLogBrowser::mnuNoteClick);
    on_signal(ui.mnuLogNote, &QAction::triggered, this, &TfrmLogBrowser::mnuLogNoteClick);
    on_signal(log_note_, &QAbstractButton::clicked, this, &TfrmLogBrowser::mnuLogNoteClick);
    on_signal(ui.mnuNextNote, &QAction::triggered, this, &TfrmLogBrowser::mnuNextNoteClick);
    on_signal(ui.mnuPreviousNote, &QAction::triggered, this, &TfrmLogBrowser::mnuPreviousNoteClick);
    on_signal(remove_note_, &QAbstractButton::clicked, this, &TfrmLogBrowser::btnRemoveNoteClick);
    on_signal(remove_note_action_, &QAction::triggered, this, &TfrmLogBrowser::btnRemoveNoteClick);
    for (auto chosen : {&QTreeWidget::itemClicked, &QTreeWidget::itemActivated}) {
        connect(notes_list_, chosen, this, [this](const QTreeWidgetItem* item) {
            quillon::run_guarded([this, item] { GoToNote(item); });
        });
    }
    connect(ui.mnuClose, &QAction::triggered, this, &QWidget::close);
    quillon::accept_file_drops(*this, [this](const QStringList& files) {
        if (log_opener_) {
            log_opener_(files);
        }
    });
    quillon::open_menu_bar_with_f10(*this);
    quillon::keep_mnemonics_out_of_fields();
    RetranslateUi();
}

TfrmLogBrowser::~TfrmLogBrowser() = default;

void TfrmLogBrowser::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange) {
        RetranslateUi();
    }
    QMainWindow::changeEvent(event);
}

void TfrmLogBrowser::RetranslateUi()
{
    ui_->retranslateUi(this);
    find_condition_->SetCaption(tr("Con&dition"));
    setWindowTitle(tr("%1 - Quillon").arg(QFileInfo(path_).fileName()));
    date_time_->SetText(date_time_caption(log_));
    stop_condition_->SetText(stop_condition_caption(log_));
    summary_->SetText(
        timeline_caption(quillon::timeline_summary(log_, model_->Match(), model_->Timeline())));
    frozen_records_->Retranslate();
    frozen_compared_->Retranslate();
    ui_->lblRecordsFile->setText(tr("A: %1").arg(QFileInfo(path_).fileName()));
    if (find_shown_) {
        ui_->lblFindCount->setText(find_caption(find_shown_->found, find_shown_->condition));
    }
    for (std::size_t row = 0; row < rules_.size(); ++row) {
        ui_->lbxRules->item(int(row))->setText(rule_caption(rules_[row].only, rules_[row].bits));
    }
    if (other_) {
        ui_->lblComparedFile->setText(tr("B: %1").arg(QFileInfo(other_->path).fileName()));
        ui_->lblCompareAlignment->setText(
            alignment_caption(quillon::comparison_report(comparison_)));
        ui_->lblCompareSummary->setText(comparison_summary(comparison_));
    }
    for (LogTableModel* shown : {model_.get(), compared_model()}) {
        if (shown != nullptr) {
            shown->Retranslate();
        }
    }
    // The title first: the panel gives it to its View item.
    notes_panel_->setWindowTitle(tr("Notes"));
    notes_panel_->toggleViewAction()->setText(tr("&Notes"));
    notes_list_->setAccessibleName(tr("Notes"));
    notes_list_->setHeaderLabels({tr("Record"), tr("Text"), tr("Tags")});
    log_note_->setText(tr("Note on the Log..."));
    remove_note_->setText(tr("Remove Note"));
    remove_note_action_->setText(tr("Remove Note"));
    FillNotesList();
}

void TfrmLogBrowser::SetUpTable(QTableView& table, TableAids aids, LogTableModel& model)
{
    table.setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    table.setModel(&model);
    table.verticalHeader()->hide();
    // Every row one line high: no row is measured. A pixel above and below
    // (less than the header's own margins) keeps twelve rows in sight at 1280
    // by 900 with the taller faces too.
    QHeaderView& rows = *table.verticalHeader();
    rows.setSectionResizeMode(QHeaderView::Fixed);
    rows.setMinimumSectionSize(table.fontMetrics().height() + 2);
    rows.setDefaultSectionSize(rows.minimumSectionSize());
    // The decoded columns come and go with the view.
    aids.sized.Follow();
    aids.frozen.Follow();
}

void TfrmLogBrowser::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (!shown_) {
        CentreCurrentRecord();
    }
    shown_ = true;
}

void TfrmLogBrowser::CentreCurrentRecord()
{
    if (!isVisible() || CurrentRecord() < 0) {
        return;
    }
    // The tables laid out first: a table just shown, or halved for a
    // comparison, would be scrolled by its old height.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    // By whole rows, as the table scrolls; B follows, its record of the
    // pair beside A's.
    QTableView& table = *ui_->tblRecords;
    const int rows_in_view = table.viewport()->height() / std::max(1, table.rowHeight(0));
    table.verticalScrollBar()->setValue(CurrentRecord() - rows_in_view / 2);
}

int TfrmLogBrowser::CurrentRecord() const
{
    return ui_->tblRecords->currentIndex().row();
}

void TfrmLogBrowser::SelectRecord(int record)
{
    SelectRow(*ui_->tblRecords, record);
    if (other_) {
        SelectRow(*ui_->tblCompared, record + comparison_.b_shift);
    }
}

void TfrmLogBrowser::SelectRow(QTableView& table, int row)
{
    if (row < 0 || row >= quillon::kLogRecords) {
        // No record of this log is paired with it.
        table.clearSelection();
        return;
    }
    table.selectRow(row);
    table.scrollTo(table.model()->index(row, 0));
}

void TfrmLogBrowser::StepTo(const std::vector<int>& records, int step)
{
    if (records.empty()) {
        return;
    }
    const int current = CurrentRecord();
    if (step > 0) {
        const auto next = std::upper_bound(records.begin(), records.end(), current);
        SelectRecord(next != records.end() ? *next : records.front());
    } else {
        const auto next = std::lower_bound(records.begin(), records.end(), current);
        SelectRecord(next != records.begin() ? *std::prev(next) : records.back());
    }
}

std::optional<TfrmLogBrowser::Found> TfrmLogBrowser::FindRecords()
{
    // A condition typed takes the byte row's place; one that does not read
    // finds nothing, its reason shown under it already.
    if (find_condition_->HasError()) {
        return std::nullopt;
    }
    if (const auto& condition = find_condition_->Condition()) {
        Found found{{}, find_condition_->Text().trimmed()};
        for (int record = 0; record < quillon::kLogRecords; ++record) {
            if (quillon::holds(*condition, log_, model_->Timeline(), record, fields_)) {
                found.records.push_back(record);
            }
        }
        return found;
    }
    const auto typed = quillon::record_condition_from_text(
        direction_of(ui_->rbnFindSend->isChecked()), ui_->edtFindByte->text().toStdString(),
        ui_->edtFindMask->text().toStdString(), ui_->edtFindValue->text().toStdString());
    if (!typed.condition) {
        quillon::show_error(typed.range_error);
        return std::nullopt;
    }
    const quillon::RecordCondition& condition = *typed.condition;
    return Found{quillon::records_meeting(log_, condition),
                 text_of(quillon::condition_text(condition.direction, condition.byte,
                                                 condition.mask, condition.value))};
}

void TfrmLogBrowser::ShowFound(const std::optional<Found>& found)
{
    model_->SetFound(found ? found->records : std::vector<int>{});
    if (!found) {
        find_shown_.reset();
        ui_->lblFindCount->clear();
        return;
    }
    find_shown_ = FindShown{found->records.size(), found->condition};
    ui_->lblFindCount->setText(find_caption(find_shown_->found, find_shown_->condition));
}

void TfrmLogBrowser::Find(int step)
{
    const std::optional<Found> found = FindRecords();
    ShowFound(found);
    if (found) {
        StepTo(found->records, step);
    }
}

void TfrmLogBrowser::CountConditionFound()
{
    // Without a condition the byte row counts when it is asked to find.
    ShowFound(find_condition_->Text().trimmed().isEmpty() ? std::nullopt : FindRecords());
}

void TfrmLogBrowser::btnFindNextClick()
{
    Find(+1);
}

void TfrmLogBrowser::btnFindPreviousClick()
{
    Find(-1);
}

void TfrmLogBrowser::mnuFindClick()
{
    ui_->edtFindByte->setFocus();
    ui_->edtFindByte->selectAll();
}

void TfrmLogBrowser::mnuDecodedClick()
{
    const bool decoded = ui_->mnuDecoded->isChecked();
    model_->SetDecoded(decoded);
    if (other_) {
        other_->model->SetDecoded(decoded);
    }
}

void TfrmLogBrowser::mnuFieldsClick()
{
    const QStringList files =
        quillon::run_open_dialog(tr("Fields (*.json)"), QFileInfo(path_).absolutePath());
    if (!files.isEmpty()) {
        ShowFields(files.front());
    }
}

bool TfrmLogBrowser::ShowFields(const QString& path)
{
    const std::string file = QFile::encodeName(path).toStdString();
    try {
        SetFields(quillon::read_fields_file(file).fields);
    } catch (const quillon::LogReadError& error) {
        quillon::show_error(error.what());
        return false;
    }
    try {
        quillon::write_fields_file_setting(settings_path_, file);
    } catch (const std::exception& error) {
        // Shown all the same; only the next browser will not know them.
        quillon::show_error(error.what());
    }
    return true;
}

void TfrmLogBrowser::SetFields(std::vector<quillon::FieldSpec> fields)
{
    fields_ = std::move(fields);
    // The model's reset forgets the current record: it stays current.
    const int current = CurrentRecord();
    model_->SetFields(fields_);
    // Its names looked up anew, and what meets it counted again.
    find_condition_->SetFields(fields_);
    if (other_) {
        other_->model->SetFields(fields_);
        UpdateComparison();  // a field not compared leaves its bits out
    }
    if (current >= 0) {
        SelectRecord(current);
    }
}

void TfrmLogBrowser::mnuCompareWithClick()
{
    // Beside this log: the one to compare with is likely of the same night.
    const QStringList files =
        quillon::run_open_dialog(quillon::log_open_filter(), QFileInfo(path_).absolutePath());
    if (!files.isEmpty()) {
        CompareWith(files.front());
    }
}

bool TfrmLogBrowser::CompareWith(const QString& path)
{
    auto log = read_log_or_explain(path);
    if (!log) {
        return false;
    }
    CompareWith(path, std::move(*log));
    return true;
}

void TfrmLogBrowser::CompareWith(const QString& path, quillon::LogFile log)
{
    ui_->tblCompared->setModel(nullptr);
    // A's marks point into the log compared so far, which goes now.
    model_->EndComparison();
    other_.emplace(ComparedLog{path, std::move(log), nullptr});
    other_->model = std::make_unique<LogTableModel>(other_->log);
    other_->model->SetFields(fields_);
    other_->model->SetDecoded(model_->Decoded());
    SetUpTable(*ui_->tblCompared, {*frozen_compared_, *sized_compared_}, *other_->model);
    ui_->lblComparedFile->setText(tr("B: %1").arg(QFileInfo(path).fileName()));
    ShowComparison(true);
    // The two tables share the height.
    ui_->splTables->setSizes({ui_->splTables->height(), ui_->splTables->height()});
    UpdateComparison();
    if (const int current = CurrentRecord(); current >= 0) {
        SelectRecord(current);
    }
    CentreCurrentRecord();
}

void TfrmLogBrowser::ShowComparison(bool shown)
{
    for (QWidget* part : std::initializer_list<QWidget*>{ui_->grbCompare, ui_->lblRecordsFile,
                                                         ui_->wgtCompared, ui_->stpByteCounts}) {
        part->setVisible(shown);
    }
}

void TfrmLogBrowser::UpdateComparison()
{
    quillon::ComparisonRules rules;
    for (const ComparisonRule& rule : rules_) {
        (rule.only ? rules.only : rules.ignore).push_back(rule.bits);
    }
    rules = quillon::with_fields_left_out(std::move(rules), fields_);
    comparison_ = quillon::compare_logs(log_, other_->log, rules);
    compared_bits_ = quillon::compared_bits(rules.ignore, rules.only);
    model_->SetComparison(comparison_, LogTableModel::Side::A, other_->log, compared_bits_);
    other_->model->SetComparison(comparison_, LogTableModel::Side::B, log_, compared_bits_);
    paired_scrolling_->SetShift(comparison_.b_shift);
    ui_->lblCompareAlignment->setText(alignment_caption(quillon::comparison_report(comparison_)));
    ui_->lblCompareSummary->setText(comparison_summary(comparison_));
    ui_->stpByteCounts->SetCounts(comparison_.records_per_byte);
}

void TfrmLogBrowser::StepToDifference(int step)
{
    std::vector<int> records;
    records.reserve(comparison_.records.size());
    for (const auto& difference : comparison_.records) {
        records.push_back(difference.record);
    }
    StepTo(records, step);
}

void TfrmLogBrowser::btnNextDifferenceClick()
{
    StepToDifference(+1);
}

void TfrmLogBrowser::btnPreviousDifferenceClick()
{
    StepToDifference(-1);
}

void TfrmLogBrowser::btnAddRuleClick()
{
    const Direction direction = direction_of(ui_->cbxRuleDirection->currentIndex() == 1);
    const auto typed = quillon::ignore_rule_from_text(
        direction, ui_->edtRuleByte->text().toStdString(), ui_->edtRuleMask->text().toStdString());
    if (!typed.rule) {
        quillon::show_error(typed.range_error);
        return;
    }
    const ComparisonRule rule{ui_->rbnRuleOnly->isChecked(), *typed.rule};
    rules_.push_back(rule);
    ui_->lbxRules->addItem(rule_caption(rule.only, rule.bits));
    UpdateComparison();
}

void TfrmLogBrowser::btnRemoveRuleClick()
{
    const int row = ui_->lbxRules->currentRow();
    if (row < 0 || std::size_t(row) >= rules_.size()) {
        return;
    }
    rules_.erase(rules_.begin() + row);
    delete ui_->lbxRules->takeItem(row);
    UpdateComparison();
}

void TfrmLogBrowser::btnCloseComparisonClick()
{
    ui_->tblCompared->setModel(nullptr);
    frozen_compared_->Follow();
    ShowComparison(false);
    other_.reset();
    rules_.clear();
    ui_->lbxRules->clear();
    model_->EndComparison();
    paired_scrolling_->SetShift(0);
}

void TfrmLogBrowser::Export(const QString& filter, const QString& suffix, const std::string& text)
{
    const QFileInfo file(path_);
    const auto chosen = quillon::run_save_dialog(
        {file.dir().filePath(file.completeBaseName() + "." + suffix), filter, suffix});
    if (chosen) {
        quillon::write_file_atomically(QFile::encodeName(*chosen).toStdString(), text);
    }
}

void TfrmLogBrowser::mnuExportCsvClick()
{
    Export(tr("CSV (*.csv)"), "csv", quillon::log_csv(log_, model_->Decoded(), fields_));
}

void TfrmLogBrowser::mnuExportJsonClick()
{
    Export(tr("JSON (*.json)"), "json",
           quillon::log_json(QFile::encodeName(path_).toStdString(), log_, model_->Decoded(),
                             fields_, notes_) +
               "\n");
}

void TfrmLogBrowser::mnuCopyClick()
{
    std::set<int> rows;
    for (const QModelIndex& index : ui_->tblRecords->selectionModel()->selectedIndexes()) {
        rows.insert(index.row());
    }
    if (rows.empty()) {
        return;
    }
    QString text;
    for (const int row : rows) {
        text += QString::fromStdString(quillon::record_line(log_.records[std::size_t(row)])) + "\n";
    }
    QGuiApplication::clipboard()->setText(text);
}

void TfrmLogBrowser::mnuPlotClick()
{
    std::vector<quillon::RecordColumn> columns = quillon::byte_columns();
    for (quillon::RecordColumn& field : quillon::field_columns(fields_)) {
        columns.push_back(std::move(field));
    }
    QStringList labels;
    for (const quillon::RecordColumn& column : columns) {
        labels << column_label(column);
    }
    const auto chosen = choose_plot_column(labels, this);
    if (!chosen) {
        return;
    }
    const quillon::RecordColumn& column = columns[std::size_t(*chosen)];
    // A child window: it goes with the browser.
    auto* window = new PlotWindow(path_, labels[*chosen], this);
    window->setAttribute(Qt::WA_DeleteOnClose);
    if (other_) {
        // A and B, named as their tables are, paired records at one x.
        auto [a, b] =
            quillon::compared_column_plots(log_, other_->log, comparison_, column, fields_);
        std::vector<PlotWindow::NamedPlot> plots;
        plots.push_back({ui_->lblRecordsFile->text(), std::move(a)});
        plots.push_back({ui_->lblComparedFile->text(), std::move(b)});
        window->ShowColumnPlots(std::move(plots));
    } else {
        window->ShowColumnPlot(quillon::column_plot(log_, column, fields_));
    }
    window->show();
}

void TfrmLogBrowser::BuildNotesPanel()
{
    notes_panel_ = new QDockWidget(this);
    notes_panel_->setObjectName("dckNotes");
    auto* inside = new QWidget(notes_panel_);
    auto* layout = new QVBoxLayout(inside);
    notes_list_ = new QTreeWidget(inside);
    notes_list_->setObjectName("tvwNotes");
    notes_list_->setColumnCount(3);
    notes_list_->setRootIsDecorated(false);
    notes_list_->setUniformRowHeights(true);
    notes_list_->setAllColumnsShowFocus(true);
    layout->addWidget(notes_list_);
    auto* buttons = new QHBoxLayout;
    log_note_ = new QPushButton(inside);
    log_note_->setObjectName("btnLogNote");
    remove_note_ = new QPushButton(inside);
    remove_note_->setObjectName("btnRemoveNote");
    buttons->addWidget(log_note_);
    buttons->addWidget(remove_note_);
    buttons->addStretch();
    layout->addLayout(buttons);
    notes_panel_->setWidget(inside);
    // Below the tables: a note's text is read across.
    addDockWidget(Qt::BottomDockWidgetArea, notes_panel_);
    remove_note_action_ = new QAction(notes_list_);
    remove_note_action_->setShortcut(QKeySequence::Delete);
    remove_note_action_->setShortcutContext(Qt::WidgetShortcut);
    notes_list_->addAction(remove_note_action_);
    notes_list_->setContextMenuPolicy(Qt::ActionsContextMenu);
    ui_->mnuView->addSeparator();
    ui_->mnuView->addAction(notes_panel_->toggleViewAction());
}

std::filesystem::path TfrmLogBrowser::LogPath() const
{
    return QFile::encodeName(path_).toStdString();
}

void TfrmLogBrowser::ShowNotes(std::vector<quillon::Note> notes)
{
    notes_ = std::move(notes);
    model_->SetNotes(notes_);
    // A mark beside "fired" is wider than the column was made for it.
    ui_->tblRecords->resizeColumnToContents(model_->MarkerColumn());
    FillNotesList();
}

void TfrmLogBrowser::ReadNotesAgain()
{
    ShowNotes(read_notes_or_explain(LogPath()));
}

void TfrmLogBrowser::FillNotesList()
{
    const int row = notes_list_->currentIndex().row();
    notes_list_->clear();
    // The log's own notes first, then by record, each in the order written.
    std::vector<const quillon::Note*> ordered;
    for (const quillon::Note& note : notes_) {
        ordered.push_back(&note);
    }
    std::stable_sort(ordered.begin(), ordered.end(), [](const auto* a, const auto* b) {
        return a->record.value_or(-1) < b->record.value_or(-1);
    });
    for (const quillon::Note* note : ordered) {
        QStringList tags;
        for (const std::string& tag : note->tags) {
            tags << "#" + text_of(tag);
        }
        auto* item = new QTreeWidgetItem(
            notes_list_, {note->record ? QString::number(*note->record)
                                       : tr("log", "a note on the log itself, not on a record"),
                          text_of(note->text), tags.join(' ')});
        item->setData(0, Qt::UserRole, text_of(note->id));
        item->setData(0, Qt::UserRole + 1, note->record.value_or(-1));
        item->setToolTip(1, text_of(note->text));
    }
    const int rows = notes_list_->topLevelItemCount();
    if (row >= 0 && rows > 0) {
        notes_list_->setCurrentItem(notes_list_->topLevelItem(std::min(row, rows - 1)));
    }
    remove_note_->setEnabled(rows > 0);
}

void TfrmLogBrowser::GoToNote(const QTreeWidgetItem* item)
{
    if (item == nullptr) {
        return;
    }
    if (const int record = item->data(0, Qt::UserRole + 1).toInt(); record >= 0) {
        SelectRecord(record);
    }
}

void TfrmLogBrowser::AddNote(std::optional<int> record)
{
    const QString file = QFileInfo(path_).fileName();
    const QString what =
        record ? tr("Note on record %1 of %2").arg(*record).arg(file) : tr("Note on %1").arg(file);
    if (ask_and_add_note(LogPath(), model_->Timeline(), record, what, this)) {
        ReadNotesAgain();
        notes_panel_->show();
        emit notesChanged();
    }
}

void TfrmLogBrowser::mnuNoteClick()
{
    if (const int record = CurrentRecord(); record >= 0) {
        AddNote(record);
    }
}

void TfrmLogBrowser::mnuLogNoteClick()
{
    AddNote(std::nullopt);
}

void TfrmLogBrowser::mnuNextNoteClick()
{
    StepTo(model_->NotedRecords(), +1);
}

void TfrmLogBrowser::mnuPreviousNoteClick()
{
    StepTo(model_->NotedRecords(), -1);
}

void TfrmLogBrowser::btnRemoveNoteClick()
{
    const QTreeWidgetItem* item = notes_list_->currentItem();
    if (item == nullptr) {
        return;
    }
    if (remove_note_or_explain(LogPath(), item->data(0, Qt::UserRole).toString().toStdString())) {
        ReadNotesAgain();
        emit notesChanged();
    }
}
