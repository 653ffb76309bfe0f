#include "SeriesDatabase.h"

#include "AtomicFile.h"
#include "LogAnalysis.h"
#include "RecordColumns.h"

#include <sqlite3.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string_view>

namespace quillon {

namespace {

// Why the database could not be written: SQLite's reason or the system's.
class DatabaseError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

[[noreturn]] void fail(sqlite3* db)
{
    throw DatabaseError(sqlite3_errmsg(db));
}

// An SQLite database open for writing and the statements prepared on it:
// each failure thrown as a DatabaseError with SQLite's reason, every handle
// released however the writing ends.
class Database {
public:
    class Statement {
    public:
        Statement(sqlite3* db, std::string_view sql) : db_(db)
        {
            sqlite3_stmt* statement = nullptr;
            const int prepared =
                sqlite3_prepare_v2(db, sql.data(), int(sql.size()), &statement, nullptr);
            statement_.reset(statement);
            if (prepared != SQLITE_OK) {
                fail(db);
            }
        }

        Statement& bind(int parameter, std::int64_t value)
        {
            return check(sqlite3_bind_int64(statement_.get(), parameter, value));
        }
        Statement& bind(int parameter, double value)
        {
            return check(sqlite3_bind_double(statement_.get(), parameter, value));
        }
        // The text is not copied: it must live until run(), bound and run
        // in one expression.
        Statement& bind(int parameter, std::string_view text)
        {
            return check(sqlite3_bind_text64(statement_.get(), parameter, text.data(), text.size(),
                                             SQLITE_STATIC, SQLITE_UTF8));
        }
        template <typename T>
        Statement& bind(int parameter, const std::optional<T>& value)
        {
            return value ? bind(parameter, *value)
                         : check(sqlite3_bind_null(statement_.get(), parameter));
        }

        // Runs it with the values bound, and readies it for the next.
        void run()
        {
            if (sqlite3_step(statement_.get()) != SQLITE_DONE) {
                fail(db_);
            }
            sqlite3_reset(statement_.get());
        }

    private:
        Statement& check(int result)
        {
            if (result != SQLITE_OK) {
                fail(db_);
            }
            return *this;
        }

        struct Finalize {
            void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
        };
        sqlite3* db_;
        std::unique_ptr<sqlite3_stmt, Finalize> statement_;
    };

    explicit Database(const std::string& path)
    {
        sqlite3* db = nullptr;
        const int opened = sqlite3_open_v2(
            path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
            nullptr);
        // A handle comes back on most failures too, to say why and be closed.
        db_.reset(db);
        if (opened != SQLITE_OK) {
            fail(db);
        }
    }

    void execute(const std::string& sql)
    {
        if (sqlite3_exec(db_.get(), sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
            fail(db_.get());
        }
    }

    Statement prepare(std::string_view sql) { return {db_.get(), sql}; }

    // Closes it, its statements finalized before: what it holds is then in
    // its file.
    void close()
    {
        if (sqlite3_close(db_.get()) != SQLITE_OK) {
            fail(db_.get());
        }
        static_cast<void>(db_.release());
    }

private:
    struct Close {
        void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
    };
    std::unique_ptr<sqlite3, Close> db_;
};

void create_tables(Database& db)
{
    const auto& [meets_key, offset_key, written_key] = kRecordStateKeys;
    std::string records = std::string("CREATE TABLE records (capture INTEGER NOT NULL, ") +
                          kRecordNumberKey + " INTEGER NOT NULL, " + offset_key + " INTEGER, " +
                          written_key + " INTEGER NOT NULL";
    for (const RecordColumn& column : byte_columns()) {
        records += ", " + column.key + " INTEGER NOT NULL";
    }
    records += std::string(", ") + meets_key + " INTEGER, PRIMARY KEY (capture, " +
               kRecordNumberKey + ")) WITHOUT ROWID;";
    db.execute(
        "CREATE TABLE captures (id INTEGER PRIMARY KEY, file TEXT NOT NULL, time TEXT NOT NULL, "
        "stop_condition TEXT NOT NULL, fired_record INTEGER, command INTEGER, "
        "reference INTEGER NOT NULL, kept INTEGER NOT NULL);" +
        records +
        "CREATE TABLE field_values (capture INTEGER NOT NULL, record INTEGER NOT NULL, "
        "field TEXT NOT NULL, raw INTEGER NOT NULL, value REAL NOT NULL, value_name TEXT);"
        "CREATE TABLE notes (capture INTEGER NOT NULL, record INTEGER, text TEXT NOT NULL, "
        "tags TEXT NOT NULL);");
}

// Made once the rows are in, which is quicker than keeping them up to date.
void create_indexes(Database& db)
{
    db.execute(
        "CREATE INDEX captures_by_time ON captures (time);"
        "CREATE INDEX captures_by_command ON captures (command);"
        "CREATE INDEX records_by_offset ON records (offset, capture);"
        "CREATE INDEX field_values_by_record ON field_values (capture, record, field);"
        "CREATE INDEX field_values_by_field ON field_values (field);"
        "CREATE INDEX notes_by_capture ON notes (capture, record);");
}

// "?, ?, ?": count parameters.
std::string parameters(std::size_t count)
{
    std::string text = "?";
    for (std::size_t i = 1; i < count; ++i) {
        text += ", ?";
    }
    return text;
}

// The tags as one text, a space between them: tags hold none.
std::string tags_text(const std::vector<std::string>& tags)
{
    std::string text;
    for (const std::string& tag : tags) {
        text += (text.empty() ? "" : " ") + tag;
    }
    return text;
}

class SeriesWriter {
public:
    SeriesWriter(Database& db, std::span<const FieldSpec> fields)
        : fields_(fields),
          capture_(db.prepare("INSERT INTO captures VALUES (" + parameters(8) + ")")),
          record_(
              db.prepare("INSERT INTO records VALUES (" + parameters(4 + kRecordBytes + 1) + ")")),
          value_(db.prepare("INSERT INTO field_values VALUES (" + parameters(6) + ")")),
          note_(db.prepare("INSERT INTO notes VALUES (" + parameters(4) + ")"))
    {
    }

    void write(std::int64_t id, const SeriesCapture& capture, bool kept, bool reference)
    {
        const LogTimeline& timeline = capture.timeline;
        capture_.bind(1, id)
            .bind(2, std::string_view(capture.file))
            .bind(3, std::string_view(capture_time_text(capture.time)))
            .bind(4, std::string_view(stop_condition_text(capture.log)))
            .bind(5, optional_number(timeline.fired))
            .bind(6, optional_number(capture.command))
            .bind(7, std::int64_t(reference))
            .bind(8, std::int64_t(kept))
            .run();
        const StopConditionMatch match = match_stop_condition(capture.log);
        const bool meets_told = match.answer == StopConditionMatch::Answer::Checked;
        for (int i = 0; i < kLogRecords; ++i) {
            const LogRecord& bytes = capture.log.records[std::size_t(i)];
            const bool written = timeline.is_written(i);
            record_.bind(1, id)
                .bind(2, std::int64_t(i))
                .bind(3, optional_number(timeline.offset(i)))
                .bind(4, std::int64_t(written));
            int parameter = 5;
            for (const std::uint8_t byte : bytes) {
                record_.bind(parameter++, std::int64_t(byte));
            }
            record_
                .bind(parameter,
                      meets_told ? std::optional<std::int64_t>(match.meets_record[std::size_t(i)])
                                 : std::nullopt)
                .run();
            if (written) {
                write_values(id, i, bytes);
            }
        }
    }

    // The notes on a capture; none, and why, when they cannot be read.
    void write_notes(std::int64_t id, const NotesRead& read)
    {
        for (const Note& note : read.notes) {
            note_.bind(1, id)
                .bind(2, optional_number(note.record))
                .bind(3, std::string_view(note.text))
                .bind(4, std::string_view(tags_text(note.tags)))
                .run();
        }
    }

private:
    template <typename T>
    static std::optional<std::int64_t> optional_number(const std::optional<T>& value)
    {
        return value ? std::optional<std::int64_t>(*value) : std::nullopt;
    }

    void write_values(std::int64_t id, int record, const LogRecord& bytes)
    {
        for (const FieldSpec& field : fields_) {
            const auto value = field_value(field, bytes);
            if (!value) {
                continue;
            }
            value_.bind(1, id)
                .bind(2, std::int64_t(record))
                .bind(3, std::string_view(field.name))
                .bind(4, std::int64_t(value->raw))
                .bind(5, value->value)
                .bind(6, value->name)
                .run();
        }
    }

    std::span<const FieldSpec> fields_;
    Database::Statement capture_;
    Database::Statement record_;
    Database::Statement value_;
    Database::Statement note_;
};

void write_tables(Database& db, const Series& series, std::span<const FieldSpec> fields,
                  const DatabaseCaptures& captures, std::vector<UnreadNotes>& unread)
{
    // The file is new and is thrown away on any failure: it needs no
    // journal, and is synced once, whole.
    db.execute(
        "PRAGMA page_size = 65536; PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF;"
        "PRAGMA locking_mode = EXCLUSIVE; PRAGMA cache_size = -65536; PRAGMA threads = 2;"
        "BEGIN;");
    create_tables(db);
    {
        SeriesWriter writer(db, fields);
        for (std::size_t c = 0; c < series.captures.size(); ++c) {
            const SeriesCapture& capture = series.captures[c];
            const auto id = std::int64_t(c + 1);
            writer.write(id, capture, captures.kept.empty() || captures.kept[c],
                         captures.reference == c);
            NotesRead notes = read_notes(capture.file);
            if (notes.problem != NotesProblem::None) {
                unread.push_back({capture.file, std::move(notes)});
                continue;
            }
            writer.write_notes(id, notes);
        }
    }
    create_indexes(db);
    db.execute("COMMIT;");
}

}  // namespace

DatabaseWrite write_series_database(const std::filesystem::path& target, const Series& series,
                                    std::span<const FieldSpec> fields,
                                    const DatabaseCaptures& captures)
{
    DatabaseWrite result;
    try {
        replace_file_by(target.string(), [&](const std::string& temporary) {
            Database db(temporary);
            write_tables(db, series, fields, captures, result.unread_notes);
            db.close();
        });
    } catch (const DatabaseError& error) {
        result.error = write_error(target.string(), error.what()).what();
    } catch (const std::runtime_error& error) {
        result.error = error.what();  // from replace_file_by, the file named
    }
    return result;
}

}  // namespace quillon
