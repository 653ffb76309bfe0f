// series --sqlite as a script runs it, on a known series (captures of the
// simulator's cyclic traffic, one alarm each): the database opened with
// SQLite, its tables and columns, the README's example queries answered as
// series --json answers the same questions, and nothing left behind by a
// database that cannot be written.
#include "CliRun.h"
#include "LogFile.h"
#include "LogTimeline.h"
#include "Notes.h"
#include "TestEnvironment.h"

#include <gtest/gtest.h>

#include <sqlite3.h>
#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using namespace quillon;
using namespace std::chrono_literals;

const fs::path kCaptures = fs::path(QUILLON_GOLDEN_DIR) / "database";
const std::string kFields = QUILLON_DOCS_DIR "/ampsim-fields.json";

using testsupport::CliRun;
using testsupport::run_cli;

// A private copy of the known series, so that notes can be written beside
// its logs.
fs::path copied_series(const std::string& name)
{
    fs::path folder = fs::path(testsupport::private_root()) / name;
    fs::remove_all(folder);
    fs::copy(kCaptures, folder);
    return folder;
}

QJsonObject series_json(const std::vector<std::string>& args)
{
    const CliRun run = run_cli(args);
    EXPECT_TRUE(run.status == 0 || run.status == 8) << run.output;
    return QJsonDocument::fromJson(QByteArray::fromStdString(run.output)).object();
}

// The database opened read-only with SQLite, each row of a query as JSON
// values, so that they compare with series --json's.
class Database {
public:
    explicit Database(const fs::path& path)
    {
        sqlite3* db = nullptr;
        const int opened = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
        db_.reset(db);
        EXPECT_EQ(opened, SQLITE_OK) << path << ": " << sqlite3_errmsg(db);
    }

    std::vector<QJsonArray> rows(const std::string& sql) const
    {
        sqlite3_stmt* prepared = nullptr;
        if (sqlite3_prepare_v2(db_.get(), sql.c_str(), -1, &prepared, nullptr) != SQLITE_OK) {
            ADD_FAILURE() << sqlite3_errmsg(db_.get()) << " in " << sql;
            return {};
        }
        const std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> statement(prepared,
                                                                              sqlite3_finalize);
        std::vector<QJsonArray> rows;
        while (sqlite3_step(prepared) == SQLITE_ROW) {
            QJsonArray row;
            for (int c = 0; c < sqlite3_column_count(prepared); ++c) {
                switch (sqlite3_column_type(prepared, c)) {
                case SQLITE_INTEGER: row.append(qint64(sqlite3_column_int64(prepared, c))); break;
                case SQLITE_FLOAT: row.append(sqlite3_column_double(prepared, c)); break;
                case SQLITE_TEXT:
                    row.append(QString::fromUtf8(
                        reinterpret_cast<const char*>(sqlite3_column_text(prepared, c))));
                    break;
                default: row.append(QJsonValue()); break;
                }
            }
            rows.push_back(row);
        }
        return rows;
    }

    // The one value a query gives.
    QJsonValue value(const std::string& sql) const
    {
        const auto found = rows(sql);
        return found.size() == 1 && found[0].size() == 1 ? found[0][0] : QJsonValue("no value");
    }

private:
    std::unique_ptr<sqlite3, int (*)(sqlite3*)> db_{nullptr, sqlite3_close};
};

// The README's example queries, from the sql block of "A series as a
// database": each with the comment above it, its title.
std::vector<std::pair<std::string, std::string>> readme_queries()
{
    std::ifstream readme(QUILLON_SOURCE_DIR "/README.md");
    std::string line;
    while (std::getline(readme, line) && line != "#### A series as a database") {
    }
    while (std::getline(readme, line) && line != "```sql") {
    }
    std::vector<std::pair<std::string, std::string>> queries;
    std::string title;
    std::string sql;
    while (std::getline(readme, line) && line != "```") {
        if (line.starts_with("-- ") && sql.empty()) {
            title += (title.empty() ? "" : " ") + line.substr(3);
        } else if (!line.empty()) {
            sql += line + "\n";
        }
        if (line.ends_with(";")) {
            queries.emplace_back(title, sql);
            title.clear();
            sql.clear();
        }
    }
    return queries;
}

// A capture's values of --value columns NAME@T-1 to NAME@T-last, nearest
// first, those it has.
std::vector<double> values_before(const QJsonObject& capture, const std::string& name, int last)
{
    std::vector<double> values;
    for (int k = 1; k <= last; ++k) {
        const QJsonValue value =
            capture["values"][QString::fromStdString(name + "@T-" + std::to_string(k))];
        if (!value.isNull()) {
            values.push_back(value.toDouble());
        }
    }
    return values;
}

std::vector<std::string> value_options(const std::string& name, int last)
{
    std::vector<std::string> options;
    for (int k = 1; k <= last; ++k) {
        options.insert(options.end(), {"--value", name + "@T-" + std::to_string(k)});
    }
    return options;
}

std::string tables_columns(const Database& db, const std::string& table)
{
    std::string columns;
    for (const QJsonArray& row : db.rows("SELECT name FROM pragma_table_info('" + table + "')")) {
        columns += (columns.empty() ? "" : " ") + row[0].toString().toStdString();
    }
    return columns;
}

TEST(SeriesDatabase, HoldsTheFourTablesWithTheColumnsOfShowsCsvAndIndexesToFilterBy)
{
    const fs::path target = fs::path(testsupport::private_root()) / "schema.db";
    const CliRun run = run_cli({"series", kCaptures.string(), "--sqlite", target.string()});
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(run.output, "");
    const Database db(target);
    std::string bytes;
    for (const char* direction : {"recv", "send"}) {
        for (int k = 0; k < kDirectionBytes; ++k) {
            bytes += std::string(" ") + direction + "_" + std::to_string(k);
        }
    }
    EXPECT_EQ(tables_columns(db, "captures"),
              "id file time stop_condition fired_record command reference kept");
    EXPECT_EQ(tables_columns(db, "records"),
              "capture record offset written" + bytes + " meets_condition");
    EXPECT_EQ(tables_columns(db, "field_values"), "capture record field raw value value_name");
    EXPECT_EQ(tables_columns(db, "notes"), "capture record text tags");
    // Without --fields, no field has a value.
    EXPECT_EQ(db.value("SELECT count(*) FROM field_values"), 0);

    // What one filters by is found through an index, not by reading a
    // whole table.
    for (const char* query : {"SELECT * FROM captures WHERE time >= '2026-12-09 02:00'",
                              "SELECT * FROM records WHERE offset = -3",
                              "SELECT * FROM records WHERE capture = 2 AND record = 7",
                              "SELECT * FROM field_values WHERE field = 'position'",
                              "SELECT * FROM notes WHERE capture = 1"}) {
        std::string plan;
        for (const QJsonArray& row : db.rows(std::string("EXPLAIN QUERY PLAN ") + query)) {
            plan += row[3].toString().toStdString() + "\n";
        }
        EXPECT_EQ(plan.find("SCAN"), std::string::npos) << query << ": " << plan;
    }
}

// The README's five queries on the known series, with notes written
// beside two of its logs, against what series --json says.
TEST(SeriesDatabase, TheReadmesQueriesAnswerAsTheSeriesDoes)
{
    const fs::path folder = copied_series("readme-series");
    const auto note = [&](const char* name, std::optional<int> record, const char* text,
                          const std::vector<std::string>& tags) {
        const fs::path log = folder / name;
        const NoteChange added = add_note(log, log_timeline(read_log_file(log.string())), record,
                                          text, tags, std::chrono::system_clock::now());
        ASSERT_EQ(added.problem, NotesProblem::None) << added.detail;
    };
    note("Autolog_20261209014000.txt", 140, "overload at the end of the move", {"overload"});
    note("Autolog_20261209014000.txt", 137, "position read", {"overload", "late"});
    note("Autolog_20261209014000.txt", std::nullopt, "first of the night", {"night"});
    note("Autolog_20261209035000.txt", 100, "quiet here", {"overloaded"});
    const fs::path target = fs::path(testsupport::private_root()) / "readme.db";
    const CliRun run =
        run_cli({"series", folder.string(), "--fields", kFields, "--sqlite", target.string()});
    ASSERT_EQ(run.status, 0) << run.output;
    const Database db(target);

    std::vector<std::string> args{"series", folder.string(), "--fields", kFields,
                                  "--json", "--value",       "alarm@T0"};
    for (const char* name : {"position", "speed"}) {
        const auto options = value_options(name, 20);
        args.insert(args.end(), options.begin(), options.end());
    }
    const QJsonArray captures = series_json(args)["captures"].toArray();
    ASSERT_EQ(captures.size(), 5);

    const auto queries = readme_queries();
    ASSERT_EQ(queries.size(), 5U);
    std::map<std::string, std::vector<QJsonArray>> answers;
    for (const auto& [title, sql] : queries) {
        answers[title.substr(0, title.find_first_of(":."))] = db.rows(sql);
    }
    std::vector<QJsonArray> overloads;
    std::map<QString, qint64> per_hour;
    std::map<QString, qint64> alarms;
    std::vector<QJsonArray> fastest;
    for (int c = 0; c < captures.size(); ++c) {
        const QJsonObject capture = captures[c].toObject();
        const QString file = capture["file"].toString();
        const QString alarm = capture["values"]["alarm@T0"].toString();
        if (alarm == "overload") {
            overloads.push_back({capture["time"], file, values_before(capture, "position", 20)[0]});
        }
        ++per_hour[capture["time"].toString().left(13) + ":00"];
        ++alarms[alarm];
        double most = 0;
        for (const double speed : values_before(capture, "speed", 20)) {
            most = std::max(most, std::abs(speed));
        }
        fastest.push_back({file, most});
    }
    EXPECT_EQ(overloads.size(), 3U);
    EXPECT_EQ(answers["The position before every overload"], overloads);

    std::vector<QJsonArray> hours;
    hours.reserve(per_hour.size());
    for (const auto& [hour, count] : per_hour) {
        hours.push_back({hour, count});
    }
    EXPECT_EQ(answers["Captures per hour"], hours);

    std::vector<QJsonArray> alarm_counts;
    alarm_counts.reserve(alarms.size());
    for (const auto& [alarm, count] : alarms) {
        alarm_counts.push_back({alarm, count});
    }
    std::stable_sort(alarm_counts.begin(), alarm_counts.end(),
                     [](const QJsonArray& a, const QJsonArray& b) {
                         return a[1].toInteger() > b[1].toInteger();
                     });
    EXPECT_EQ(answers["The alarms that stopped the logs, the most frequent first"], alarm_counts);

    EXPECT_EQ(answers["The fastest speed in the 20 records before each trigger"], fastest);

    // The notes tagged overload (not "overloaded"), the capture's own note
    // without a record.
    const QJsonObject noted = captures[1].toObject();
    const qint64 fired = noted["fired_record"].toInteger();
    EXPECT_EQ(answers["The notes tagged overload, with their record's offset from the trigger"],
              (std::vector<QJsonArray>{
                  {noted["file"], 137, 137 - fired, "position read"},
                  {noted["file"], 140, 140 - fired, "overload at the end of the move"}}));
    EXPECT_EQ(db.rows("SELECT record, tags FROM notes WHERE capture = 2 ORDER BY record"),
              (std::vector<QJsonArray>{
                  {QJsonValue(), "night"}, {137, "overload late"}, {140, "overload"}}));
}

// Each capture's row and its records as series --json and show tell them;
// --keep-if marks those it leaves out, --reference the reference.
TEST(SeriesDatabase, CapturesAndRecordsAreAsTheSeriesReadsThem)
{
    const std::string reference = (kCaptures / "Autolog_20261209021500.txt").string();
    const fs::path target = fs::path(testsupport::private_root()) / "kept.db";
    const std::vector<std::string> choice{"--fields",         kFields,       "--keep-if",
                                          "alarm = overload", "--reference", reference};
    std::vector<std::string> args{"series", kCaptures.string(), "--sqlite", target.string()};
    args.insert(args.end(), choice.begin(), choice.end());
    const CliRun run = run_cli(args);
    ASSERT_EQ(run.status, 0) << run.output;
    args = {"series", kCaptures.string(), "--json"};
    args.insert(args.end(), choice.begin(), choice.end());
    const QJsonObject series = series_json(args);
    const Database db(target);

    std::set<QString> left_out;
    for (const auto& file : series["left_out"].toArray()) {
        left_out.insert(file.toObject()["file"].toString());
    }
    EXPECT_EQ(left_out.size(), 2U);
    std::map<QString, QJsonObject> kept;
    for (const auto& capture : series["captures"].toArray()) {
        kept[capture.toObject()["file"].toString()] = capture.toObject();
    }
    const auto rows = db.rows(
        "SELECT c.id, c.file, c.time, c.fired_record, c.command, c.reference, c.kept, "
        "c.stop_condition, sum(r.meets_condition), sum(r.written), count(*) "
        "FROM captures c JOIN records r ON r.capture = c.id GROUP BY c.id ORDER BY c.id");
    ASSERT_EQ(rows.size(), 5U);
    for (const QJsonArray& row : rows) {
        const QString file = row[1].toString();
        const std::string name = fs::path(file.toStdString()).filename().string();
        SCOPED_TRACE(name);
        EXPECT_EQ(row[6].toInteger(), kept.contains(file) ? 1 : 0);
        EXPECT_NE(kept.contains(file), left_out.contains(file));
        EXPECT_EQ(row[5].toInteger(), file.toStdString() == reference ? 1 : 0);
        EXPECT_EQ(row[7], "Send[1] & 0x80 = 0x80 ,count 3");
        EXPECT_EQ(row[10], kLogRecords);
        const LogFile log = read_log_file(file.toStdString());
        EXPECT_EQ(row[9], log_timeline(log).written);
        if (kept.contains(file)) {
            const QJsonObject capture = kept[file];
            EXPECT_EQ(row[2], capture["time"]);
            EXPECT_EQ(row[3], capture["fired_record"]);
            EXPECT_EQ(row[4].toInteger(), capture["command"].toString().toInt(nullptr, 16));
            EXPECT_EQ(row[8], capture["meets"]);
        }
        // A record's bytes, offset and whether it meets the condition as
        // show --csv gives them, for the fired record and one after the
        // last written.
        const qint64 id = row[0].toInteger();
        const qint64 fired = row[3].toInteger();
        std::vector<qint64> records{fired};
        if (log_timeline(log).written < kLogRecords) {
            records.push_back(log_timeline(log).written);
        }
        for (const qint64 record : records) {
            const auto& bytes = log.records[std::size_t(record)];
            const QJsonArray in_database =
                db.rows("SELECT * FROM records WHERE capture = " + std::to_string(id) +
                        " AND record = " + std::to_string(record))
                    .at(0);
            QJsonArray expected{id, record};
            expected.append(record == fired ? QJsonValue(0) : QJsonValue());
            expected.append(record == fired ? 1 : 0);
            for (const std::uint8_t byte : bytes) {
                expected.append(byte);
            }
            expected.append(record == fired ? 1 : 0);
            EXPECT_EQ(in_database, expected) << record;
        }
    }
}

// A database that cannot be written leaves nothing: no temporary file, the
// target as it was, the reason with the file, status 5. A sidecar that does
// not read is said and its capture goes in without notes.
TEST(SeriesDatabase, AFailureLeavesNothingBehind)
{
    const fs::path folder = fs::path(testsupport::private_root()) / "failing";
    fs::remove_all(folder);
    fs::create_directories(folder / "taken");
    std::ofstream(folder / "taken" / "kept.txt") << "kept";
    struct Case {
        fs::path target;
        std::string reason;
    };
    std::vector<Case> cases{{folder / "taken", "Not a regular file"},
                            {folder / "missing" / "week.db", "No such file or directory"}};
    // Root writes into any folder.
    if (::geteuid() != 0) {
        fs::create_directories(folder / "read-only");
        fs::permissions(folder / "read-only", fs::perms::owner_read | fs::perms::owner_exec);
        cases.push_back({folder / "read-only" / "week.db", "Permission denied"});
    }
    for (const Case& c : cases) {
        const CliRun run = run_cli({"series", kCaptures.string(), "--sqlite", c.target.string()});
        EXPECT_EQ(run.status, 5) << run.output;
        EXPECT_EQ(run.output, "quillon-cli: Cannot write the file " + c.target.string() + ": " +
                                  c.reason + ".\n");
    }
    std::set<std::string> left;
    for (const auto& entry : fs::directory_iterator(folder)) {
        left.insert(entry.path().filename().string());
    }
    EXPECT_EQ(left, (::geteuid() != 0 ? std::set<std::string>{"read-only", "taken"}
                                      : std::set<std::string>{"taken"}));
    EXPECT_EQ(std::distance(fs::directory_iterator(folder / "taken"), fs::directory_iterator()), 1);

    // A database that is there is replaced whole; --sqlite goes with no
    // other output.
    const fs::path series = copied_series("broken-notes");
    std::ofstream(series / "Autolog_20261209010500.txt.notes.json") << "{\"notes\": ";
    const fs::path target = folder / "week.db";
    std::ofstream(target) << "not a database";
    const CliRun run = run_cli({"series", series.string(), "--sqlite", target.string()});
    EXPECT_EQ(run.status, 0);
    const std::string said =
        "quillon-cli: " + (series / "Autolog_20261209010500.txt.notes.json").string() +
        ": not a notes file: not JSON: ";
    EXPECT_TRUE(run.output.starts_with(said) && run.output.ends_with("; its notes are left out\n"))
        << run.output;
    EXPECT_EQ(std::count(run.output.begin(), run.output.end(), '\n'), 1);
    EXPECT_EQ(Database(target).value("SELECT count(*) FROM captures"), 5);
    EXPECT_EQ(run_cli({"series", series.string(), "--sqlite", target.string(), "--json"}).status,
              1);
}

}  // namespace
