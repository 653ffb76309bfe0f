// quillon-cli report as a user runs it, a process of its own: the golden
// series and one log with notes, each report a file that a strict HTML
// parser reads (Debian's python3-html5lib), whose pictures are PNGs inside
// it and which names nothing outside it; its text against a golden file
// written by hand; in Japanese from the catalogue; and the statuses of a
// report that cannot be made or written.
#include "CliRun.h"
#include "LogFile.h"
#include "LogTimeline.h"
#include "Notes.h"
#include "TestEnvironment.h"
#include "Version.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QImage>
#include <QRegularExpression>
#include <QString>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const fs::path kGolden = QUILLON_GOLDEN_DIR;

std::string read_text(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

using testsupport::CliRun;

// quillon-cli report run in folder, so that the names it writes are as
// given.
CliRun report(const fs::path& folder, std::vector<std::string> args)
{
    args.insert(args.begin(), "report");
    return testsupport::run_cli_in(folder, args, 30s);
}

fs::path scratch(const std::string& name)
{
    const fs::path folder = fs::path(testsupport::private_root()) / name;
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder;
}

// What html5lib's strict parser says of the file: "" when it reads it
// without a fault.
std::string html_faults(const fs::path& file)
{
    const CliRun check =
        testsupport::run_program(QUILLON_PYTHON3, {QUILLON_HTML_CHECK, file.string()}, 30s);
    return check.status == 0
               ? check.output
               : "status " + std::to_string(check.status.value_or(-1)) + ": " + check.output;
}

// Every src and href: each must stay within the file.
std::vector<std::string> references(const std::string& html)
{
    std::vector<std::string> found;
    static const QRegularExpression kReference(R"re((?:src|href)\s*=\s*"([^"]*)")re",
                                               QRegularExpression::CaseInsensitiveOption);
    auto matches = kReference.globalMatch(QString::fromStdString(html));
    while (matches.hasNext()) {
        found.push_back(matches.next().captured(1).toStdString());
    }
    return found;
}

// The pictures, each read back from its data: URL.
std::vector<QImage> pictures(const std::string& html)
{
    std::vector<QImage> found;
    static const QRegularExpression kPicture(
        R"re(<img [^>]*src="data:image/png;base64,([^"]*)")re");
    auto matches = kPicture.globalMatch(QString::fromStdString(html));
    while (matches.hasNext()) {
        const QByteArray png = QByteArray::fromBase64(matches.next().captured(1).toLatin1());
        QImage image;
        EXPECT_TRUE(image.loadFromData(png, "PNG")) << "a picture that is no PNG";
        found.push_back(image);
    }
    return found;
}

// The text a reader sees: no style, no tags (a cell's end a " | ", what
// is marked in [ ]), the entities read, the version as VERSION, no empty
// line.
std::string text_of(const std::string& html)
{
    QString text = QString::fromStdString(html);
    text.remove(
        QRegularExpression("<style>.*</style>", QRegularExpression::DotMatchesEverythingOption));
    text.replace(QRegularExpression("</t[dh]>"), " | ");
    text.replace("<mark>", "[").replace("</mark>", "]");
    text.remove(QRegularExpression("<[^>]*>"));
    text.replace("&lt;", "<").replace("&gt;", ">").replace("&quot;", "\"").replace("&#39;", "'");
    text.replace("&amp;", "&");
    text.replace(QString("Quillon ") + quillon::kVersion, "Quillon VERSION");
    text.remove(QRegularExpression("^\\s*\\n", QRegularExpression::MultilineOption));
    return text.toStdString();
}

// What every report must be: valid HTML5, pictures inside it, nothing
// outside it named.
void expect_self_contained(const fs::path& file)
{
    const std::string html = read_text(file);
    EXPECT_EQ(html_faults(file), "");
    EXPECT_EQ(html.find("http"), std::string::npos);
    EXPECT_EQ(html.find("<script"), std::string::npos);
    for (const std::string& reference : references(html)) {
        EXPECT_TRUE(reference.starts_with("data:") || reference.starts_with("#")) << reference;
    }
    EXPECT_NE(html.find("@page { size: A4"), std::string::npos);
    EXPECT_NE(html.find("break-before: page"), std::string::npos);
}

TEST(Report, TheGoldenSeriesInOneFileWithItsPictures)
{
    const fs::path out = scratch("series-report") / "report.html";
    const CliRun run = report(kGolden, {"series", "--value", "send[3]@T+1", "--context", "2",
                                        "--lang", "en", "--out", out.string()});
    // As series: a file of the folder is no log.
    EXPECT_EQ(run.status, 7) << run.output;
    EXPECT_EQ(run.output,
              "quillon-cli: series/broken.txt:1: not a log file: no \"#Date and Time  : \" line\n");
    expect_self_contained(out);
    const std::string html = read_text(out);
    EXPECT_NE(html.find("<html lang=\"en\">"), std::string::npos);
    EXPECT_EQ(text_of(html), read_text(kGolden / "report-series.txt"));
    // The map and the plot of --value, each of a size to read.
    const std::vector<QImage> shown = pictures(html);
    ASSERT_EQ(shown.size(), 2u);
    for (const QImage& picture : shown) {
        EXPECT_GE(picture.width(), 300);
        EXPECT_GE(picture.height(), 100);
        EXPECT_LE(picture.width(), 4000);
    }
    // The map's one differing cell (Send 3 at T+1) is drawn in a colour
    // of its own, unlike the cells around it.
    const QImage& map = shown.front();
    std::set<QRgb> colours;
    for (int y = 0; y < map.height(); y += 2) {
        for (int x = 0; x < map.width(); x += 2) {
            colours.insert(map.pixel(x, y));
        }
    }
    EXPECT_GT(colours.size(), 3u);
}

// The planted cause of the golden causes, found with --explain, a field
// of --fields that differs from the reference marked as its bytes are, and
// the map's rows near the trigger.
TEST(Report, TheLikelyCausesAndTheFieldsThatDiffer)
{
    const fs::path out = scratch("causes-report") / "report.html";
    const CliRun run = report(kGolden, {"causes", "--fields", "causes-fields.json", "--explain",
                                        "--lang", "en", "--out", out.string()});
    EXPECT_EQ(run.status, 8) << run.output;
    expect_self_contained(out);
    const std::string html = read_text(out);
    EXPECT_NE(html.find("<section id=\"causes\">"), std::string::npos);
    EXPECT_NE(html.find("<li><code>x = 200 @T-2</code> 5 of 6 captures"), std::string::npos);
    EXPECT_NE(html.find("<th>Fields</th>"), std::string::npos);
    EXPECT_NE(html.find("<mark>x=16</mark>"), std::string::npos);
    // A map of 59 rows pictured from T-32 on, to fit a page.
    EXPECT_NE(html.find("Offsets T-32 to T+2 of T-56 to T+2."), std::string::npos);
    // Without --explain, no causes.
    report(kGolden, {"causes", "--out", out.string()});
    EXPECT_EQ(read_text(out).find("id=\"causes\""), std::string::npos);
}

TEST(Report, InJapaneseFromTheCatalogue)
{
    const fs::path out = scratch("japanese-report") / "report.html";
    const CliRun run =
        report(kGolden / "series", {"Autolog_20261209010000.txt", "Autolog_20261209020000.txt",
                                    "--lang", "ja", "--out", out.string()});
    EXPECT_EQ(run.status, 8) << run.output;  // the second differs from the first
    expect_self_contained(out);
    const std::string html = read_text(out);
    EXPECT_NE(html.find("<html lang=\"ja\">"), std::string::npos);
    // The map's name and a heading of the captures' table, as the
    // windows word them in Japanese.
    EXPECT_NE(html.find("<h2>変動マップ</h2>"), std::string::npos);
    EXPECT_NE(html.find("<th>ファイル</th>"), std::string::npos);
    EXPECT_EQ(html.find("Variation map"), std::string::npos);

    // In English the same words.
    const fs::path english = out.parent_path() / "english.html";
    report(kGolden / "series", {"Autolog_20261209010000.txt", "Autolog_20261209020000.txt",
                                "--lang", "en", "--out", english.string()});
    EXPECT_NE(read_text(english).find("<h2>Variation map</h2>"), std::string::npos);
}

TEST(Report, OneLogAsTheBrowserShowsItWithItsNotesEscaped)
{
    const fs::path folder = scratch("log-report");
    const fs::path log = folder / "fired.txt";
    fs::copy_file(kGolden / "fired.txt", log);
    const quillon::LogTimeline timeline = quillon::log_timeline(quillon::read_log_file(log));
    ASSERT_TRUE(timeline.fired);
    const auto now = std::chrono::system_clock::now();
    ASSERT_EQ(quillon::add_note(log, timeline, std::nullopt, "<b>overload</b> & \"more\"",
                                {"overload"}, now)
                  .problem,
              quillon::NotesProblem::None);
    ASSERT_EQ(quillon::add_note(log, timeline, *timeline.fired, "the fired one", {}, now).problem,
              quillon::NotesProblem::None);

    const CliRun run =
        report(folder, {"fired.txt", "--context", "2", "--lang", "en", "--out", "fired.html"});
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(run.output, "");
    expect_self_contained(folder / "fired.html");
    const std::string html = read_text(folder / "fired.html");
    // The note's text as text, never as markup.
    EXPECT_NE(html.find("&lt;b&gt;overload&lt;/b&gt; &amp; &quot;more&quot;"), std::string::npos);
    EXPECT_EQ(html.find("<b>overload"), std::string::npos);
    const std::string text = text_of(html);
    EXPECT_NE(text.find("The log: <b>overload</b> & \"more\" #overload"), std::string::npos);
    EXPECT_NE(text.find("Record " + std::to_string(*timeline.fired) + " (T0): the fired one"),
              std::string::npos);
    // Two records either side of the fired one, it marked.
    std::size_t rows = 0;
    for (auto at = html.find("<tr><td"); at != std::string::npos;
         at = html.find("<tr><td", at + 1)) {
        ++rows;
    }
    EXPECT_EQ(rows, 4u);
    EXPECT_EQ(html.find("<tr class=\"fired\">") != std::string::npos, true);
    EXPECT_TRUE(pictures(html).empty());

    // A sidecar that does not read is said in the report, and the log
    // reported all the same.
    std::ofstream(quillon::notes_path(log), std::ios::trunc) << "[]";
    EXPECT_EQ(report(folder, {"fired.txt", "--out", "again.html"}).status, 0);
    EXPECT_NE(read_text(folder / "again.html").find("could not be read"), std::string::npos);
}

TEST(Report, WhatCannotBeMadeOrWritten)
{
    const fs::path folder = scratch("report-faults");
    const CliRun no_out = report(kGolden, {"fired.txt"});
    EXPECT_EQ(no_out.status, 1);
    EXPECT_EQ(no_out.output, "quillon-cli: report needs --out FILE: the report's file\n");
    const CliRun nowhere =
        report(kGolden, {"fired.txt", "--out", (folder / "missing" / "r.html").string()});
    EXPECT_EQ(nowhere.status, 5) << nowhere.output;
    EXPECT_NE(nowhere.output.find((folder / "missing" / "r.html").string()), std::string::npos);
    EXPECT_FALSE(fs::exists(folder / "missing"));
    const CliRun unreadable =
        report(kGolden, {"series/broken.txt", "--out", (folder / "r.html").string()});
    EXPECT_EQ(unreadable.status, 7);
    EXPECT_FALSE(fs::exists(folder / "r.html"));
    EXPECT_EQ(report(kGolden, {"fired.txt", "--lang", "de", "--out", "x.html"}).status, 1);
}

// The checker itself finds a fault: a report that passes it is no accident.
TEST(Report, TheStrictParserRefusesBrokenHtml)
{
    const fs::path broken = scratch("broken-html") / "broken.html";
    std::ofstream(broken) << "<!DOCTYPE html><html lang=\"en\"><head><title>t</title></head>"
                             "<body><p>a</b></body></html>";
    EXPECT_NE(html_faults(broken), "");
}

}  // namespace
