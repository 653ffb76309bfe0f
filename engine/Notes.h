// Notes on a log file and on its records, kept in a sidecar beside the log
// ("LOG.notes.json", UTF-8 JSON: {"version": 1, "notes": [ then a note a
// line, note_json's members in their order, then ]}), so that a log is never
// changed by a note and copying a log with its sidecar carries its notes. A
// sidecar is
// replaced whole (a temporary file renamed over it) under a lock held on
// the log itself, which a note never replaces: two programs writing notes
// to one log each read the other's before they write.
#pragma once

#include "JsonLine.h"
#include "LogTimeline.h"

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace quillon {

struct Note {
    std::string id;                 // "n1": unique within its sidecar
    std::optional<int> record;      // the record noted; none for the log's own note
    std::string text;               // never empty
    std::vector<std::string> tags;  // without '#': "overload"
    std::string written;            // UTC, ISO 8601: "2026-12-09T07:42:10Z"
};

// Why notes could not be read or written.
enum class NotesProblem {
    None,
    CannotRead,    // the sidecar (or the log, to lock it) cannot be read: detail
    NotNotes,      // the sidecar is not notes: detail says where and what
    TooLarge,      // the sidecar is larger than kMostNotesBytes
    CannotWrite,   // detail: the system's reason
    EmptyText,     // a note without text
    BadTag,        // a tag empty or holding a space or '#': detail is the tag
    NeverWritten,  // a record the log never wrote: detail is its number
    NoSuchNote,    // no note with that id: detail is the id
};

struct NotesRead {
    std::vector<Note> notes;  // in the order written; none when problem is not None
    NotesProblem problem = NotesProblem::None;
    std::string detail;
};

// What a change of the notes gives: the note added (or removed), or why not.
struct NoteChange {
    std::optional<Note> note;
    NotesProblem problem = NotesProblem::None;
    std::string detail;
};

inline constexpr std::size_t kMostNotesBytes = std::size_t{16} * 1024 * 1024;

// "LOG.notes.json" beside the log.
std::filesystem::path notes_path(const std::filesystem::path& log);

// The notes of a log: none, and no problem, when it has no sidecar.
NotesRead read_notes(const std::filesystem::path& log);

// The notes on one record, or the log's own notes (record none), in order.
std::vector<Note> notes_on(const std::vector<Note>& notes, std::optional<int> record);

// Whether a note has a tag (given with or without its '#', any case).
bool has_tag(const Note& note, std::string_view tag);

// A tag as kept: without a leading '#'; nothing when it is empty or holds
// white space (an ideographic space too), a control character or another
// '#'.
std::optional<std::string> tag_as_kept(std::string_view tag);

// A note as the sidecar holds it and quillon-cli writes it: {"id",
// "record" (null for the log's own), "text", "tags", "written"}.
JsonLine note_json(const Note& note);
// Notes as a list of note_json objects, in their order.
std::vector<JsonLine> notes_json(std::span<const Note> notes);

// Adds a note to a log whose records are as timeline says, written at now:
// the sidecar read anew under the lock, the note given the next id. A
// sidecar that does not read is never written over.
NoteChange add_note(const std::filesystem::path& log, const LogTimeline& timeline,
                    std::optional<int> record, const std::string& text,
                    const std::vector<std::string>& tags,
                    std::chrono::system_clock::time_point now);

// Removes the note with that id, the same way.
NoteChange remove_note(const std::filesystem::path& log, const std::string& id);

}  // namespace quillon
