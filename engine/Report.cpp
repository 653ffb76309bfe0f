#include "Report.h"

#include "DifferingFields.h"
#include "LogAnalysis.h"
#include "LogTimeline.h"
#include "MapPainting.h"
#include "Notes.h"
#include "Plot.h"
#include "PlotPainting.h"
#include "RecordColumns.h"
#include "ValueColumns.h"
#include "Version.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QImage>
#include <QLocale>
#include <QPalette>

#include <algorithm>
#include <filesystem>

// The report's words, context "Report" in the catalogue.
class Report {
    Q_DECLARE_TR_FUNCTIONS(Report)

public:
    Report() = delete;
};

namespace quillon {

namespace {

// The styles: on screen and on A4, each section on a page of its own.
constexpr const char* kStyle = R"(
body { font-family: sans-serif; font-size: 10pt; margin: 1.5em; color: #000; background: #fff; }
h1 { font-size: 16pt; } h2 { font-size: 13pt; } h3 { font-size: 11pt; }
table { border-collapse: collapse; margin: 0.5em 0; }
th, td { border: 1px solid #999; padding: 0.1em 0.4em; text-align: left; vertical-align: top; }
td.file { overflow-wrap: anywhere; }
td.n { text-align: right; }
.bytes { font-family: monospace; white-space: nowrap; }
mark { background: #f6c; }
tr.fired { font-weight: bold; }
tr.fired td:first-child::before { content: "\25B6 "; }
img { max-width: 100%; height: auto; }
.meta { color: #444; }
@page { size: A4; margin: 15mm; }
@media print {
  body { margin: 0; font-size: 9pt; }
  section { break-before: page; }
  table, figure { break-inside: avoid; }
}
)";

std::string text(const QString& words)
{
    return html_escaped(words.toStdString());
}

std::string text(const std::string& bytes)
{
    // A file's name need not be UTF-8: shown as the system reads it.
    return html_escaped(QString::fromLocal8Bit(bytes).toStdString());
}

std::string element(const char* tag, const std::string& inner, const std::string& attributes = "")
{
    return std::string("<") + tag + (attributes.empty() ? "" : " " + attributes) + ">" + inner +
           "</" + tag + ">";
}

std::string cell(const std::string& inner, bool number = false)
{
    return element("td", inner, number ? "class=\"n\"" : "");
}

std::string heading_cells(const QStringList& headings)
{
    std::string row;
    for (const QString& heading : headings) {
        row += element("th", text(heading));
    }
    return element("tr", row);
}

// <img> of a PNG within the file.
std::string picture(const QImage& image, const QString& alt)
{
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return "<img alt=\"" + text(alt) + "\" width=\"" + std::to_string(image.width()) +
           "\" height=\"" + std::to_string(image.height()) + "\" src=\"data:image/png;base64," +
           png.toBase64().toStdString() + "\">";
}

std::string document(const std::string& language, const QString& title, const std::string& body)
{
    return "<!DOCTYPE html>\n<html lang=\"" + html_escaped(language) +
           "\">\n<head>\n<meta charset=\"utf-8\">\n<title>" + text(title) + "</title>\n<style>" +
           kStyle + "</style>\n</head>\n<body>\n" + body + "</body>\n</html>\n";
}

std::string section(const char* id, const QString& heading, const std::string& inner)
{
    return "<section id=\"" + std::string(id) + "\">\n" + element("h2", text(heading)) + "\n" +
           inner + "</section>\n";
}

// The colours of the report's pictures: black on white, as printed.
QPalette picture_palette()
{
    QPalette colours(Qt::black, QColor(0xf2, 0xf2, 0xf2), Qt::white, QColor(0x80, 0x80, 0x80),
                     QColor(0xa0, 0xa0, 0xa0), Qt::black, Qt::white, Qt::white,
                     QColor(0xf2, 0xf2, 0xf2));
    colours.setColor(QPalette::Highlight, QColor(0x1f, 0x5f, 0xbf));
    colours.setColor(QPalette::LinkVisited, QColor(0xb0, 0x30, 0x30));
    return colours;
}

QColor mixed(const QColor& from, const QColor& to, double share)
{
    const auto channel = [share](int a, int b) { return int(std::lround(a + (b - a) * share)); };
    return QColor(channel(from.red(), to.red()), channel(from.green(), to.green()),
                  channel(from.blue(), to.blue()));
}

MapColours map_colours()
{
    return {Qt::white,
            QColor(0xf2, 0xf2, 0xf2),
            Qt::black,
            QColor(0xa0, 0xa0, 0xa0),
            QColor(0x1f, 0x5f, 0xbf),
            [](double share) {
                // As the windows scale it: a third of the way for the fewest.
                return share <= 0 ? QColor(Qt::white)
                                  : mixed(Qt::white, QColor(0xc0, 0x20, 0x20),
                                          1.0 / 3 + 2.0 / 3 * std::min(share, 1.0));
            }};
}

QString offset_words(std::optional<int> offset)
{
    return QString::fromStdString(offset_text(offset));
}

// The notes of a log, or why they could not be read.
struct LogNotes {
    std::vector<Note> notes;
    QString problem;
};

LogNotes log_notes(const std::string& file)
{
    NotesRead read = read_notes(file);
    if (read.problem == NotesProblem::None) {
        return {std::move(read.notes), {}};
    }
    return {{},
            Report::tr("The notes of %1 could not be read: %2")
                .arg(QString::fromLocal8Bit(notes_path(file).string()),
                     QString::fromLocal8Bit(read.detail))};
}

std::string note_text(const Note& note)
{
    std::string tags;
    for (const std::string& tag : note.tags) {
        tags += " <span class=\"meta\">#" + text(QString::fromStdString(tag)) + "</span>";
    }
    return text(QString::fromStdString(note.text)) + tags + " <span class=\"meta\">(" +
           text(QString::fromStdString(note.written)) + ")</span>";
}

// A log's notes as a list: its own first, then each record's.
std::string notes_list(const LogNotes& read, const LogTimeline& timeline)
{
    if (!read.problem.isEmpty()) {
        return element("p", text(read.problem));
    }
    if (read.notes.empty()) {
        return element("p", text(Report::tr("No notes.")));
    }
    std::string items;
    for (const Note& note : read.notes) {
        const QString where = !note.record ? Report::tr("The log")
                              : timeline.offset(*note.record)
                                  ? Report::tr("Record %1 (%2)")
                                        .arg(*note.record)
                                        .arg(offset_words(timeline.offset(*note.record)))
                                  : Report::tr("Record %1").arg(*note.record);
        items += element("li", element("strong", text(where)) + ": " + note_text(note)) + "\n";
    }
    return element("ul", "\n" + items);
}

// The records from K before the fired record to K after it (without one,
// the last written), each decoded with its fields; against a reference,
// the bytes and fields that differ from the record paired with it marked.
struct Around {
    const LogFile* log = nullptr;
    LogTimeline timeline;
    std::span<const FieldSpec> fields;
    int context = kDefaultReportContext;
    const LogComparison* comparison = nullptr;  // against the reference, pairs kept
    const LogFile* reference = nullptr;
    LogRecord compared{};  // the bits compared, with a comparison
};

std::string records_table(const Around& around)
{
    const LogTimeline& timeline = around.timeline;
    const int last_written = std::max(0, timeline.written - 1);
    const int first = std::max(
        0, timeline.fired ? *timeline.fired - around.context : last_written - 2 * around.context);
    const int last =
        std::min(last_written, timeline.fired ? *timeline.fired + around.context : last_written);
    QStringList headings{Report::tr("Record"), Report::tr("Offset"), Report::tr("Received"),
                         Report::tr("Sent"), Report::tr("Command")};
    if (!around.fields.empty()) {
        headings << Report::tr("Fields");
    }
    std::string rows;
    for (int record = first; record <= last && timeline.written > 0; ++record) {
        const LogRecord& bytes = around.log->records[std::size_t(record)];
        const RecordDifference* difference = nullptr;
        if (around.comparison != nullptr) {
            const auto found = std::find_if(
                around.comparison->records.begin(), around.comparison->records.end(),
                [record](const RecordDifference& pair) { return pair.record == record; });
            difference = found == around.comparison->records.end() ? nullptr : &*found;
        }
        const auto direction_bytes = [&](std::size_t from) {
            std::string shown;
            for (std::size_t k = from; k < from + kDirectionBytes; ++k) {
                const std::string hex = QString::asprintf("%02X", bytes[k]).toStdString();
                shown += (k == from ? "" : " ") +
                         (difference != nullptr && difference->differing_bits[k] != 0
                              ? element("mark", hex)
                              : hex);
            }
            return element("span", shown, "class=\"bytes\"");
        };
        const RecordReading reading(bytes, around.fields, timeline.is_written(record));
        std::string command = text(reading.text(command_name_column()));
        std::string fields;
        if (!around.fields.empty()) {
            std::vector<bool> differing(around.fields.size(), false);
            if (difference != nullptr) {
                differing = differing_fields(
                    bytes, around.reference->records[std::size_t(difference->b_record)],
                    around.compared, around.fields);
            }
            for (std::size_t f = 0; f < around.fields.size(); ++f) {
                if (!reading.field(f)) {
                    continue;
                }
                std::string shown = text(
                    QString::fromStdString(around.fields[f].name + "=" +
                                           field_value_text(around.fields[f], reading.field(f))));
                fields +=
                    (fields.empty() ? "" : "; ") + (differing[f] ? element("mark", shown) : shown);
            }
        }
        std::string row =
            cell(std::to_string(record), true) + cell(text(offset_words(timeline.offset(record)))) +
            cell(direction_bytes(0)) + cell(direction_bytes(kDirectionBytes)) + cell(command);
        if (!around.fields.empty()) {
            row += cell(fields);
        }
        rows += element("tr", row, record == timeline.fired ? "class=\"fired\"" : "") + "\n";
    }
    return element("table", "\n" + heading_cells(headings) + "\n" + rows) + "\n";
}

QString capture_time_words(std::int64_t time)
{
    return QString::fromStdString(capture_time_text(time));
}

// "Ignore Send[3] & 0x0F, Only Recv[2] & 0xFF", the windows' words.
QString rules_words(const Series& series)
{
    QStringList rules;
    for (const OnlyRule& rule : series.only) {
        rules << QCoreApplication::translate("ComparisonRulesBox", "Only %1")
                     .arg(QString::fromStdString(
                         masked_byte_text(rule.direction, rule.byte, rule.mask)));
    }
    for (const IgnoreRule& rule : series.ignore) {
        rules << QCoreApplication::translate("ComparisonRulesBox", "Ignore %1")
                     .arg(QString::fromStdString(
                         masked_byte_text(rule.direction, rule.byte, rule.mask)));
    }
    if (series.checksums == ChecksumComparison::ByValue) {
        rules << Report::tr("checksums compared by value");
    }
    return rules.isEmpty() ? QCoreApplication::translate("TfrmSeries", "Rules: none")
                           : QCoreApplication::translate("TfrmSeries", "Rules: %1")
                                 .arg(rules.join(QCoreApplication::translate("TfrmSeries", ", ",
                                                                             "between rules")));
}

std::string reference_section(const SeriesReport& report)
{
    const Series& series = *report.series;
    std::string inner =
        element("p",
                text(QCoreApplication::translate("TfrmSeries", "Reference: %1")
                         .arg(QString::fromLocal8Bit(series.captures[series.reference].file)))) +
        "\n" + element("p", text(rules_words(series))) + "\n";
    if (report.fields_file) {
        inner +=
            element(
                "p",
                text(Report::tr("Fields: %1").arg(QString::fromLocal8Bit(*report.fields_file)))) +
            "\n";
    }
    if (report.kept) {
        const std::size_t all = report.kept->left_out.size() + series.captures.size();
        inner += element("p", text(Report::tr("Kept where %1: %2 of %3 captures")
                                       .arg(QString::fromStdString(report.keep_if))
                                       .arg(series.captures.size())
                                       .arg(all))) +
                 "\n";
        if (report.kept->reference_left_out) {
            inner += element("p", text(Report::tr("The reference chosen was left out: the "
                                                  "first capture kept is the reference."))) +
                     "\n";
        }
        std::string left_out;
        for (const std::string& file : report.kept->left_out) {
            left_out += element("li", text(file)) + "\n";
        }
        if (!left_out.empty()) {
            inner += element("p", text(Report::tr("Left out:"))) + "\n" +
                     element("ul", "\n" + left_out) + "\n";
        }
    }
    return section("reference", Report::tr("Reference and rules"), inner);
}

std::string captures_section(const SeriesReport& report)
{
    const Series& series = *report.series;
    QStringList headings{Report::tr("Fired record"), Report::tr("Command"),
                         Report::tr("Records meeting the stop condition"),
                         Report::tr("Records differing"), Report::tr("Differing most")};
    // The time and the file as the series window heads them.
    headings.prepend(QCoreApplication::translate("TfrmSeries", "File"));
    headings.prepend(QCoreApplication::translate("TfrmSeries", "Time"));
    for (const ValueColumn& column : report.values->columns) {
        headings << QString::fromStdString(column.key);
    }
    std::string rows;
    for (std::size_t c = 0; c < series.captures.size(); ++c) {
        const SeriesCapture& capture = series.captures[c];
        const LogComparison& comparison = capture.against_reference;
        std::string most;
        for (const auto& [k, records] : most_differing_positions(comparison)) {
            most += (most.empty() ? "" : ", ") + byte_position(k, PositionSpelling::Label) + " (" +
                    std::to_string(records) + ")";
        }
        std::string row =
            cell(text(capture_time_words(capture.time))) +
            element("td", text(capture.file), "class=\"file\"") +
            cell(capture.timeline.fired ? std::to_string(*capture.timeline.fired) : "-", true) +
            cell(text(QString::fromStdString(fired_command_text(capture)))) +
            cell(std::to_string(capture.meets), true) +
            cell(c == series.reference ? text(Report::tr("reference"))
                                       : text(Report::tr("%1 of %2")
                                                  .arg(comparison.records_differing)
                                                  .arg(comparison.records_compared)),
                 true) +
            cell(text(QString::fromStdString(most)));
        for (const auto& value : report.values->rows[c]) {
            row +=
                cell(value ? text(QString::fromStdString(placed_value_text(*value))) : "-", true);
        }
        rows += element("tr", row) + "\n";
    }
    return section("captures", Report::tr("Captures"),
                   element("table", "\n" + heading_cells(headings) + "\n" + rows) + "\n");
}

// The map's rows from T-kMapRowsBefore on, so that its picture fits a
// page: the fault's neighbourhood.
VariationMap rows_near_trigger(const VariationMap& map)
{
    constexpr int kMapRowsBefore = 32;
    const int first = std::clamp(-kMapRowsBefore - map.first_offset, 0, map.rows);
    VariationMap near = map;
    near.first_offset += first;
    near.rows -= first;
    near.bytes.erase(near.bytes.begin(),
                     near.bytes.begin() + std::min<std::ptrdiff_t>(first, std::ssize(near.bytes)));
    near.fields.erase(
        near.fields.begin(),
        near.fields.begin() + std::min<std::ptrdiff_t>(first, std::ssize(near.fields)));
    return near;
}

std::string map_section(const SeriesReport& report)
{
    const VariationMap& map = *report.map;
    if (map.rows == 0) {
        return section(
            "map", QCoreApplication::translate("VariationMapView", "Variation map"),
            element("p", text(QCoreApplication::translate(
                             "VariationMapView", "No capture with a fired record to map"))) +
                "\n");
    }
    const VariationMap near = rows_near_trigger(map);
    MapPainting painting;
    painting.SetMap(near);
    const QFont font = QGuiApplication::font();
    painting.Layout(font, QCoreApplication::translate("VariationMapView", "Captures differing"));
    const QImage image = painting.Picture({}, font, map_colours());
    const QString about = Report::tr(
        "How many captures differ from the reference at each offset from the fired "
        "record (rows) in each byte position and field (columns).");
    const QString shown = near.rows == map.rows
                              ? QString()
                              : " " + Report::tr("Offsets %1 to %2 of %3 to %4.")
                                          .arg(offset_words(near.first_offset),
                                               offset_words(near.offset_of(near.rows - 1)),
                                               offset_words(map.first_offset),
                                               offset_words(map.offset_of(map.rows - 1)));
    return section(
        "map", QCoreApplication::translate("VariationMapView", "Variation map"),
        element("p", text(about + shown)) + "\n" + element("figure", picture(image, about)) + "\n");
}

// The plots asked for: a value column's values over the captures' times;
// without one, the cell of the map where most captures differ.
struct PlotChoice {
    int offset = 0;
    RecordColumn column;
};

std::vector<PlotChoice> plot_choices(const SeriesReport& report)
{
    std::vector<PlotChoice> chosen;
    for (std::size_t i = 0; i < report.values->columns.size() && i < report.value_reads.size();
         ++i) {
        if (report.value_reads[i].kind != ColumnKind::Decoded) {
            chosen.push_back({report.values->columns[i].offset, report.value_reads[i]});
        }
    }
    if (chosen.empty()) {
        if (const auto most = report.map->most_differing_cell()) {
            chosen.push_back(
                {report.map->offset_of(most->row), report.map->columns[std::size_t(most->column)]});
        }
    }
    return chosen;
}

std::string plots_section(const SeriesReport& report)
{
    const Series& series = *report.series;
    std::string figures;
    const QFont font = QGuiApplication::font();
    for (const PlotChoice& choice : plot_choices(report)) {
        std::vector<PlotPoint> points;
        std::vector<double> plotted;
        for (const CaptureValue& value :
             values_at(series, choice.offset, choice.column, report.fields)) {
            points.push_back({double(series.captures[value.capture].time), value.value, {}});
            plotted.push_back(value.value);
        }
        std::stable_sort(points.begin(), points.end(),
                         [](const PlotPoint& a, const PlotPoint& b) { return a.x < b.x; });
        QString y_title = QString::fromStdString(choice.column.label);
        if (choice.column.kind == ColumnKind::Field) {
            const std::string& unit = report.fields[std::size_t(choice.column.index)].unit;
            y_title += unit.empty() ? QString() : " (" + QString::fromStdString(unit) + ")";
        }
        y_title = QCoreApplication::translate("TfrmSeries", "%1 at %2",
                                              "a value at an offset from the fired record")
                      .arg(y_title, offset_words(choice.offset));
        const PlotScale scale = plot_scale(choice.column, report.fields, plotted);
        PlotAxis axis;
        axis.kind = scale.kind == PlotScale::Kind::Byte    ? PlotAxis::Kind::Byte
                    : scale.kind == PlotScale::Kind::Named ? PlotAxis::Kind::Named
                                                           : PlotAxis::Kind::Number;
        for (const auto& [value, name] : scale.names) {
            axis.names.emplace_back(value, QString::fromStdString(name));
        }
        PlotPainting painting;
        painting.SetXIsTime(true);
        painting.SetYAxis(std::move(axis));
        painting.SetPlots({{QString(), std::move(points), 0.0}},
                          QCoreApplication::translate("TfrmSeries", "capture time"), y_title,
                          double(series.captures[series.reference].time));
        const QImage image =
            painting.Picture(QSize(720, 360), font, picture_palette(),
                             QCoreApplication::translate("PlotView", "No values to plot"));
        figures +=
            element("figure", picture(image, y_title) + element("figcaption", text(y_title))) +
            "\n";
    }
    if (figures.empty()) {
        return "";
    }
    return section("plots", Report::tr("Plots"), figures);
}

std::string causes_section(const CauseFinding& finding)
{
    std::string inner = element("p", text(Report::tr("%1 anchors").arg(finding.anchors))) + "\n";
    if (finding.anchors < kFewestAnchors) {
        inner += element("p", text(Report::tr("Few anchors: the baseline is weak."))) + "\n";
    }
    const auto line = [](const LikelyCause& cause) {
        return element("code", text(QString::fromStdString(cause.condition))) + " " +
               text(Report::tr("%1 of %2 captures, baseline %3, score %4")
                        .arg(cause.captures)
                        .arg(cause.of)
                        .arg(QString::fromStdString(cause_share_text(cause.baseline_share)),
                             QString::fromStdString(cause_score_text(cause.score))));
    };
    if (finding.causes.empty()) {
        inner += element("p", text(Report::tr("No likely cause: nothing held before the trigger "
                                              "in most captures that seldom holds otherwise."))) +
                 "\n";
        if (finding.best) {
            inner += element("p", text(Report::tr("The strongest candidate:")) + " " +
                                      line(*finding.best)) +
                     "\n";
        }
    } else {
        std::string items;
        for (const LikelyCause& cause : finding.causes) {
            std::string folded;
            for (const std::string& also : cause.folded) {
                folded += element("li", element("code", text(QString::fromStdString(also))));
            }
            items +=
                element("li", line(cause) + (folded.empty() ? "" : element("ul", folded))) + "\n";
        }
        inner += element("ol", "\n" + items) + "\n";
    }
    return section("causes", Report::tr("Likely causes"), inner);
}

std::string records_section(const SeriesReport& report)
{
    const Series& series = *report.series;
    const SeriesCapture& reference = series.captures[series.reference];
    const ComparisonRules rules = with_fields_left_out(
        ComparisonRules{series.ignore, series.only, series.checksums}, report.fields);
    std::string inner =
        element("p", text(Report::tr("Each capture's fired record (%1) with %2 records before "
                                     "and after it; bytes and fields that differ from the "
                                     "reference are marked.")
                              .arg("T0")
                              .arg(report.context))) +
        "\n";
    for (std::size_t c = 0; c < series.captures.size(); ++c) {
        const SeriesCapture& capture = series.captures[c];
        inner += element("h3", text(capture.file) + " <span class=\"meta\">" +
                                   text(capture_time_words(capture.time)) +
                                   (c == series.reference ? ", " + text(Report::tr("reference"))
                                                          : std::string()) +
                                   "</span>") +
                 "\n";
        if (!capture.timeline.fired) {
            inner +=
                element("p", text(Report::tr("No fired record: the last records written."))) + "\n";
        }
        LogComparison comparison;
        Around around{&capture.log, capture.timeline, report.fields, report.context};
        if (c != series.reference) {
            comparison = compare_logs(capture.log, reference.log, rules);
            around.comparison = &comparison;
            around.reference = &reference.log;
            around.compared = series.compared;
        }
        inner += records_table(around);
    }
    return section("records", Report::tr("Records around the fired record"), inner);
}

std::string notes_section(const std::vector<std::pair<std::string, const LogTimeline*>>& logs)
{
    std::string inner;
    for (const auto& [file, timeline] : logs) {
        const LogNotes read = log_notes(file);
        if (read.notes.empty() && read.problem.isEmpty()) {
            continue;
        }
        inner += element("h3", text(file)) + "\n" + notes_list(read, *timeline);
    }
    if (inner.empty()) {
        inner = element("p", text(Report::tr("No notes."))) + "\n";
    }
    return section("notes", Report::tr("Notes"), inner);
}

QString folder_words(const std::vector<std::string>& named)
{
    QStringList shown;
    for (const std::string& name : named) {
        shown << QString::fromLocal8Bit(name);
    }
    return shown.join(", ");
}

}  // namespace

std::string html_escaped(std::string_view text)
{
    std::string escaped;
    escaped.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '&': escaped += "&amp;"; break;
        case '<': escaped += "&lt;"; break;
        case '>': escaped += "&gt;"; break;
        case '"': escaped += "&quot;"; break;
        case '\'': escaped += "&#39;"; break;
        default: escaped += c;
        }
    }
    return escaped;
}

std::string series_report_html(const SeriesReport& report)
{
    const Series& series = *report.series;
    const auto [earliest, latest] = std::minmax_element(
        series.captures.begin(), series.captures.end(),
        [](const SeriesCapture& a, const SeriesCapture& b) { return a.time < b.time; });
    const QString title = Report::tr("Quillon report: %1").arg(folder_words(report.named));
    std::string body =
        "<header>\n" + element("h1", text(title)) + "\n" +
        element("p", text(Report::tr("%1 captures, %2 to %3")
                              .arg(series.captures.size())
                              .arg(capture_time_words(earliest->time),
                                   capture_time_words(latest->time)))) +
        "\n" +
        element("p", text(Report::tr("Made by Quillon %1").arg(kVersion)), "class=\"meta\"") +
        "\n</header>\n";
    body += reference_section(report);
    body += captures_section(report);
    body += map_section(report);
    body += plots_section(report);
    if (report.causes) {
        body += causes_section(*report.causes);
    }
    body += records_section(report);
    std::vector<std::pair<std::string, const LogTimeline*>> logs;
    for (const SeriesCapture& capture : series.captures) {
        logs.emplace_back(capture.file, &capture.timeline);
    }
    body += notes_section(logs);
    return document(report.language, title, body);
}

std::string log_report_html(const LogReport& report)
{
    const LogFile& log = *report.log;
    const LogTimeline timeline = log_timeline(log);
    const TimelineSummary summary = timeline_summary(log, match_stop_condition(log), timeline);
    const QString title = Report::tr("Quillon report: %1").arg(QString::fromLocal8Bit(report.file));
    std::string header =
        element("p", text(Report::tr("Date and time: %1")
                              .arg(QString::fromLocal8Bit(
                                  with_control_characters_escaped(log.date_time))))) +
        "\n" +
        element("p", text(Report::tr("Stop condition: %1")
                              .arg(QString::fromStdString(stop_condition_text(log))))) +
        "\n";
    if (report.fields_file) {
        header +=
            element(
                "p",
                text(Report::tr("Fields: %1").arg(QString::fromLocal8Bit(*report.fields_file)))) +
            "\n";
    }
    header +=
        element("p", text(Report::tr("Made by Quillon %1").arg(kVersion)), "class=\"meta\"") + "\n";
    QStringList said;
    if (summary.trigger == TimelineSummary::Trigger::Fired) {
        said << Report::tr("The trigger fired at record %1, count %2.")
                    .arg(summary.fired)
                    .arg(summary.count);
    } else if (summary.trigger == TimelineSummary::Trigger::NotFired) {
        said << Report::tr("No fired record: the log was stopped before its trigger fired.");
    }
    if (summary.stop_condition == StopConditionMatch::Answer::Checked) {
        said << Report::tr("%1 records meet the stop condition %2.")
                    .arg(summary.records_meeting)
                    .arg(QString::fromStdString(summary.condition));
    }
    said << Report::tr("%1 records written, %2 never written.")
                .arg(timeline.written)
                .arg(summary.never_written);
    std::string summary_items;
    for (const QString& line : said) {
        summary_items += element("li", text(line));
    }
    std::string body = "<header>\n" + element("h1", text(title)) + "\n" + header + "</header>\n";
    body += section("summary", Report::tr("Summary"), element("ul", summary_items) + "\n");
    body += section("records", Report::tr("Records around the fired record"),
                    records_table(Around{&log, timeline, report.fields, report.context}));
    body += notes_section({{report.file, &timeline}});
    return document(report.language, title, body);
}

}  // namespace quillon
