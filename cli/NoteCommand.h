// quillon-cli's notes: the note command, find --note and --tag, and the
// notes that show and series print with a log.
#pragma once

#include "CommandLine.h"
#include "JsonLine.h"
#include "Notes.h"

#include <string>
#include <vector>

namespace quillon::cli {

// note FILE [--record N] [--tag TAG]... TEXT, note FILE --list [--json],
// note FILE --remove ID.
Exit note_on_log(const Invocation& call);

// find --note WORD and/or --tag TAG... FILE|DIR...: the notes that hold
// them, one a line.
Exit find_notes(const Invocation& call);

// A problem of the engine's notes worded for standard error, naming the
// file: "LOG.notes.json: not a notes file: \"version\" is not 1".
std::string notes_problem_text(const std::string& log, NotesProblem problem,
                               const std::string& detail);

// Whether find is asked for notes rather than records.
bool finds_notes(const Options& options);

// The notes of a log; none when its sidecar does not read, which is said
// on standard error (the sidecar and why) and changes no status.
std::vector<Note> notes_or_say_why(const std::string& log);

// "Note n2 #overload: the text", control characters escaped.
std::string note_line(const Note& note);

}  // namespace quillon::cli
