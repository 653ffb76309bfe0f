#include "ComparisonRulesBox.h"

#include "GuardedHandlers.h"
#include "Messages.h"

#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <initializer_list>

QString rule_caption(const quillon::ComparisonRule& rule)
{
    const QString masked = QString::fromStdString(
        quillon::masked_byte_text(rule.bits.direction, rule.bits.byte, rule.bits.mask));
    return rule.only ? ComparisonRulesBox::tr("Only %1").arg(masked)
                     : ComparisonRulesBox::tr("Ignore %1").arg(masked);
}

ComparisonRulesBox::ComparisonRulesBox(QWidget* parent)
    : QGroupBox(parent), ignore_(new QRadioButton(this)), only_(new QRadioButton(this)),
      direction_(new QComboBox(this)), byte_(new QLineEdit(this)), mask_(new QLineEdit(this)),
      add_(new QPushButton(this)), list_(new QListWidget(this)), remove_(new QPushButton(this))
{
    setObjectName("grbRules");
    ignore_->setObjectName("rbnRuleIgnore");
    only_->setObjectName("rbnRuleOnly");
    direction_->setObjectName("cbxRuleDirection");
    byte_->setObjectName("edtRuleByte");
    mask_->setObjectName("edtRuleMask");
    add_->setObjectName("btnAddRule");
    list_->setObjectName("lbxRules");
    remove_->setObjectName("btnRemoveRule");
    ignore_->setChecked(true);
    direction_->addItems({QString(), QString()});
    byte_->setMaximumWidth(60);
    mask_->setMaximumWidth(60);
    mask_->setText("0xFF");
    // A few rules in sight; more scroll.
    list_->setMaximumHeight(4 * fontMetrics().height() + 8);

    auto* typed = new QHBoxLayout;
    typed->addWidget(ignore_);
    typed->addWidget(only_);
    typed->addWidget(direction_);
    auto* byte_label = new QLabel(this);
    byte_label->setObjectName("lblRuleByte");
    byte_label->setBuddy(byte_);
    typed->addWidget(byte_label);
    typed->addWidget(byte_);
    auto* mask_label = new QLabel(this);
    mask_label->setObjectName("lblRuleMask");
    mask_label->setBuddy(mask_);
    typed->addWidget(mask_label);
    typed->addWidget(mask_);
    typed->addWidget(add_);
    typed->addStretch();
    auto* listed = new QHBoxLayout;
    listed->addWidget(list_, 1);
    auto* list_buttons = new QVBoxLayout;
    list_buttons->addWidget(remove_);
    list_buttons->addStretch();
    listed->addLayout(list_buttons);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(typed);
    layout->addLayout(listed);

    using quillon::on_signal;
    on_signal(add_, &QAbstractButton::clicked, this, &ComparisonRulesBox::btnAddRuleClick);
    on_signal(remove_, &QAbstractButton::clicked, this, &ComparisonRulesBox::btnRemoveRuleClick);
    // Return in the mask adds the rule, as the button would.
    on_signal(mask_, &QLineEdit::returnPressed, this, &ComparisonRulesBox::btnAddRuleClick);
    RetranslateUi();
}

void ComparisonRulesBox::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange) {
        RetranslateUi();
    }
    QGroupBox::changeEvent(event);
}

void ComparisonRulesBox::RetranslateUi()
{
    setTitle(tr("Rules"));
    ignore_->setText(tr("Ignore"));
    only_->setText(tr("Only"));
    // Buttons are named as they read.
    for (QAbstractButton* button : std::initializer_list<QAbstractButton*>{ignore_, only_}) {
        button->setAccessibleName(button->text());
    }
    direction_->setItemText(0, tr("Recv", "the received block"));
    direction_->setItemText(1, tr("Send", "the sent block"));
    direction_->setAccessibleName(tr("Rule Direction"));
    findChild<QLabel*>("lblRuleByte")->setText(tr("Byte"));
    findChild<QLabel*>("lblRuleMask")->setText(tr("Mask"));
    byte_->setAccessibleName(tr("Rule Byte"));
    mask_->setAccessibleName(tr("Rule Mask"));
    add_->setText(tr("Add Rule"));
    add_->setAccessibleName(add_->text());
    list_->setAccessibleName(tr("Comparison Rules"));
    remove_->setText(tr("Remove Rule"));
    remove_->setAccessibleName(remove_->text());
    for (std::size_t row = 0; row < rules_.size(); ++row) {
        list_->item(int(row))->setText(rule_caption(rules_[row]));
    }
}

void ComparisonRulesBox::SetRules(std::vector<quillon::ComparisonRule> rules)
{
    rules_ = std::move(rules);
    list_->clear();
    for (const quillon::ComparisonRule& rule : rules_) {
        list_->addItem(rule_caption(rule));
    }
}

std::vector<quillon::IgnoreRule> ComparisonRulesBox::IgnoreRules() const
{
    std::vector<quillon::IgnoreRule> ignore;
    for (const quillon::ComparisonRule& rule : rules_) {
        if (!rule.only) {
            ignore.push_back(rule.bits);
        }
    }
    return ignore;
}

std::vector<quillon::OnlyRule> ComparisonRulesBox::OnlyRules() const
{
    std::vector<quillon::OnlyRule> only;
    for (const quillon::ComparisonRule& rule : rules_) {
        if (rule.only) {
            only.push_back(rule.bits);
        }
    }
    return only;
}

void ComparisonRulesBox::btnAddRuleClick()
{
    const auto direction =
        direction_->currentIndex() == 1 ? quillon::Direction::Send : quillon::Direction::Recv;
    const auto typed = quillon::ignore_rule_from_text(direction, byte_->text().toStdString(),
                                                      mask_->text().toStdString());
    if (!typed.rule) {
        quillon::show_error(typed.range_error);
        return;
    }
    const quillon::ComparisonRule rule{only_->isChecked(), *typed.rule};
    rules_.push_back(rule);
    list_->addItem(rule_caption(rule));
    emit rulesChanged();
}

void ComparisonRulesBox::btnRemoveRuleClick()
{
    const int row = list_->currentRow();
    if (row < 0 || std::size_t(row) >= rules_.size()) {
        return;
    }
    rules_.erase(rules_.begin() + row);
    delete list_->takeItem(row);
    emit rulesChanged();
}
