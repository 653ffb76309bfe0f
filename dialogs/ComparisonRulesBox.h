// The rules of a comparison collected in a group of controls: Ignore or
// Only, a direction, a byte and a mask typed, added to a list and removed
// from it. The box only collects them; the engine's comparison applies
// them. Says when the list changes (rulesChanged).
#pragma once

#include "LogAnalysis.h"
#include "Settings.h"

#include <QGroupBox>

#include <span>
#include <vector>

class QComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;

class ComparisonRulesBox : public QGroupBox {
    Q_OBJECT

public:
    explicit ComparisonRulesBox(QWidget* parent = nullptr);

    // The rules listed, replaced without a word (rulesChanged is not
    // emitted).
    void SetRules(std::vector<quillon::ComparisonRule> rules);
    const std::vector<quillon::ComparisonRule>& Rules() const { return rules_; }
    // The rules split as the engine's comparison takes them.
    std::vector<quillon::IgnoreRule> IgnoreRules() const;
    std::vector<quillon::OnlyRule> OnlyRules() const;

    // The rule typed added to the list; the reason shown and nothing
    // added when the byte or the mask does not read (a text that is no
    // integer throws ConversionError, as the find row's fields do).
    void btnAddRuleClick();
    // The rule chosen in the list removed.
    void btnRemoveRuleClick();

    QRadioButton& OnlyButton() { return *only_; }
    QComboBox& DirectionBox() { return *direction_; }
    QLineEdit& ByteEdit() { return *byte_; }
    QLineEdit& MaskEdit() { return *mask_; }
    QPushButton& AddButton() { return *add_; }
    QPushButton& RemoveButton() { return *remove_; }
    QListWidget& List() { return *list_; }

signals:
    void rulesChanged();

protected:
    void changeEvent(QEvent* event) override;

private:
    void RetranslateUi();

    std::vector<quillon::ComparisonRule> rules_;
    QRadioButton* ignore_;
    QRadioButton* only_;
    QComboBox* direction_;
    QLineEdit* byte_;
    QLineEdit* mask_;
    QPushButton* add_;
    QListWidget* list_;
    QPushButton* remove_;
};

// "Ignore Send[5] & 0x01", "Only Recv[3] & 0xFF": a rule as a list shows it.
QString rule_caption(const quillon::ComparisonRule& rule);
