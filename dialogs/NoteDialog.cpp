#include "NoteDialog.h"

#include "MessageBoxes.h"
#include "Messages.h"
#include "Seams.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QVBoxLayout>

#include <chrono>

namespace {

QString shown_path(const std::filesystem::path& path)
{
    return QDir::toNativeSeparators(QFile::decodeName(QByteArray::fromStdString(path.string())));
}

}  // namespace

QString notes_problem_text(const std::filesystem::path& log, quillon::NotesProblem problem,
                           const std::string& detail)
{
    using quillon::NotesProblem;
    const QString sidecar = shown_path(quillon::notes_path(log));
    const QString said = QString::fromStdString(detail);
    switch (problem) {
    case NotesProblem::None: break;
    // The engine's reasons, in the user's language where the catalogue has
    // them; these two name their file already ("PATH: reason").
    case NotesProblem::CannotRead:
    case NotesProblem::CannotWrite: return quillon::worded_message(detail);
    case NotesProblem::NotNotes:
        return NoteDialog::tr("%1 is not a notes file: %2")
            .arg(sidecar, quillon::worded_message(detail));
    case NotesProblem::TooLarge: {
        constexpr std::size_t kMegabyte = std::size_t{1024} * 1024;
        return NoteDialog::tr("%1 is larger than %2 MB.")
            .arg(sidecar)
            .arg(quillon::kMostNotesBytes / kMegabyte);
    }
    case NotesProblem::EmptyText: return NoteDialog::tr("A note needs a text.");
    case NotesProblem::BadTag:
        return NoteDialog::tr("\"%1\" is not a tag: a tag is one word.").arg(said);
    case NotesProblem::NeverWritten:
        return NoteDialog::tr("Record %1 was never written.").arg(said);
    case NotesProblem::NoSuchNote: return NoteDialog::tr("%1 holds no note %2.").arg(sidecar, said);
    }
    return {};
}

namespace {

// What was not done, then why.
void show_notes_problem(const QString& what, const std::filesystem::path& log,
                        quillon::NotesProblem problem, const std::string& detail)
{
    quillon::show_error((what + "\n" + notes_problem_text(log, problem, detail)).toStdString());
}

}  // namespace

NoteDialog::NoteDialog(QString what, QWidget* parent)
    : QDialog(parent), what_(std::move(what)), what_label_(new QLabel(this)),
      text_label_(new QLabel(this)), text_(new QLineEdit(this)), tags_label_(new QLabel(this)),
      tags_(new QLineEdit(this)),
      buttons_(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this))
{
    setObjectName("dlgNote");
    what_label_->setObjectName("lblNoteOn");
    text_->setObjectName("edtNoteText");
    tags_->setObjectName("edtNoteTags");
    what_label_->setWordWrap(true);
    what_label_->setTextFormat(Qt::PlainText);
    text_label_->setBuddy(text_);
    tags_label_->setBuddy(tags_);
    text_->setMinimumWidth(fontMetrics().averageCharWidth() * 50);
    auto* fields = new QFormLayout;
    fields->addRow(text_label_, text_);
    fields->addRow(tags_label_, tags_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(what_label_);
    layout->addLayout(fields);
    layout->addWidget(buttons_);
    connect(buttons_, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);
    // Return writes the note once it has a text.
    QPushButton* ok = buttons_->button(QDialogButtonBox::Ok);
    ok->setDefault(true);
    ok->setEnabled(false);
    connect(text_, &QLineEdit::textChanged, ok, [this, ok] { ok->setEnabled(!Text().isEmpty()); });
    text_->setFocus();
    RetranslateUi();
}

void NoteDialog::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange) {
        RetranslateUi();
    }
    QDialog::changeEvent(event);
}

void NoteDialog::RetranslateUi()
{
    setWindowTitle(tr("Note"));
    what_label_->setText(what_);
    text_label_->setText(tr("&Text:"));
    tags_label_->setText(tr("T&ags:"));
    text_->setAccessibleName(tr("Text"));
    tags_->setAccessibleName(tr("Tags"));
    tags_->setPlaceholderText(tr("#overload #axis2"));
}

QString NoteDialog::Text() const
{
    return text_->text().trimmed();
}

std::vector<std::string> NoteDialog::Tags() const
{
    static const QRegularExpression between(R"([\s,]+)");
    std::vector<std::string> tags;
    for (const QString& word : tags_->text().split(between, Qt::SkipEmptyParts)) {
        tags.push_back(word.toStdString());
    }
    return tags;
}

QString note_line(const quillon::Note& note)
{
    QString line = QString::fromStdString(note.text);
    for (const std::string& tag : note.tags) {
        line += " #" + QString::fromStdString(tag);
    }
    return line;
}

std::vector<quillon::Note> read_notes_or_explain(const std::filesystem::path& log)
{
    quillon::NotesRead read = quillon::read_notes(log);
    if (read.problem != quillon::NotesProblem::None) {
        show_notes_problem(NoteDialog::tr("The notes of %1 are not shown.")
                               .arg(QFileInfo(shown_path(log)).fileName()),
                           log, read.problem, read.detail);
    }
    return std::move(read.notes);
}

std::optional<quillon::Note> ask_and_add_note(const std::filesystem::path& log,
                                              const quillon::LogTimeline& timeline,
                                              std::optional<int> record, const QString& what,
                                              QWidget* parent)
{
    NoteDialog dialog(what, parent);
    if (quillon::run_modal(dialog) != QDialog::Accepted) {
        return std::nullopt;
    }
    const auto now = std::chrono::system_clock::time_point(
        std::chrono::milliseconds(quillon::local_now().toMSecsSinceEpoch()));
    quillon::NoteChange added =
        quillon::add_note(log, timeline, record, dialog.Text().toStdString(), dialog.Tags(), now);
    if (added.problem != quillon::NotesProblem::None) {
        show_notes_problem(NoteDialog::tr("The note was not written."), log, added.problem,
                           added.detail);
        return std::nullopt;
    }
    return std::move(added.note);
}

bool remove_note_or_explain(const std::filesystem::path& log, const std::string& id)
{
    const quillon::NoteChange removed = quillon::remove_note(log, id);
    if (removed.problem != quillon::NotesProblem::None) {
        show_notes_problem(NoteDialog::tr("The note was not removed."), log, removed.problem,
                           removed.detail);
        return false;
    }
    return true;
}
