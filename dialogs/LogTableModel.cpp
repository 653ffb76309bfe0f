#include "LogTableModel.h"

#include "ColumnWords.h"
#include "DifferingFields.h"
#include "HexText.h"
#include "MarkColours.h"
#include "NoteDialog.h"

#include <QBrush>
#include <QColor>
#include <QFont>
#include <QGuiApplication>
#include <QPalette>

#include <algorithm>
#include <array>

namespace {

using quillon::Direction;

// What the marker cell shows of a record that meets the stop condition:
// kMeets is what it says. The fired record and records never written show
// their words.
const QString kMeetsMarker = QString::fromUtf8("\u25CF");
// Beside the mark of a record with notes.
const QString kNoteMarker = QString::fromUtf8("\u270E");

QString hex(std::uint8_t byte)
{
    return QString::fromStdString(quillon::hex_byte(byte));
}

// Made from the application's palette when asked: a view repaints on a
// palette change and so shows the new palette's colours.
MarkColours colours()
{
    return mark_colours(QGuiApplication::palette());
}

// A decoded block's length, address, command or header byte: a byte of its
// own, written as one ("0x0C"); its checksum and the command's name are words.
bool is_decoded_byte(const quillon::RecordColumn& column)
{
    using Part = quillon::DecodedPart;
    const auto part = Part(column.index);
    return column.kind == quillon::ColumnKind::Decoded &&
           (part == Part::Length || part == Part::Second || part == Part::Third);
}

}  // namespace

LogTableModel::LogTableModel(const quillon::LogFile& log, QObject* parent)
    : QAbstractTableModel(parent), log_(log), match_(quillon::match_stop_condition(log)),
      timeline_(quillon::log_timeline(log))
{
    if (match_.answer == quillon::StopConditionMatch::Answer::Checked) {
        tested_byte_ =
            quillon::record_byte_index(log.stop_condition->direction, log.stop_condition->byte);
    }
    BuildColumns();
}

void LogTableModel::BuildColumns()
{
    columns_.clear();
    // What identifies a record first: the view keeps these in sight.
    columns_.push_back({Kind::Number, {}});
    columns_.push_back({Kind::Offset, {}});
    columns_.push_back({Kind::Marker, {}});
    const auto add = [this](const std::vector<quillon::RecordColumn>& columns) {
        for (const quillon::RecordColumn& column : columns) {
            columns_.push_back({Kind::Record, column});
        }
    };
    // A decoded column that no record fills (the command word's name in a
    // log of another program's commands) would only take room.
    const auto add_shown = [this](const std::vector<quillon::RecordColumn>& columns) {
        for (const quillon::RecordColumn& column : columns) {
            if (std::any_of(readings_.begin(), readings_.end(),
                            [&](const auto& reading) { return !reading.text(column).empty(); })) {
                columns_.push_back({Kind::Record, column});
            }
        }
    };
    const auto& bytes = quillon::byte_columns();
    const auto sent = bytes.begin() + quillon::kDirectionBytes;
    add({bytes.begin(), sent});
    if (decoded_) {
        add_shown(quillon::decoded_columns(Direction::Recv));
    }
    add({sent, bytes.end()});
    if (decoded_) {
        add_shown(quillon::decoded_columns(Direction::Send));
        add_shown({quillon::command_name_column()});
    }
    add(quillon::field_columns(fields_));
}

int LogTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : quillon::kLogRecords;
}

int LogTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(columns_.size());
}

int LogTableModel::ByteColumn(std::size_t byte) const
{
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        if (columns_[i].IsByte() && std::size_t(columns_[i].record.index) == byte) {
            return int(i);
        }
    }
    return -1;
}

bool LogTableModel::Meets(int record) const
{
    return tested_byte_.has_value() && match_.meets_record[std::size_t(record)];
}

const char* LogTableModel::Mark(int record) const
{
    if (!timeline_.is_written(record)) {
        return kNeverWritten;
    }
    if (timeline_.fired == record) {
        return kFired;
    }
    return Meets(record) ? kMeets : nullptr;
}

QString LogTableModel::Text(int record, const Column& column) const
{
    switch (column.kind) {
    case Kind::Number: return QString::number(record);
    case Kind::Offset:
        return QString::fromStdString(quillon::offset_text(timeline_.offset(record)));
    case Kind::Record:
        if (column.IsByte()) {
            return hex(log_.records[std::size_t(record)][std::size_t(column.record.index)]);
        }
        if (is_decoded_byte(column.record)) {
            return QString::fromStdString("0x" +
                                          readings_[std::size_t(record)].text(column.record));
        }
        return QString::fromStdString(readings_[std::size_t(record)].text(column.record));
    case Kind::Marker: break;
    }
    return MarkerText(record);
}

QString LogTableModel::MarkerText(int record) const
{
    const char* mark = Mark(record);
    QString shown = mark == kMeets ? kMeetsMarker : MarkText(mark);
    if (!notes_.contains(record)) {
        return shown;
    }
    return shown.isEmpty() ? kNoteMarker : shown + " " + kNoteMarker;
}

QString LogTableModel::MarkerAccessibleText(int record) const
{
    QStringList parts;
    if (const QString mark = MarkText(Mark(record)); !mark.isEmpty()) {
        parts << mark;
    }
    if (const auto noted = notes_.find(record); noted != notes_.end()) {
        for (const QString& note : noted->second) {
            parts << tr("note: %1").arg(note);
        }
    }
    return parts.join(tr("; ", "between a record's mark and its notes"));
}

void LogTableModel::SetNotes(const std::vector<quillon::Note>& notes)
{
    notes_.clear();
    for (const quillon::Note& note : notes) {
        if (note.record) {
            notes_[*note.record] << note_line(note);
        }
    }
    if (rowCount() > 0) {
        const QModelIndex first = index(0, MarkerColumn());
        emit dataChanged(first, index(rowCount() - 1, MarkerColumn()));
    }
}

std::vector<int> LogTableModel::NotedRecords() const
{
    std::vector<int> records;
    records.reserve(notes_.size());
    for (const auto& [record, lines] : notes_) {
        records.push_back(record);
    }
    return records;
}

void LogTableModel::Retranslate()
{
    if (columnCount() == 0) {
        return;
    }
    emit headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
    emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
}

QString LogTableModel::MarkText(const char* mark)
{
    return mark == kFired          ? tr("fired")
           : mark == kMeets        ? tr("meets")
           : mark == kNeverWritten ? tr("never written")
                                   : QString();
}

bool LogTableModel::Differs(int record, const Column& column) const
{
    if (differing_bits_.empty() || column.kind != Kind::Record) {
        return false;
    }
    const auto at = std::size_t(record);
    const auto index = std::size_t(column.record.index);
    switch (column.record.kind) {
    case quillon::ColumnKind::Byte: return differing_bits_[at][index] != 0;
    case quillon::ColumnKind::Field:
        return !differing_fields_[at].empty() && differing_fields_[at][index];
    case quillon::ColumnKind::Decoded: break;
    }
    return false;
}

QVariant LogTableModel::Background(int record, const Column& column) const
{
    if (Differs(record, column)) {
        return colours().difference;
    }
    const char* mark = Mark(record);
    if (mark == kFired) {
        return colours().fired;
    }
    return mark == kMeets ? QVariant(colours().meets) : QVariant();
}

QVariant LogTableModel::Foreground(int record, const Column& column) const
{
    // A differing byte keeps the palette's text, which reads on its colour.
    if (timeline_.is_written(record) || Differs(record, column)) {
        return {};
    }
    return colours().never_written;
}

QVariant LogTableModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid()) {
        return {};
    }
    const int record = index.row();
    const Column& column = columns_[std::size_t(index.column())];
    switch (role) {
    case Qt::DisplayRole: return Text(record, column);
    case Qt::AccessibleTextRole:
        return column.kind == Kind::Marker ? MarkerAccessibleText(record) : Text(record, column);
    case Qt::ToolTipRole:
        if (const auto noted = notes_.find(record);
            column.kind == Kind::Marker && noted != notes_.end()) {
            return noted->second.join('\n');
        }
        return {};
    case Qt::BackgroundRole: return Background(record, column);
    case Qt::ForegroundRole: return Foreground(record, column);
    case Qt::AccessibleDescriptionRole:
        return column.kind == Kind::Number && Found(record) ? tr("found") : QVariant();
    case Qt::FontRole:
        if ((column.kind == Kind::Number && Found(record)) ||
            (column.IsByte() && Meets(record) &&
             std::size_t(column.record.index) == *tested_byte_)) {
            QFont bold;
            bold.setBold(true);
            return bold;
        }
        return {};
    case Qt::TextAlignmentRole: return int(Qt::AlignCenter);
    default: return {};
    }
}

void LogTableModel::SetFound(const std::vector<int>& records)
{
    std::bitset<quillon::kLogRecords> found;
    for (const int record : records) {
        if (record >= 0 && record < quillon::kLogRecords) {
            found.set(std::size_t(record));
        }
    }
    if (found == found_) {
        return;
    }
    found_ = found;
    if (rowCount() > 0) {
        emit dataChanged(index(0, 0), index(rowCount() - 1, 0),
                         {Qt::FontRole, Qt::AccessibleDescriptionRole});
    }
}

QVariant LogTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= columnCount()) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    const Column& column = columns_[std::size_t(section)];
    if (column.IsByte()) {
        return ByteHeader(std::size_t(column.record.index), role);
    }
    if (role != Qt::DisplayRole) {
        return {};
    }
    switch (column.kind) {
    case Kind::Number: return "#";
    case Kind::Offset: return "T";
    case Kind::Record: return column_label(column.record);
    case Kind::Marker: break;
    }
    return tr("Marker");
}

QVariant LogTableModel::ByteHeader(std::size_t byte, int role)
{
    switch (role) {
    case Qt::DisplayRole:
        // Narrow enough for both directions in sight.
        return QString::fromStdString(
            quillon::byte_position(byte, quillon::PositionSpelling::Heading));
    case Qt::ToolTipRole:
        return QString::fromStdString(
            quillon::byte_position(byte, quillon::PositionSpelling::Condition));
    case Qt::BackgroundRole:
        return QBrush(byte >= quillon::kDirectionBytes ? colours().send_header
                                                       : colours().recv_header);
    default: return {};
    }
}

void LogTableModel::ReadRecords()
{
    readings_.clear();
    if (!decoded_ && fields_.empty()) {
        return;
    }
    readings_.reserve(std::size_t(quillon::kLogRecords));
    for (int i = 0; i < quillon::kLogRecords; ++i) {
        readings_.emplace_back(log_.records[std::size_t(i)], fields_, timeline_.is_written(i));
    }
}

void LogTableModel::SetDecoded(bool decoded)
{
    if (decoded == decoded_) {
        return;
    }
    beginResetModel();
    decoded_ = decoded;
    ReadRecords();
    BuildColumns();
    endResetModel();
}

void LogTableModel::SetFields(std::vector<quillon::FieldSpec> fields)
{
    beginResetModel();
    fields_ = std::move(fields);
    ReadRecords();
    BuildColumns();
    MarkDifferences();
    endResetModel();
}

void LogTableModel::SetComparison(const quillon::LogComparison& comparison, Side side,
                                  const quillon::LogFile& other, const quillon::LogRecord& compared)
{
    comparison_ = &comparison;
    side_ = side;
    other_ = &other;
    compared_ = &compared;
    MarkDifferences();
    emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1), {Qt::BackgroundRole});
}

void LogTableModel::EndComparison()
{
    comparison_ = nullptr;
    MarkDifferences();
    emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1), {Qt::BackgroundRole});
}

void LogTableModel::MarkDifferences()
{
    differing_bits_.clear();
    differing_fields_.clear();
    if (comparison_ == nullptr) {
        return;
    }
    differing_bits_.assign(std::size_t(quillon::kLogRecords), quillon::LogRecord{});
    differing_fields_.assign(std::size_t(quillon::kLogRecords), {});
    for (const quillon::RecordDifference& difference : comparison_->records) {
        const bool a = side_ == Side::A;
        const auto own = std::size_t(a ? difference.record : difference.b_record);
        const auto others = std::size_t(a ? difference.b_record : difference.record);
        differing_bits_[own] = difference.differing_bits;
        if (!fields_.empty()) {
            differing_fields_[own] = quillon::differing_fields(
                log_.records[own], other_->records[others], *compared_, fields_);
        }
    }
}
