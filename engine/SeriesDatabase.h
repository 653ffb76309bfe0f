// A series written as an SQLite database, for the questions that the
// series' own views do not answer: each capture, all its records with their
// bytes, its fields' values and its notes, in four tables whose columns are
// named as show's CSV names them:
//   captures (id, file, time, stop_condition, fired_record, command,
//             reference, kept)
//   records (capture, record, offset, written, recv_0..recv_15,
//            send_0..send_15, meets_condition)
//   field_values (capture, record, field, raw, value, value_name)
//   notes (capture, record, text, tags)
// The database is written in one transaction into a temporary file beside
// the target and renamed over it when whole, so that a half-written
// database is never left, whatever fails.
#pragma once

#include "Fields.h"
#include "Notes.h"
#include "Series.h"

#include <cstddef>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace quillon {

// What the database says of the captures beyond their logs.
struct DatabaseCaptures {
    // For each capture, whether a condition kept it; all are kept when empty.
    std::vector<bool> kept;
    // The capture the others were held against; none when there is none.
    std::optional<std::size_t> reference;
};

// A capture whose notes could not be read: it goes in without them.
struct UnreadNotes {
    std::string file;  // the capture's
    NotesRead read;    // its problem and detail
};

struct DatabaseWrite {
    // Empty when the database was written; else the message: "Cannot write
    // the file PATH: REASON." (SQLite's reason or the system's), the target
    // left as it was.
    std::string error;
    std::vector<UnreadNotes> unread_notes;

    bool written() const { return error.empty(); }
};

// Writes the series' captures, in their order (their id counted from 1),
// with their records read on the fields given, to target.
DatabaseWrite write_series_database(const std::filesystem::path& target, const Series& series,
                                    std::span<const FieldSpec> fields,
                                    const DatabaseCaptures& captures);

}  // namespace quillon
