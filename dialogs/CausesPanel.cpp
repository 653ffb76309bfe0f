#include "CausesPanel.h"

#include "GuardedHandlers.h"
#include "Seams.h"

#include <QAction>
#include <QClipboard>
#include <QEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

QString text_of(const std::string& text)
{
    return QString::fromStdString(text);
}

QString share_text(double share)
{
    return text_of(quillon::cause_share_text(share));
}

QString score_text(double score)
{
    return text_of(quillon::cause_score_text(score));
}

// "15/15": the captures where it held, of those with a fired record.
QString captures_text(const quillon::LikelyCause& cause)
{
    return QString("%1/%2").arg(cause.captures).arg(cause.of);
}

}  // namespace

CausesPanel::CausesPanel(QWidget* parent)
    : QWidget(parent), heading_(new QLabel(this)), summary_(new QLabel(this)),
      list_(new QTreeWidget(this)), keep_(new QPushButton(this)), copy_(new QAction(this)),
      keep_action_(new QAction(this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    heading_->setBuddy(list_);
    layout->addWidget(heading_);
    summary_->setObjectName("lblCausesSummary");
    summary_->setWordWrap(true);
    layout->addWidget(summary_);
    list_->setObjectName("lvwCauses");
    list_->setColumnCount(kColumns);
    list_->setRootIsDecorated(true);
    list_->setUniformRowHeights(true);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->header()->setStretchLastSection(false);
    list_->header()->setSectionResizeMode(kCondition, QHeaderView::Stretch);
    layout->addWidget(list_, 1);
    auto* buttons = new QHBoxLayout;
    keep_->setObjectName("btnKeepCause");
    buttons->addWidget(keep_);
    buttons->addStretch();
    layout->addLayout(buttons);

    // Ctrl+C where the list has the focus; both in its context menu.
    copy_->setShortcut(QKeySequence::Copy);
    copy_->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    list_->addActions({copy_, keep_action_});
    list_->setContextMenuPolicy(Qt::ActionsContextMenu);

    using quillon::on_signal;
    on_signal(copy_, &QAction::triggered, this, &CausesPanel::CopyCondition);
    on_signal(keep_action_, &QAction::triggered, this, &CausesPanel::KeepChosen);
    on_signal(keep_, &QAbstractButton::clicked, this, &CausesPanel::KeepChosen);
    connect(list_, &QTreeWidget::currentItemChanged, this, [this](const QTreeWidgetItem* current) {
        quillon::run_guarded([this, current] { Chosen(current); });
    });
    // A click on the cause already chosen shows it again (the map's cell
    // may have moved on).
    connect(list_, &QTreeWidget::itemClicked, this, [this](const QTreeWidgetItem* item) {
        quillon::run_guarded([this, item] { emit causeChosen(item->text(kCondition)); });
    });
    RetranslateUi();
    Chosen(nullptr);
}

CausesPanel::~CausesPanel()
{
    cancelled_ = true;
    if (worker_.joinable()) {
        worker_.join();
    }
}

void CausesPanel::Find(quillon::Series series, std::vector<quillon::FieldSpec> fields,
                       quillon::CauseSearch search)
{
    Search asked{std::move(series), std::move(fields), std::move(search)};
    asked.search.baseline = nullptr;
    asked.search.cancelled = &cancelled_;
    if (worker_.joinable()) {
        // What the search under way would find is no longer asked for.
        cancelled_ = true;
        next_ = std::move(asked);
    } else {
        Start(std::move(asked));
    }
}

void CausesPanel::Start(Search search)
{
    {
        const QSignalBlocker quiet(list_);
        list_->clear();
    }
    Chosen(nullptr);
    cancelled_ = false;
    worker_ = std::thread([this, search = std::move(search)] {
        std::optional<quillon::CauseFinding> found;
        std::exception_ptr error;
        try {
            found = quillon::likely_causes(search.series, search.fields, search.search);
        } catch (...) {
            error = std::current_exception();
        }
        // Delivered on the window's thread; dropped with the panel, which
        // waits for this thread before it goes.
        QMetaObject::invokeMethod(
            this,
            [this, found = std::move(found), error]() mutable { Ended(std::move(found), error); },
            Qt::QueuedConnection);
    });
    Summarize();
}

void CausesPanel::Ended(std::optional<quillon::CauseFinding> found, const std::exception_ptr& error)
{
    worker_.join();
    if (next_) {
        Search search = std::move(*next_);
        next_.reset();
        Start(std::move(search));
        return;
    }
    if (error) {
        SetFinding({});
        quillon::run_guarded([&error] { std::rethrow_exception(error); });
        return;
    }
    SetFinding(std::move(*found));
}

void CausesPanel::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange) {
        RetranslateUi();
    }
    QWidget::changeEvent(event);
}

void CausesPanel::RetranslateUi()
{
    heading_->setText(tr("&Likely causes"));
    list_->setAccessibleName(tr("Likely causes"));
    list_->setHeaderLabels({tr("Condition"), tr("Captures"), tr("Baseline"), tr("Score")});
    list_->headerItem()->setToolTip(kCaptures, tr("The captures where it held before the trigger"));
    list_->headerItem()->setToolTip(kBaseline, tr("How often it held at the same place otherwise"));
    list_->headerItem()->setToolTip(
        kScore, tr("Highest for what held in every capture and seldom otherwise"));
    keep_->setText(tr("Keep Only These Captures"));
    keep_->setAccessibleName(tr("Keep Only These Captures"));
    keep_action_->setText(tr("Keep Only These Captures"));
    copy_->setText(tr("Copy Condition"));
    Summarize();
    SayFolded();
}

void CausesPanel::SetFinding(quillon::CauseFinding finding)
{
    finding_ = std::move(finding);
    {
        const QSignalBlocker quiet(list_);
        list_->clear();
        for (const quillon::LikelyCause& cause : finding_.causes) {
            auto* row = new QTreeWidgetItem(
                list_, {text_of(cause.condition), captures_text(cause),
                        share_text(cause.baseline_share), score_text(cause.score)});
            for (int column = kCaptures; column < kColumns; ++column) {
                row->setTextAlignment(column, Qt::AlignRight | Qt::AlignVCenter);
            }
            for (const std::string& folded : cause.folded) {
                new QTreeWidgetItem(row, {text_of(folded)});
            }
        }
    }
    for (int column = kCaptures; column < kColumns; ++column) {
        list_->resizeColumnToContents(column);
    }
    Summarize();
    SayFolded();
    Chosen(nullptr);
}

void CausesPanel::SayFolded()
{
    for (int cause = 0; cause < list_->topLevelItemCount(); ++cause) {
        QTreeWidgetItem* row = list_->topLevelItem(cause);
        for (int folded = 0; folded < row->childCount(); ++folded) {
            row->child(folded)->setToolTip(
                kCondition, tr("Weaker, on the same field or byte: folded into the cause above"));
        }
    }
}

void CausesPanel::Summarize()
{
    if (Searching()) {
        summary_->setText(tr("Finding the likely causes..."));
        return;
    }
    QStringList said;
    if (finding_.anchors < quillon::kFewestAnchors) {
        said << tr("Only %1 anchors: the baseline is weak. quillon-cli series --explain "
                   "--baseline with logs saved while nothing was wrong makes a better one.")
                    .arg(finding_.anchors);
    }
    if (finding_.causes.empty()) {
        said << tr(
            "No likely cause: nothing held before the trigger in most captures that "
            "seldom holds otherwise.");
        if (const auto& best = finding_.best) {
            said << tr("The strongest candidate: %1 (%2 captures, baseline %3, score %4)",
                       "a condition, the captures k/n where it held, a share, a score")
                        .arg(text_of(best->condition), captures_text(*best),
                             share_text(best->baseline_share), score_text(best->score));
        }
    } else {
        said << tr("%1 candidates tested against %2 anchors.")
                    .arg(finding_.candidates)
                    .arg(finding_.anchors);
    }
    summary_->setText(said.join("\n"));
}

QString CausesPanel::ChosenCondition() const
{
    const QTreeWidgetItem* current = list_->currentItem();
    return current == nullptr ? QString() : current->text(kCondition);
}

void CausesPanel::Chosen(const QTreeWidgetItem* item)
{
    keep_->setEnabled(item != nullptr);
    keep_action_->setEnabled(item != nullptr);
    copy_->setEnabled(item != nullptr);
    if (item != nullptr) {
        emit causeChosen(item->text(kCondition));
    }
}

void CausesPanel::CopyCondition()
{
    if (const QString condition = ChosenCondition(); !condition.isEmpty()) {
        QGuiApplication::clipboard()->setText(condition);
    }
}

void CausesPanel::KeepChosen()
{
    if (const QString condition = ChosenCondition(); !condition.isEmpty()) {
        emit keepAsked(condition);
    }
}
