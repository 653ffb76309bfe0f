#include "Notes.h"

#include "AtomicFile.h"
#include "FileLock.h"
#include "SmallFile.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include <algorithm>
#include <cctype>
#include <cstring>

namespace quillon {

namespace {

constexpr int kNotesVersion = 1;

NotesRead not_notes(std::string detail)
{
    return {{}, NotesProblem::NotNotes, std::move(detail)};
}

// One note of the sidecar's list, or what is wrong with it.
std::optional<Note> note_of(const QJsonValue& value, std::string& wrong)
{
    if (!value.isObject()) {
        wrong = "not an object";
        return std::nullopt;
    }
    const QJsonObject object = value.toObject();
    Note note;
    const QJsonValue id = object["id"];
    const QJsonValue record = object["record"];
    const QJsonValue text = object["text"];
    if (!id.isString() || id.toString().isEmpty()) {
        wrong = "\"id\" is not a text";
    } else if (!record.isNull() && !record.isUndefined() &&
               !(record.isDouble() && record.toDouble() == record.toInt() && record.toInt() >= 0 &&
                 record.toInt() < kLogRecords)) {
        wrong = "\"record\" is not a record's number";
    } else if (!text.isString() || text.toString().isEmpty()) {
        wrong = "\"text\" is not a text";
    } else if (!object["tags"].isUndefined() && !object["tags"].isArray()) {
        wrong = "\"tags\" is not a list";
    } else if (!object["written"].isUndefined() && !object["written"].isString()) {
        wrong = "\"written\" is not a text";
    }
    if (!wrong.empty()) {
        return std::nullopt;
    }
    note.id = id.toString().toStdString();
    if (record.isDouble()) {
        note.record = record.toInt();
    }
    note.text = text.toString().toStdString();
    note.written = object["written"].toString().toStdString();
    for (const QJsonValue tag : object["tags"].toArray()) {
        const auto kept = tag.isString() ? tag_as_kept(tag.toString().toStdString()) : std::nullopt;
        if (!kept) {
            wrong = "a tag is not one word";
            return std::nullopt;
        }
        note.tags.push_back(*kept);
    }
    return note;
}

NotesRead parse_notes(const std::string& bytes)
{
    QJsonParseError error{};
    const QJsonDocument document =
        QJsonDocument::fromJson(QByteArray::fromStdString(bytes), &error);
    if (document.isNull()) {
        return not_notes("not JSON: " + error.errorString().toStdString() + " at byte " +
                         std::to_string(error.offset));
    }
    const QJsonObject top = document.object();
    if (!document.isObject() || !top["notes"].isArray()) {
        return not_notes("no \"notes\" list");
    }
    if (top["version"] != QJsonValue(kNotesVersion)) {
        return not_notes("\"version\" is not " + std::to_string(kNotesVersion));
    }
    NotesRead read;
    const QJsonArray list = top["notes"].toArray();
    for (qsizetype i = 0; i < list.size(); ++i) {
        std::string wrong;
        auto note = note_of(list[i], wrong);
        // An id held twice would leave a removal to pick one at random.
        if (note && std::any_of(read.notes.begin(), read.notes.end(),
                                [&note](const Note& before) { return before.id == note->id; })) {
            wrong = "\"id\" " + note->id + " is held by an earlier note";
            note.reset();
        }
        if (!note) {
            return not_notes("note " + std::to_string(i + 1) + ": " + wrong);
        }
        read.notes.push_back(std::move(*note));
    }
    return read;
}

// The members in the documented order (a QJsonObject would sort them), a
// note a line, so that a sidecar reads and compares well as text.
std::string notes_json(const std::vector<Note>& notes)
{
    std::string text = "{\"version\": " + std::to_string(kNotesVersion) + ", \"notes\": [";
    for (std::size_t i = 0; i < notes.size(); ++i) {
        text += (i == 0 ? "\n  " : ",\n  ") + note_json(notes[i]).text();
    }
    return text + (notes.empty() ? "]}\n" : "\n]}\n");
}

// The next id: one above the highest "nK" held.
std::string next_id(const std::vector<Note>& notes)
{
    unsigned long highest = 0;
    for (const Note& note : notes) {
        const std::string& id = note.id;
        if (id.size() > 1 && id.size() < 10 && id[0] == 'n' &&
            std::all_of(id.begin() + 1, id.end(), [](char c) { return std::isdigit(c) != 0; })) {
            highest = std::max(highest, std::stoul(id.substr(1)));
        }
    }
    return "n" + std::to_string(highest + 1);
}

std::string utc_text(std::chrono::system_clock::time_point when)
{
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch());
    return QDateTime::fromMSecsSinceEpoch(ms.count(), Qt::UTC).toString(Qt::ISODate).toStdString();
}

// Under the log's lock: the notes read anew, changed by change (which
// returns the note it changed, or sets the problem), and written back.
template <typename Change>
NoteChange change_notes(const std::filesystem::path& log, const Change& change)
{
    std::string why;
    const auto lock = FileLock::take(log.string(), why);
    if (!lock) {
        return {std::nullopt, NotesProblem::CannotRead, log.string() + ": " + why};
    }
    NotesRead read = read_notes(log);
    if (read.problem != NotesProblem::None) {
        return {std::nullopt, read.problem, read.detail};
    }
    NoteChange changed = change(read.notes);
    if (changed.problem != NotesProblem::None) {
        return changed;
    }
    try {
        write_file_atomically(notes_path(log).string(), notes_json(read.notes));
    } catch (const std::exception& error) {
        return {std::nullopt, NotesProblem::CannotWrite, error.what()};
    }
    return changed;
}

}  // namespace

JsonLine note_json(const Note& note)
{
    QJsonArray tags;
    for (const std::string& tag : note.tags) {
        tags.append(QString::fromStdString(tag));
    }
    return JsonLine()
        .add("id", QString::fromStdString(note.id))
        .add("record", number_or_null(note.record))
        .add("text", QString::fromStdString(note.text))
        .add("tags", tags)
        .add("written", QString::fromStdString(note.written));
}

std::vector<JsonLine> notes_json(std::span<const Note> notes)
{
    std::vector<JsonLine> list;
    list.reserve(notes.size());
    std::ranges::transform(notes, std::back_inserter(list), note_json);
    return list;
}

std::filesystem::path notes_path(const std::filesystem::path& log)
{
    std::filesystem::path sidecar = log;
    sidecar += ".notes.json";
    return sidecar;
}

NotesRead read_notes(const std::filesystem::path& log)
{
    const std::filesystem::path sidecar = notes_path(log);
    std::string bytes;
    const SmallFileRead read = read_small_file(sidecar.string(), kMostNotesBytes, bytes);
    switch (read.state) {
    case SmallFileState::Read: return parse_notes(bytes);
    case SmallFileState::Missing: return {};
    case SmallFileState::TooLarge: return {{}, NotesProblem::TooLarge, sidecar.string()};
    case SmallFileState::NotRegular:
        return {{}, NotesProblem::CannotRead, sidecar.string() + ": not a regular file"};
    case SmallFileState::Failed: break;
    }
    return {{}, NotesProblem::CannotRead, sidecar.string() + ": " + std::strerror(read.error)};
}

std::vector<Note> notes_on(const std::vector<Note>& notes, std::optional<int> record)
{
    std::vector<Note> on;
    std::copy_if(notes.begin(), notes.end(), std::back_inserter(on),
                 [record](const Note& note) { return note.record == record; });
    return on;
}

std::optional<std::string> tag_as_kept(std::string_view tag)
{
    if (tag.starts_with('#')) {
        tag.remove_prefix(1);
    }
    // As characters, not bytes: a tag typed with an input method may hold
    // an ideographic space (U+3000).
    const QString characters = QString::fromUtf8(tag.data(), qsizetype(tag.size()));
    const bool one_word =
        !characters.isEmpty() && std::none_of(characters.begin(), characters.end(), [](QChar c) {
            return c == '#' || c.isSpace() || c.category() == QChar::Other_Control;
        });
    return one_word ? std::optional(std::string(tag)) : std::nullopt;
}

bool has_tag(const Note& note, std::string_view tag)
{
    const auto kept = tag_as_kept(tag);
    return kept && std::any_of(note.tags.begin(), note.tags.end(), [&kept](const std::string& t) {
               return QString::fromStdString(t).compare(QString::fromStdString(*kept),
                                                        Qt::CaseInsensitive) == 0;
           });
}

NoteChange add_note(const std::filesystem::path& log, const LogTimeline& timeline,
                    std::optional<int> record, const std::string& text,
                    const std::vector<std::string>& tags, std::chrono::system_clock::time_point now)
{
    if (QString::fromStdString(text).trimmed().isEmpty()) {
        return {std::nullopt, NotesProblem::EmptyText, {}};
    }
    if (record && (*record < 0 || !timeline.is_written(*record))) {
        return {std::nullopt, NotesProblem::NeverWritten, std::to_string(*record)};
    }
    Note note{{}, record, text, {}, utc_text(now)};
    for (const std::string& tag : tags) {
        const auto kept = tag_as_kept(tag);
        if (!kept) {
            return {std::nullopt, NotesProblem::BadTag, tag};
        }
        if (std::find(note.tags.begin(), note.tags.end(), *kept) == note.tags.end()) {
            note.tags.push_back(*kept);
        }
    }
    return change_notes(log, [&note](std::vector<Note>& notes) {
        note.id = next_id(notes);
        notes.push_back(note);
        return NoteChange{note, NotesProblem::None, {}};
    });
}

NoteChange remove_note(const std::filesystem::path& log, const std::string& id)
{
    return change_notes(log, [&id](std::vector<Note>& notes) {
        const auto found =
            std::find_if(notes.begin(), notes.end(), [&id](const Note& n) { return n.id == id; });
        if (found == notes.end()) {
            return NoteChange{std::nullopt, NotesProblem::NoSuchNote, id};
        }
        NoteChange removed{*found, NotesProblem::None, {}};
        notes.erase(found);
        return removed;
    });
}

}  // namespace quillon
