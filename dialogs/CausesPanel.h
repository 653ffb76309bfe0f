// The likely causes of a series' captures, strongest first: each cause's
// condition, in how many captures it held, how often it held before the
// baseline's anchors and its score, the weaker candidates of the same
// field or byte under it; or that none stands out, with the strongest
// candidate; and that the baseline is weak when it has few anchors. They
// are found away from the window's thread (a thousand captures take a
// while), the last asked shown. A cause chosen is said (causeChosen); its
// condition can be copied (Ctrl+C, the context menu) and kept as the
// series' condition (keepAsked).
#pragma once

#include "LikelyCauses.h"

#include <QString>
#include <QWidget>

#include <atomic>
#include <exception>
#include <optional>
#include <thread>
#include <vector>

class QAction;
class QLabel;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

class CausesPanel : public QWidget {
    Q_OBJECT

public:
    explicit CausesPanel(QWidget* parent = nullptr);
    // Waits for a search that runs.
    ~CausesPanel() override;

    // Finds the causes of the series on the fields (search.baseline none)
    // and lists them, none chosen; the list empty meanwhile. Asked while
    // one runs, the last asked is searched when it ends, and listed.
    void Find(quillon::Series series, std::vector<quillon::FieldSpec> fields,
              quillon::CauseSearch search);
    // Whether a search runs or waits: the list is not yet its.
    bool Searching() const { return worker_.joinable(); }
    // The causes listed anew, none chosen.
    void SetFinding(quillon::CauseFinding finding);
    const quillon::CauseFinding& Finding() const { return finding_; }

    // The condition of the cause (or the candidate folded into one) chosen;
    // "" for none.
    QString ChosenCondition() const;
    // Puts it on the clipboard.
    void CopyCondition();
    // Asks for it to keep the series' captures (keepAsked).
    void KeepChosen();

    QTreeWidget& List() { return *list_; }
    // What the list holds: "No likely cause: ...", a weak baseline.
    QLabel& Summary() { return *summary_; }
    QPushButton& KeepButton() { return *keep_; }
    QAction& CopyAction() { return *copy_; }

    enum Column { kCondition, kCaptures, kBaseline, kScore, kColumns };

signals:
    void causeChosen(const QString& condition);
    void keepAsked(const QString& condition);

protected:
    void changeEvent(QEvent* event) override;

private:
    struct Search {
        quillon::Series series;
        std::vector<quillon::FieldSpec> fields;
        quillon::CauseSearch search;
    };
    void Start(Search search);
    // The search's end, on the window's thread: the next searched, or
    // what it found listed (what went wrong shown).
    void Ended(std::optional<quillon::CauseFinding> found, const std::exception_ptr& error);
    void RetranslateUi();
    // What the list holds, in the current language.
    void Summarize();
    // The folded candidates' tooltips, in the current language.
    void SayFolded();
    void Chosen(const QTreeWidgetItem* item);

    quillon::CauseFinding finding_;
    QLabel* heading_;
    QLabel* summary_;
    QTreeWidget* list_;
    QPushButton* keep_;
    QAction* copy_;
    QAction* keep_action_;
    std::thread worker_;
    std::atomic<bool> cancelled_{false};
    std::optional<Search> next_;
};
