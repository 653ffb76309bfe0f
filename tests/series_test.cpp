// A series of captures read in the order they were captured, held against
// a reference and mapped, on the hand-made captures of tests/golden/series.
#include "Series.h"
#include "TestEnvironment.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;
using namespace quillon;

const fs::path kSeries = fs::path(QUILLON_GOLDEN_DIR) / "series";

// The three captures and the broken file, with a copy of the first under a
// name that is no Autolog name, older than all of them by its time.
Series read_with_an_older_copy()
{
    const fs::path copy = fs::path(testsupport::private_root()) / "copied.txt";
    fs::copy_file(kSeries / "Autolog_20261209010000.txt", copy,
                  fs::copy_options::overwrite_existing);
    fs::last_write_time(copy, fs::file_time_type::clock::now() - std::chrono::hours(24 * 365 * 20));
    const std::vector<std::string> names{kSeries.string(), copy.string()};
    return read_series(series_files(names));
}

TEST(Series, CapturesAreOrderedByTheirNamesTimeElseTheFilesAndHeldAgainstAReference)
{
    Series series = read_with_an_older_copy();
    ASSERT_EQ(series.captures.size(), 4U);
    ASSERT_EQ(series.unreadable.size(), 1U);
    EXPECT_EQ(fs::path(series.unreadable[0].file).filename(), "broken.txt");
    std::vector<std::string> order;
    for (const SeriesCapture& capture : series.captures) {
        order.push_back(fs::path(capture.file).filename().string());
    }
    EXPECT_EQ(order, (std::vector<std::string>{"copied.txt", "Autolog_20261209010000.txt",
                                               "Autolog_20261209020000.txt",
                                               "Autolog_20261209020000_2.txt"}));

    // Against its own copy: alike; the shifted capture lines up at its fired
    // record and differs in one record (at T+1: the map below); one stopped
    // early pairs by number.
    compare_with_reference(series, 1);
    EXPECT_TRUE(series.captures[0].against_reference.equal());
    const LogComparison& shifted = series.captures[2].against_reference;
    EXPECT_EQ(shifted.aligned_by, Alignment::FiredRecord);
    EXPECT_EQ(shifted.records_differing, 1);
    EXPECT_EQ(positions_differing(shifted),
              (std::vector<std::pair<std::size_t, int>>{{kDirectionBytes + 3, 1}}));
    EXPECT_EQ(series.captures[3].against_reference.aligned_by, Alignment::RecordNumber);
    EXPECT_EQ(positions_varying(series),
              (std::vector<PositionCount>{{0, 1}, {kDirectionBytes + 3, 1}}));

    // The shifted capture as the reference: the others differ at T+1.
    compare_with_reference(series, 2);
    EXPECT_EQ(series.captures[1].against_reference.records_differing, 1);
    EXPECT_TRUE(series.captures[2].against_reference.equal());
    // Each of the other three differs from it in Send 3 (the one stopped
    // early, paired by number, too): the most varying position.
    EXPECT_EQ(positions_varying(series).front(), PositionCount(kDirectionBytes + 3, 3));
}

// The reference, unless one is chosen: the first capture with a fired
// record, at which the others are lined up (the first capture when none
// has one).
TEST(Series, TheFirstCaptureWithAFiredRecordIsTheReference)
{
    EXPECT_EQ(read_with_an_older_copy().reference, 0U);
    const fs::path early = fs::path(testsupport::private_root()) / "stopped-early.txt";
    fs::copy_file(kSeries / "Autolog_20261209020000_2.txt", early,
                  fs::copy_options::overwrite_existing);
    fs::last_write_time(early,
                        fs::file_time_type::clock::now() - std::chrono::hours(24 * 365 * 20));
    const std::vector<std::string> with_fired{early.string(),
                                              (kSeries / "Autolog_20261209010000.txt").string()};
    const Series series = read_series(with_fired);
    ASSERT_EQ(series.captures.size(), 2U);
    ASSERT_FALSE(series.captures[0].timeline.fired);
    EXPECT_EQ(series.reference, 1U);
    const std::vector<std::string> without{early.string()};
    EXPECT_EQ(read_series(without).reference, 0U);
}

TEST(Series, TheMapCountsCapturesThatDifferAndValuesSeenAtEachOffset)
{
    Series series = read_with_an_older_copy();
    const FieldsFile fields =
        parse_fields(R"({"fields": [{"name": "s3", "direction": "send", "byte": 3}]})", "f.json");
    compare_with_reference(series, 1);
    VariationMap map = variation_map(series, fields.fields);
    EXPECT_EQ(map.captures_mapped, 3) << "the capture without a fired record is left out";
    EXPECT_EQ(map.first_offset, -6);
    EXPECT_EQ(map.rows, 9);
    const auto row = std::size_t(1 - map.first_offset);
    const VariationCell send_3 = map.bytes[row][kDirectionBytes + 3];
    EXPECT_EQ(send_3.differing, 1);
    EXPECT_EQ(send_3.distinct, 2);
    // The columns: the 32 bytes, then the field, whose cell is the field's.
    ASSERT_EQ(map.columns.size(), kRecordBytes + 1);
    EXPECT_EQ(column_heading(map.columns[kDirectionBytes + 3]), "S3");
    EXPECT_EQ(column_heading(map.columns[kRecordBytes]), "s3");
    const MapCell field_cell{int(row), int(kRecordBytes)};
    EXPECT_EQ(map.cell(field_cell).differing, 1);
    EXPECT_EQ(map.cell(field_cell).distinct, 2);
    EXPECT_EQ(map.offsets_differing(), std::vector<int>{1});
    // Send 3 and the field differ alike at T+1: the first column is taken.
    EXPECT_EQ(map.most_differing_cell(), (MapCell{int(row), int(kDirectionBytes + 3)}));
    // T-6, held by one capture only, varies nowhere.
    EXPECT_FALSE(map.varies(0));

    const auto values = values_at(series, 1, map.columns[kDirectionBytes + 3]);
    ASSERT_EQ(values.size(), 3U);
    EXPECT_EQ(values[2].capture, 2U);
    EXPECT_EQ(values[2].text, "0x00");
    EXPECT_EQ(values[1].text, "0x93");
    EXPECT_EQ(values[1].value, 0x93);
    // Each value says whether it differs from the reference's, as the map
    // counts it: the shifted capture's, in the byte and in the field.
    const auto differing = [](const std::vector<CaptureValue>& listed) {
        std::vector<bool> marks;
        for (const CaptureValue& value : listed) {
            marks.push_back(value.differs);
        }
        return marks;
    };
    EXPECT_EQ(differing(values), (std::vector<bool>{false, false, true}));
    const RecordColumn field_column = map.columns[kRecordBytes];
    const auto field_values = values_at(series, 1, field_column, fields.fields);
    EXPECT_EQ(field_values[2].value, 0.0);
    EXPECT_EQ(differing(field_values), (std::vector<bool>{false, false, true}));

    // The ignored bits differ nowhere; the values seen stay as they are.
    const IgnoreRule ignore[] = {{Direction::Send, 3, 0xFF}};
    compare_with_reference(series, 1, ignore);
    map = variation_map(series);
    EXPECT_EQ(map.bytes[row][kDirectionBytes + 3].differing, 0);
    EXPECT_EQ(map.bytes[row][kDirectionBytes + 3].distinct, 2);
    EXPECT_EQ(differing(values_at(series, 1, map.columns[kDirectionBytes + 3])),
              (std::vector<bool>{false, false, false}));
    EXPECT_EQ(differing(values_at(series, 1, field_column, fields.fields)),
              (std::vector<bool>{false, false, false}));
}

// Rules and "compare": false reach a field through its bits: at T+1 the
// shifted capture's Send[3] is 0x00 against the reference's 0x93.
TEST(Series, AFieldIsComparedOnTheBitsTheRulesLeave)
{
    Series series = read_with_an_older_copy();
    const auto fields_of = [](const std::string& entries) {
        return parse_fields(R"({"fields": [)" + entries + "]}", "f.json").fields;
    };
    const std::string s3 = R"({"name": "s3", "direction": "send", "byte": 3)";
    const auto field = [&](const std::string& keys) { return fields_of(s3 + keys + "}"); };
    const std::vector<FieldSpec> whole = field("");
    const struct {
        const char* name;
        std::vector<FieldSpec> fields;
        std::vector<IgnoreRule> ignore;
        std::vector<OnlyRule> only;
        int field_differing;  // the first field's cell at T+1
        int byte_differing;   // Send 3's
    } cases[] = {
        {"no rule", whole, {}, {}, 1, 1},
        {"ignored wholly", whole, {{Direction::Send, 3, 0xFF}}, {}, 0, 0},
        {"ignored partly, the bits left differ", whole, {{Direction::Send, 3, 0x0F}}, {}, 1, 1},
        {"ignored partly, the bits left alike", whole, {{Direction::Send, 3, 0x93}}, {}, 0, 0},
        {"a masked field's bits ignored",
         field(R"(, "mask": 3)"),
         {{Direction::Send, 3, 0x03}},
         {},
         0,
         1},
        {"only another byte", whole, {}, {{Direction::Recv, 3, 0xFF}}, 0, 0},
        {"only some of its bits", whole, {}, {{Direction::Send, 3, 0x80}}, 1, 1},
        {"not compared", field(R"(, "compare": false)"), {}, {}, 0, 0},
        {"another field on its low bits not compared",
         fields_of(s3 + R"(}, {"name": "low", "direction": "send", "byte": 3, "mask": 15,)"
                        R"( "compare": false})"),
         {},
         {},
         1,
         1},
        {"two bytes, the one that differs ignored",
         field(R"(, "width": 2, "order": "big")"),
         {{Direction::Send, 3, 0xFF}},
         {},
         0,
         0},
        {"two bytes, the other ignored",
         field(R"(, "width": 2, "order": "big")"),
         {{Direction::Send, 4, 0xFF}},
         {},
         1,
         1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        compare_with_reference(series, 1, ComparisonRules{c.ignore, c.only}, c.fields);
        const VariationMap map = variation_map(series, c.fields);
        const auto row = std::size_t(1 - map.first_offset);
        EXPECT_EQ(map.fields[row][0].differing, c.field_differing);
        EXPECT_EQ(map.bytes[row][kDirectionBytes + 3].differing, c.byte_differing);
        // The table counts what the map does: the record at T+1 alone.
        EXPECT_EQ(series.captures[2].against_reference.records_differing, c.byte_differing);
        EXPECT_EQ(most_differing_positions(series.captures[2].against_reference).size(),
                  std::size_t(c.byte_differing));
    }
    // A field not compared leaves its bits out of the map also when the
    // series was compared without it.
    compare_with_reference(series, 1);
    EXPECT_EQ(series.captures[2].against_reference.records_differing, 1);
    const VariationMap map = variation_map(series, field(R"(, "compare": false)"));
    EXPECT_FALSE(map.differs(int(1 - map.first_offset)));
}

// What every front-end shows of a series, decided once: the positions that
// differ most (no more than kMostDifferingShown, ties in order), the cell
// that differs most (the nearest to the fired record among equals), which
// cells vary, and the fired command.
TEST(Series, TheAnswersEveryFrontEndWords)
{
    LogComparison comparison;
    comparison.records_per_byte[2] = 1;
    comparison.records_per_byte[5] = 4;
    comparison.records_per_byte[20] = 4;
    comparison.records_per_byte[9] = 2;
    EXPECT_EQ(most_differing_positions(comparison),
              (std::vector<PositionCount>{{5, 4}, {20, 4}, {9, 2}}));

    VariationMap map;
    map.first_offset = -2;
    map.rows = 4;
    map.bytes.resize(4);
    map.fields.resize(4);
    map.bytes[0][5].differing = 2;  // T-2
    map.bytes[3][7].differing = 2;  // T+1
    EXPECT_EQ(map.most_differing_cell(), (MapCell{3, 7}));
    map.bytes[1][1].distinct = 2;  // no capture differs, but two values
    EXPECT_TRUE(map.varies(1));
    EXPECT_FALSE(map.varies(2));
    EXPECT_FALSE(VariationMap{}.most_differing_cell());

    SeriesCapture capture;
    EXPECT_EQ(fired_command_text(capture), "");
    capture.command = 0x0A;
    EXPECT_EQ(fired_command_text(capture), "0x0A");
    capture.command_name = "read";
    EXPECT_EQ(fired_command_text(capture), "0x0A read");
}

std::vector<std::string> file_names(const Series& series)
{
    std::vector<std::string> names;
    for (const SeriesCapture& capture : series.captures) {
        names.push_back(fs::path(capture.file).filename().string());
    }
    return names;
}

// Names are the bytes they are: a capture named in no UTF-8 is dated by its
// own modification time, and an _N index too large for a number still
// comes after the smaller ones.
TEST(Series, NamesAreReadAsTheirBytes)
{
    const fs::path folder = fs::path(testsupport::private_root()) / "bytes";
    fs::create_directories(folder);
    const fs::path first = kSeries / "Autolog_20261209010000.txt";
    const std::string late = "late_\xff\xfe.txt";
    for (const std::string& name : {std::string("Autolog_20261209010000.txt"), late,
                                    std::string("Autolog_20261209010000_99999999999999999999.txt"),
                                    std::string("Autolog_20261209010000_2.txt")}) {
        fs::copy_file(first, folder / name, fs::copy_options::overwrite_existing);
    }
    const std::chrono::sys_seconds in_2030 = std::chrono::sys_days(std::chrono::year(2030) / 1 / 1);
    fs::last_write_time(folder / late, std::chrono::file_clock::from_sys(in_2030));
    const std::vector<std::string> named{folder.string()};
    const Series series = read_series(series_files(named));
    EXPECT_TRUE(series.unreadable.empty());
    EXPECT_EQ(file_names(series), (std::vector<std::string>{
                                      "Autolog_20261209010000.txt", "Autolog_20261209010000_2.txt",
                                      "Autolog_20261209010000_99999999999999999999.txt", late}));
    EXPECT_EQ(capture_time_text(series.captures.back().time).substr(0, 4), "2030");
}

// Whatever ends in .txt in a folder is read or named with why it was not,
// and so is a folder that gives nothing.
TEST(Series, EveryEntryOfAFolderIsReadOrNamedWithItsReason)
{
    const fs::path folder = fs::path(testsupport::private_root()) / "entries";
    fs::create_directories(folder / "folder.txt");
    fs::copy_file(kSeries / "Autolog_20261209010000.txt", folder / "Autolog_20261209010000.txt",
                  fs::copy_options::overwrite_existing);
    ASSERT_EQ(::mkfifo((folder / "fifo.txt").c_str(), 0600), 0);
    fs::create_symlink(folder / "gone", folder / "dangling.txt");
    fs::create_symlink(folder / "loop.txt", folder / "loop.txt");
    fs::create_symlink("/dev/zero", folder / "zero.txt");
    const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string socket_path = (folder / "socket.txt").string();
    ASSERT_LT(socket_path.size(), sizeof(address.sun_path));
    socket_path.copy(address.sun_path, socket_path.size());
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    ::close(listener);
    const fs::path empty = fs::path(testsupport::private_root()) / "empty";
    fs::create_directories(empty);
    std::ofstream(empty / "notes.json") << "{}";

    const std::vector<std::string> named{folder.string(), empty.string()};
    const Series series = read_series(series_files(named));
    EXPECT_EQ(file_names(series), std::vector<std::string>{"Autolog_20261209010000.txt"});
    std::vector<std::string> reasons;
    for (const UnreadableFile& file : series.unreadable) {
        reasons.push_back(file.reason);
    }
    const std::string in = folder.string() + "/";
    EXPECT_EQ(reasons, (std::vector<std::string>{
                           empty.string() + ": no log files (*.txt) in the folder",
                           in + "dangling.txt: a symbolic link to a file that is not there",
                           in + "fifo.txt: a named pipe (FIFO), not a regular file",
                           in + "folder.txt: a folder, not a regular file",
                           in + "loop.txt: Too many levels of symbolic links",
                           in + "socket.txt: a socket, not a regular file",
                           in + "zero.txt: a device, not a regular file",
                       }));
}

// A folder that its reader may enter but not list says why; as root, who
// may list anything, the look is taken as the user nobody.
TEST(Series, AFolderThatCannotBeListedSaysWhy)
{
    char base_template[] = "/tmp/quillon-series-XXXXXX";
    ASSERT_NE(::mkdtemp(base_template), nullptr);
    const fs::path base(base_template);
    ::chmod(base.c_str(), 0755);
    const fs::path locked = base / "locked";
    fs::create_directories(locked);
    // Its owner, when that is not root, is kept out by the mode alone.
    ::chmod(locked.c_str(), ::geteuid() == 0 ? 0711 : 0311);
    int pipe_ends[2];
    ASSERT_EQ(::pipe(pipe_ends), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        constexpr uid_t kNobody = 65534;
        if (::geteuid() == 0 && (::setresgid(kNobody, kNobody, kNobody) != 0 ||
                                 ::setresuid(kNobody, kNobody, kNobody) != 0)) {
            ::_exit(2);
        }
        const std::vector<std::string> named{locked.string()};
        const SeriesFiles found = series_files(named);
        const std::string reason = found.refused.empty() ? "" : found.refused.front().reason;
        const bool written = ::write(pipe_ends[1], reason.data(), reason.size()) ==
                             static_cast<ssize_t>(reason.size());
        ::_exit(written && found.files.empty() ? 0 : 1);
    }
    ::close(pipe_ends[1]);
    std::string reason(256, '\0');
    const ssize_t got = ::read(pipe_ends[0], reason.data(), reason.size());
    reason.resize(std::size_t(std::max<ssize_t>(got, 0)));
    ::close(pipe_ends[0]);
    int status = -1;
    ::waitpid(child, &status, 0);
    ::chmod(locked.c_str(), 0755);
    fs::remove_all(base);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(reason, locked.string() + ": Permission denied");
}

}  // namespace
