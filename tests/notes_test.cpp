// Notes in a log's sidecar: written, read back and removed; a sidecar that is
// no notes file read as such and never written over; notes on records the
// log never wrote refused; two programs writing notes to one log at once.
#include "Notes.h"
#include "AtomicFile.h"
#include "LogFile.h"
#include "LogTimeline.h"
#include "TestEnvironment.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>

namespace {

using namespace quillon;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

const fs::path kGolden = QUILLON_GOLDEN_DIR;

std::string file_bytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// A copy of fired.txt (8 records written, fired at 5) in a folder of its own.
fs::path fresh_log(const std::string& name)
{
    const fs::path folder = fs::path(testsupport::private_root()) / "notes" / name;
    fs::remove_all(folder);
    fs::create_directories(folder);
    fs::copy_file(kGolden / "fired.txt", folder / "log.txt");
    return folder / "log.txt";
}

LogTimeline timeline_of(const fs::path& log)
{
    return log_timeline(read_log_file(log.string()));
}

const auto kWritten = std::chrono::sys_days{std::chrono::year{2026} / 12 / 9} + 7h + 42min + 10s;

TEST(Notes, ASidecarHoldsTheNotesAddedInOrderAndLosesTheOneRemoved)
{
    const fs::path log = fresh_log("round");
    const std::string log_bytes = file_bytes(log);
    const LogTimeline timeline = timeline_of(log);
    EXPECT_EQ(notes_path(log), log.parent_path() / "log.txt.notes.json");
    const NotesRead none = read_notes(log);
    EXPECT_EQ(none.problem, NotesProblem::None);
    EXPECT_TRUE(none.notes.empty());

    const NoteChange first =
        add_note(log, timeline, std::nullopt, "the overload after the 50 mm setpoint",
                 {"#overload", "axis2"}, kWritten + 400ms);
    ASSERT_EQ(first.problem, NotesProblem::None) << first.detail;
    EXPECT_EQ(first.note->id, "n1");
    EXPECT_EQ(first.note->record, std::nullopt);
    EXPECT_EQ(first.note->tags, (std::vector<std::string>{"overload", "axis2"}));
    EXPECT_EQ(first.note->written, "2026-12-09T07:42:10Z");
    // A tag given twice, with and without its '#', is kept once.
    EXPECT_EQ(
        add_note(log, timeline, 5, "fired here", {"overload", "#overload"}, kWritten).note->tags,
        std::vector<std::string>{"overload"});
    EXPECT_EQ(add_note(log, timeline, 0, "過負荷の前 \"Q\"\tline", {}, kWritten + 1min).note->id,
              "n3");
    EXPECT_EQ(file_bytes(notes_path(log)), file_bytes(kGolden / "notes-sidecar.json"));

    const NotesRead read = read_notes(log);
    ASSERT_EQ(read.problem, NotesProblem::None) << read.detail;
    ASSERT_EQ(read.notes.size(), 3u);
    EXPECT_EQ(read.notes[0].text, first.note->text);
    EXPECT_EQ(read.notes[0].tags, first.note->tags);
    EXPECT_EQ(read.notes[2].text, "過負荷の前 \"Q\"\tline");
    EXPECT_EQ(read.notes[2].written, "2026-12-09T07:43:10Z");
    const auto own = notes_on(read.notes, std::nullopt);
    ASSERT_EQ(own.size(), 1u);
    EXPECT_EQ(own[0].id, "n1");
    const auto fired = notes_on(read.notes, 5);
    ASSERT_EQ(fired.size(), 1u);
    EXPECT_EQ(fired[0].id, "n2");
    EXPECT_TRUE(notes_on(read.notes, 4).empty());
    EXPECT_TRUE(has_tag(read.notes[1], "#OVERLOAD"));
    EXPECT_TRUE(has_tag(read.notes[0], "Axis2"));
    EXPECT_FALSE(has_tag(read.notes[0], "axis"));
    EXPECT_FALSE(has_tag(read.notes[2], "overload"));

    const NoteChange removed = remove_note(log, "n2");
    ASSERT_EQ(removed.problem, NotesProblem::None) << removed.detail;
    EXPECT_EQ(removed.note->text, "fired here");
    const std::string after_removal = file_bytes(notes_path(log));
    const NoteChange missing = remove_note(log, "n2");
    EXPECT_EQ(missing.problem, NotesProblem::NoSuchNote);
    EXPECT_EQ(missing.detail, "n2");
    EXPECT_EQ(file_bytes(notes_path(log)), after_removal);
    // The next id is above the highest held, never one still in use.
    EXPECT_EQ(add_note(log, timeline, 7, "last", {}, kWritten).note->id, "n4");
    std::vector<std::string> ids;
    for (const Note& note : read_notes(log).notes) {
        ids.push_back(note.id);
    }
    EXPECT_EQ(ids, (std::vector<std::string>{"n1", "n3", "n4"}));
    for (const char* id : {"n1", "n3", "n4"}) {
        EXPECT_EQ(remove_note(log, id).problem, NotesProblem::None) << id;
    }
    EXPECT_EQ(file_bytes(notes_path(log)), "{\"version\": 1, \"notes\": []}\n");
    EXPECT_EQ(file_bytes(log), log_bytes) << "a note never changes its log";
}

TEST(Notes, ANoteWithoutTextOrWithABadTagOrOnARecordNeverWrittenIsRefused)
{
    const fs::path log = fresh_log("refused");
    const LogTimeline timeline = timeline_of(log);
    ASSERT_EQ(timeline.written, 8);
    const struct {
        std::optional<int> record;
        std::string text;
        std::vector<std::string> tags;
        NotesProblem problem;
        std::string detail;
    } cases[] = {
        {std::nullopt, "", {}, NotesProblem::EmptyText, ""},
        {7, " \t\n", {}, NotesProblem::EmptyText, ""},
        {std::nullopt, "x", {"two words"}, NotesProblem::BadTag, "two words"},
        {std::nullopt, "x", {"ok", ""}, NotesProblem::BadTag, ""},
        {std::nullopt, "x", {"#"}, NotesProblem::BadTag, "#"},
        {std::nullopt, "x", {"##twice"}, NotesProblem::BadTag, "##twice"},
        {std::nullopt, "x", {"a#b"}, NotesProblem::BadTag, "a#b"},
        {std::nullopt, "x", {"過負荷\u3000軸"}, NotesProblem::BadTag, "過負荷\u3000軸"},
        {std::nullopt, "x", {"bell\a"}, NotesProblem::BadTag, "bell\a"},
        {8, "x", {}, NotesProblem::NeverWritten, "8"},
        {255, "x", {}, NotesProblem::NeverWritten, "255"},
        {256, "x", {}, NotesProblem::NeverWritten, "256"},
        {-1, "x", {}, NotesProblem::NeverWritten, "-1"},
    };
    for (const auto& c : cases) {
        const NoteChange change = add_note(log, timeline, c.record, c.text, c.tags, kWritten);
        EXPECT_EQ(change.problem, c.problem) << c.detail;
        EXPECT_EQ(change.detail, c.detail);
        EXPECT_FALSE(change.note);
        EXPECT_FALSE(fs::exists(notes_path(log))) << c.detail;
    }
    EXPECT_EQ(tag_as_kept("#過負荷"), "過負荷");
    const NoteChange no_log =
        add_note(log.parent_path() / "gone.txt", timeline, std::nullopt, "x", {}, kWritten);
    EXPECT_EQ(no_log.problem, NotesProblem::CannotRead);
    EXPECT_EQ(no_log.detail,
              (log.parent_path() / "gone.txt").string() + ": No such file or directory");
    EXPECT_FALSE(fs::exists(notes_path(log.parent_path() / "gone.txt")));
}

// What stands in the sidecar's place: bytes, a folder or a named pipe.
enum class Place { Bytes, Folder, Pipe };

TEST(Notes, ASidecarThatIsNoNotesFileIsReadAsSuchAndNeverWrittenOver)
{
    const std::string note = R"({"id": "n1", "record": 2, "text": "x", "tags": ["a"]})";
    const auto with_note = [](const std::string& object) {
        return R"({"version": 1, "notes": [)" + object + "]}";
    };
    const struct {
        Place place;
        std::string bytes;
        NotesProblem problem;
        std::string detail;  // after the sidecar's name and ": " for CannotRead
    } cases[] = {
        {Place::Bytes, R"({"version": 1, "notes": [)", NotesProblem::NotNotes,
         "not JSON: unterminated array at byte 25"},
        // A byte-order mark is passed over, as in a log.
        {Place::Bytes, "\xEF\xBB\xBF{}", NotesProblem::NotNotes, "no \"notes\" list"},
        {Place::Bytes, "", NotesProblem::NotNotes, "not JSON"},
        {Place::Bytes, "[]", NotesProblem::NotNotes, "no \"notes\" list"},
        {Place::Bytes, R"({"version": 1, "notes": {}})", NotesProblem::NotNotes,
         "no \"notes\" list"},
        {Place::Bytes, R"({"version": 2, "notes": []})", NotesProblem::NotNotes,
         "\"version\" is not 1"},
        {Place::Bytes, R"({"notes": []})", NotesProblem::NotNotes, "\"version\" is not 1"},
        {Place::Bytes, with_note(note) + ",", NotesProblem::NotNotes, "not JSON"},
        {Place::Bytes, with_note(note + ", 7"), NotesProblem::NotNotes, "note 2: not an object"},
        {Place::Bytes, with_note(R"({"id": "n1", "record": 256, "text": "x"})"),
         NotesProblem::NotNotes, "note 1: \"record\" is not a record's number"},
        {Place::Bytes, with_note(R"({"id": "n1", "record": -1, "text": "x"})"),
         NotesProblem::NotNotes, "note 1: \"record\" is not a record's number"},
        {Place::Bytes, with_note(R"({"id": "n1", "record": 2.5, "text": "x"})"),
         NotesProblem::NotNotes, "note 1: \"record\" is not a record's number"},
        {Place::Bytes, with_note(R"({"id": "n1", "record": "2", "text": "x"})"),
         NotesProblem::NotNotes, "note 1: \"record\" is not a record's number"},
        {Place::Bytes, with_note(R"({"id": "n1", "record": 1e300, "text": "x"})"),
         NotesProblem::NotNotes, "note 1: \"record\" is not a record's number"},
        {Place::Bytes, with_note(R"({"id": "n1", "text": "x", "tags": ["two words"]})"),
         NotesProblem::NotNotes, "note 1: a tag is not one word"},
        {Place::Bytes, with_note(R"({"id": "n1", "text": "x", "tags": [3]})"),
         NotesProblem::NotNotes, "note 1: a tag is not one word"},
        {Place::Bytes, with_note(R"({"id": "n1", "text": "x", "tags": "a"})"),
         NotesProblem::NotNotes, "note 1: \"tags\" is not a list"},
        {Place::Bytes, with_note(R"({"id": "n1", "text": ["x"]})"), NotesProblem::NotNotes,
         "note 1: \"text\" is not a text"},
        {Place::Bytes, with_note(R"({"id": "n1"})"), NotesProblem::NotNotes,
         "note 1: \"text\" is not a text"},
        {Place::Bytes, with_note(R"({"id": 1, "text": "x"})"), NotesProblem::NotNotes,
         "note 1: \"id\" is not a text"},
        {Place::Bytes, with_note(R"({"id": "n1", "text": "x", "written": 0})"),
         NotesProblem::NotNotes, "note 1: \"written\" is not a text"},
        {Place::Bytes, with_note(note + ", " + note), NotesProblem::NotNotes,
         "note 2: \"id\" n1 is held by an earlier note"},
        {Place::Bytes, std::string(kMostNotesBytes + 1, ' '), NotesProblem::TooLarge, ""},
        {Place::Folder, "", NotesProblem::CannotRead, "not a regular file"},
        {Place::Pipe, "", NotesProblem::CannotRead, "not a regular file"},
    };
    const fs::path log = fresh_log("hostile");
    const LogTimeline timeline = timeline_of(log);
    const fs::path sidecar = notes_path(log);
    for (const auto& c : cases) {
        fs::remove_all(sidecar);
        if (c.place == Place::Folder) {
            fs::create_directory(sidecar);
        } else if (c.place == Place::Pipe) {
            ASSERT_EQ(::mkfifo(sidecar.c_str(), 0600), 0);
        } else {
            write_file_atomically(sidecar.string(), c.bytes);
        }
        const std::string detail = c.problem == NotesProblem::NotNotes ? c.detail
                                   : c.detail.empty()                  ? sidecar.string()
                                                      : sidecar.string() + ": " + c.detail;
        const NotesRead read = read_notes(log);
        EXPECT_EQ(read.problem, c.problem) << c.bytes.substr(0, 80);
        EXPECT_TRUE(read.detail.starts_with(detail)) << read.detail << " for " << detail;
        EXPECT_TRUE(read.notes.empty());
        for (const NoteChange& change :
             {add_note(log, timeline, 2, "y", {}, kWritten), remove_note(log, "n1")}) {
            EXPECT_EQ(change.problem, c.problem) << c.bytes.substr(0, 80);
            EXPECT_EQ(change.detail, read.detail);
            EXPECT_FALSE(change.note);
        }
        const auto status = fs::symlink_status(sidecar).type();
        if (c.place == Place::Bytes) {
            EXPECT_EQ(file_bytes(sidecar), c.bytes) << "never written over";
        } else {
            EXPECT_EQ(status,
                      c.place == Place::Folder ? fs::file_type::directory : fs::file_type::fifo);
        }
    }
    fs::remove_all(sidecar);
    // A read-only sidecar reads, but cannot be written.
    ASSERT_EQ(add_note(log, timeline, 2, "y", {}, kWritten).problem, NotesProblem::None);
    fs::permissions(sidecar, fs::perms::owner_read);
    const std::string bytes = file_bytes(sidecar);
    EXPECT_EQ(read_notes(log).notes.size(), 1u);
    const NoteChange unwritable = add_note(log, timeline, 3, "z", {}, kWritten);
    EXPECT_EQ(unwritable.problem, NotesProblem::CannotWrite);
    EXPECT_NE(unwritable.detail.find(sidecar.string()), std::string::npos) << unwritable.detail;
    EXPECT_EQ(file_bytes(sidecar), bytes);
}

// Processes, not threads: each takes the lock as another program would.
TEST(Notes, ProgramsWritingNotesToOneLogAtOnceLoseNoneOfEachOthers)
{
    const fs::path log = fresh_log("together");
    const LogTimeline timeline = timeline_of(log);
    constexpr int kWriters = 4;
    constexpr int kNotesEach = 40;
    std::vector<pid_t> writers;
    for (int w = 0; w < kWriters; ++w) {
        const pid_t pid = ::fork();
        ASSERT_NE(pid, -1);
        if (pid == 0) {
            for (int k = 0; k < kNotesEach; ++k) {
                const auto added =
                    add_note(log, timeline, k % 8,
                             "writer " + std::to_string(w) + " note " + std::to_string(k),
                             {"w" + std::to_string(w)}, kWritten);
                if (added.problem != NotesProblem::None) {
                    ::_exit(1);
                }
            }
            ::_exit(0);
        }
        writers.push_back(pid);
    }
    for (const pid_t pid : writers) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
    const NotesRead read = read_notes(log);
    ASSERT_EQ(read.problem, NotesProblem::None) << read.detail;
    EXPECT_EQ(read.notes.size(), std::size_t(kWriters * kNotesEach));
    std::set<std::string> ids;
    std::set<std::string> texts;
    for (const Note& note : read.notes) {
        ids.insert(note.id);
        texts.insert(note.text);
    }
    EXPECT_EQ(ids.size(), read.notes.size()) << "each id once";
    EXPECT_EQ(ids.count("n1") + ids.count("n" + std::to_string(kWriters * kNotesEach)), 2u);
    for (int w = 0; w < kWriters; ++w) {
        for (int k = 0; k < kNotesEach; ++k) {
            EXPECT_EQ(texts.count("writer " + std::to_string(w) + " note " + std::to_string(k)),
                      1u);
        }
    }
}

}  // namespace
