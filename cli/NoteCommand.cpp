#include "NoteCommand.h"

#include "LogAnalysis.h"
#include "LogCommands.h"
#include "LogFile.h"
#include "LogTimeline.h"
#include "Messages.h"
#include "ParallelFiles.h"
#include "Series.h"

#include <QString>

#include <algorithm>
#include <chrono>

namespace quillon::cli {

namespace {

// A sidecar that does not read: note refuses it, show and find pass over it.
bool sidecar_unread(NotesProblem problem)
{
    return problem == NotesProblem::NotNotes || problem == NotesProblem::TooLarge ||
           problem == NotesProblem::CannotRead;
}

Exit status_of(NotesProblem problem)
{
    switch (problem) {
    case NotesProblem::None: return kDone;
    case NotesProblem::EmptyText:
    case NotesProblem::BadTag:
    case NotesProblem::NeverWritten: return kUsage;
    case NotesProblem::NotNotes:
    case NotesProblem::TooLarge:
    case NotesProblem::CannotRead: return kUnreadableLog;
    case NotesProblem::CannotWrite: return kFileError;
    case NotesProblem::NoSuchNote: break;
    }
    return kNoMatch;
}

// "#overload #axis2", "" for none.
std::string tags_text(const Note& note)
{
    std::string text;
    for (const std::string& tag : note.tags) {
        text += (text.empty() ? "#" : " #") + tag;
    }
    return text;
}

// note --list: ID, the record or "log", the tags and the text, between tabs.
std::string list_text(const std::vector<Note>& notes)
{
    std::string text;
    for (const Note& note : notes) {
        text += with_control_characters_escaped(note.id) + "\t" +
                (note.record ? std::to_string(*note.record) : "log") + "\t" + tags_text(note) +
                "\t" + with_control_characters_escaped(note.text) + "\n";
    }
    return text;
}

bool usage_refused(const std::string& why)
{
    show_error(why);
    return false;
}

// Whether the options make one of the note command's three uses.
bool one_use(const Invocation& call)
{
    const Options& options = call.line.options;
    const bool has_text = call.line.arguments.size() > 1;
    const int uses = int(has_text) + int(options.list_notes) + int(options.remove_note.has_value());
    if (uses != 1) {
        return usage_refused(
            "note takes FILE [--record N] [--tag TAG]... TEXT, FILE --list or FILE --remove ID");
    }
    if (!has_text && (options.record || !options.tags.empty())) {
        return usage_refused("--record and --tag go with a note's TEXT");
    }
    return true;
}

// What find makes of one log's notes: its lines, or why the log or its
// sidecar could not be read.
struct NotesFound {
    std::string output;
    std::string error;    // the log: the status is 7
    std::string warning;  // the sidecar: passed over
    bool found = false;
};

bool wanted(const Note& note, const Options& options)
{
    const bool has_word =
        !options.note_word || QString::fromStdString(note.text).contains(
                                  QString::fromStdString(*options.note_word), Qt::CaseInsensitive);
    return has_word && std::ranges::all_of(options.tags, [&note](const std::string& tag) {
               return has_tag(note, tag);
           });
}

NotesFound notes_in(const std::string& path, const Options& options)
{
    NotesFound found;
    try {
        static_cast<void>(read_log_file(path));
    } catch (const std::exception& error) {
        found.error = error.what();
        return found;
    }
    const NotesRead read = read_notes(path);
    if (read.problem != NotesProblem::None) {
        found.warning =
            notes_problem_text(path, read.problem, read.detail) + "; its notes are left out";
        return found;
    }
    for (const Note& note : read.notes) {
        if (!wanted(note, options)) {
            continue;
        }
        found.found = true;
        if (options.json) {
            JsonLine object;
            found.output +=
                add_file_name(object, "file", path).add("note", note_json(note)).text() + "\n";
        } else {
            found.output += path + (note.record ? ":" + std::to_string(*note.record) : "") + ": " +
                            with_control_characters_escaped(note.text) + "\n";
        }
    }
    return found;
}

}  // namespace

std::string notes_problem_text(const std::string& log, NotesProblem problem,
                               const std::string& detail)
{
    const std::string sidecar = notes_path(log).string();
    std::string shown = with_control_characters_escaped(detail);
    switch (problem) {
    case NotesProblem::NotNotes: return sidecar + ": not a notes file: " + shown;
    case NotesProblem::TooLarge:
        return sidecar + ": larger than " + std::to_string(kMostNotesBytes) +
               " bytes, the most a notes file may hold";
    case NotesProblem::CannotRead:
    case NotesProblem::CannotWrite: return shown;
    case NotesProblem::EmptyText: return "note takes a TEXT that is not blank";
    case NotesProblem::BadTag:
        return "--tag takes one word, without blanks or another '#', not '" + shown + "'";
    case NotesProblem::NeverWritten: return log + ": record " + shown + " was never written";
    case NotesProblem::NoSuchNote: return sidecar + ": no note has the id " + shown;
    case NotesProblem::None: break;
    }
    return {};
}

std::string note_line(const Note& note)
{
    const std::string tags = tags_text(note);
    return "Note " + with_control_characters_escaped(note.id) + (tags.empty() ? "" : " " + tags) +
           ": " + with_control_characters_escaped(note.text);
}

std::vector<Note> notes_or_say_why(const std::string& log)
{
    NotesRead read = read_notes(log);
    if (read.problem != NotesProblem::None) {
        show_error(notes_problem_text(log, read.problem, read.detail) + "; its notes are left out");
    }
    return std::move(read.notes);
}

Exit note_on_log(const Invocation& call)
{
    if (!one_use(call)) {
        return kUsage;
    }
    const Options& options = call.line.options;
    const std::string& path = call.line.arguments[0];
    const auto log = read_log_file_or_show_why(path);
    if (!log) {
        return kUnreadableLog;
    }
    if (options.list_notes) {
        const NotesRead read = read_notes(path);
        if (read.problem != NotesProblem::None) {
            show_error(notes_problem_text(path, read.problem, read.detail));
            return status_of(read.problem);
        }
        JsonLine object;
        print(
            options.json
                ? add_file_name(object, "file", path).add("notes", notes_json(read.notes)).text() +
                      "\n"
                : list_text(read.notes));
        return kDone;
    }
    const NoteChange change =
        options.remove_note
            ? remove_note(path, *options.remove_note)
            : add_note(path, log_timeline(*log), options.record, call.line.arguments[1],
                       options.tags, std::chrono::system_clock::now());
    if (change.problem != NotesProblem::None) {
        show_error(notes_problem_text(path, change.problem, change.detail) +
                   (sidecar_unread(change.problem) ? "; no note is written over it" : ""));
        return status_of(change.problem);
    }
    if (!options.remove_note) {
        print(options.json ? note_json(*change.note).text() + "\n" : change.note->id + "\n");
    }
    return kDone;
}

bool finds_notes(const Options& options)
{
    return options.note_word || !options.tags.empty();
}

Exit find_notes(const Invocation& call)
{
    const Options& options = call.line.options;
    if (options.fired || options.count_records || !options.where.empty()) {
        show_error("find --note and --tag take FILE|DIR... alone: no --fired, --where or --count");
        return kUsage;
    }
    const SeriesFiles named = series_files(call.line.arguments);
    bool unreadable = !named.refused.empty();
    for (const UnreadableFile& folder : named.refused) {
        show_error(folder.reason);
    }
    std::vector<NotesFound> findings(named.files.size());
    for_each_index_in_parallel(named.files.size(), [&](std::size_t i) {
        findings[i] = notes_in(named.files[i], options);
    });
    bool found = false;
    for (const NotesFound& finding : findings) {
        if (!finding.error.empty()) {
            show_error(finding.error);
            unreadable = true;
        }
        if (!finding.warning.empty()) {
            show_error(finding.warning);
        }
        found = found || finding.found;
        print(finding.output);
    }
    if (unreadable) {
        return kUnreadableLog;
    }
    return found ? kDone : kNoMatch;
}

}  // namespace quillon::cli
