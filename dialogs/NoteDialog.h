// Notes as the windows write them: one small dialog that asks for a note's
// text and its tags (words, with or without '#'), shared by the log browser
// and the series window; the note written or removed through the engine,
// and what went wrong said in the user's words, naming the sidecar.
#pragma once

#include "LogTimeline.h"
#include "Notes.h"

#include <QDialog>
#include <QString>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

class QDialogButtonBox;
class QLabel;
class QLineEdit;

class NoteDialog : public QDialog {
    Q_OBJECT

public:
    // what: what the note is on, above the text ("Note on record 124 of
    // Autolog_....txt").
    explicit NoteDialog(QString what, QWidget* parent = nullptr);

    QLineEdit& TextLine() { return *text_; }
    QLineEdit& TagsLine() { return *tags_; }
    // The text typed, without white space around it.
    QString Text() const;
    // The words of the tags line (spaces or commas between), as typed:
    // "#overload", "axis2".
    std::vector<std::string> Tags() const;

protected:
    void changeEvent(QEvent* event) override;

private:
    void RetranslateUi();

    QString what_;
    QLabel* what_label_;
    QLabel* text_label_;
    QLineEdit* text_;
    QLabel* tags_label_;
    QLineEdit* tags_;
    QDialogButtonBox* buttons_;
};

// A note on one line: its text, then its tags ("overload after 50 mm
// #overload").
QString note_line(const quillon::Note& note);

// Why the notes of a log could not be read or changed, naming the sidecar.
QString notes_problem_text(const std::filesystem::path& log, quillon::NotesProblem problem,
                           const std::string& detail);

// The notes of a log read, or a message naming the sidecar and the reason
// when it does not read (then none).
std::vector<quillon::Note> read_notes_or_explain(const std::filesystem::path& log);

// Asks for a note on a record of the log (none: on the log itself) and
// writes it; what: what the dialog says it is on. The note written;
// nothing when the user cancelled or it was refused (the reason shown).
std::optional<quillon::Note> ask_and_add_note(const std::filesystem::path& log,
                                              const quillon::LogTimeline& timeline,
                                              std::optional<int> record, const QString& what,
                                              QWidget* parent);

// Removes a note; false when it could not be (the reason shown).
bool remove_note_or_explain(const std::filesystem::path& log, const std::string& id);
