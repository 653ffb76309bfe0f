#include "LogTableModel.h"

#include "HexText.h"

#include <QBrush>
#include <QColor>
#include <QFont>
#include <QGuiApplication>
#include <QPalette>

#include <array>

namespace {

using quillon::Direction;

// The decoded fields: the received direction's after its bytes, the sent
// direction's and the command word's name after those.
constexpr std::array<const char*, 4> kRecvFields = {"Recv length", "Recv address", "Recv command",
                                                    "Recv checksum"};
constexpr std::array<const char*, 5> kSendFields = {"Send length", "Send header 1", "Send header 2",
                                                    "Send checksum", "Command"};
constexpr int kDecodedFields = int(kRecvFields.size() + kSendFields.size());

const QColor kMeetsBackground(255, 240, 170);
const QColor kFiredBackground(255, 196, 60);
const QColor kDifferenceBackground(255, 170, 130);
// The headers of the two directions' bytes, told apart by colour too.
const QColor kRecvHeader(214, 230, 255);
const QColor kSendHeader(220, 244, 214);
// What the marker cell shows of a record that meets the stop condition:
// kMeets is what it says. The fired record and records never written show
// their words.
const QString kMeetsMarker = QString::fromUtf8("\u25CF");

QString hex(std::uint8_t byte)
{
    return QString::fromStdString(quillon::hex_byte(byte));
}

QString decoded_field(const quillon::DecodedRecord& decoded, int field)
{
    switch (field) {
    case 0: return hex(decoded.recv.length);
    case 1: return hex(decoded.recv.second);
    case 2: return hex(decoded.recv.third);
    case 3: return quillon::checksum_text(decoded.recv.checksum);
    case 4: return hex(decoded.send.length);
    case 5: return hex(decoded.send.second);
    case 6: return hex(decoded.send.third);
    case 7: return quillon::checksum_text(decoded.send.checksum);
    default: return decoded.command != nullptr ? QString(decoded.command) : QString();
    }
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
    columns_.push_back({Kind::Number, 0});
    columns_.push_back({Kind::Offset, 0});
    columns_.push_back({Kind::Marker, 0});
    for (int byte = 0; byte < int(quillon::kRecordBytes); ++byte) {
        if (decoded_ && byte == quillon::kDirectionBytes) {
            for (int field = 0; field < int(kRecvFields.size()); ++field) {
                columns_.push_back({Kind::Decoded, field});
            }
        }
        columns_.push_back({Kind::Byte, byte});
    }
    if (decoded_) {
        for (int field = int(kRecvFields.size()); field < kDecodedFields; ++field) {
            columns_.push_back({Kind::Decoded, field});
        }
    }
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
        if (columns_[i].kind == Kind::Byte && std::size_t(columns_[i].index) == byte) {
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
    case Kind::Byte: return hex(log_.records[std::size_t(record)][std::size_t(column.index)]);
    case Kind::Decoded: return decoded_field(decoded_records_[std::size_t(record)], column.index);
    case Kind::Marker: break;
    }
    const char* mark = Mark(record);
    return mark == kMeets ? kMeetsMarker : QString(mark);
}

QVariant LogTableModel::Background(int record, const Column& column) const
{
    if (column.kind == Kind::Byte && !differing_bits_.empty() &&
        differing_bits_[std::size_t(record)][std::size_t(column.index)] != 0) {
        return kDifferenceBackground;
    }
    const char* mark = Mark(record);
    return mark == kFired   ? QVariant(kFiredBackground)
           : mark == kMeets ? QVariant(kMeetsBackground)
                            : QVariant();
}

QVariant LogTableModel::Foreground(int record) const
{
    if (timeline_.is_written(record)) {
        return {};
    }
    return QGuiApplication::palette().color(QPalette::Disabled, QPalette::Text);
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
        return column.kind == Kind::Marker ? QString(Mark(record)) : Text(record, column);
    case Qt::BackgroundRole: return Background(record, column);
    case Qt::ForegroundRole: return Foreground(record);
    case Qt::FontRole:
        if (column.kind == Kind::Byte && Meets(record) &&
            std::size_t(column.index) == *tested_byte_) {
            QFont bold;
            bold.setBold(true);
            return bold;
        }
        return {};
    case Qt::TextAlignmentRole: return int(Qt::AlignCenter);
    default: return {};
    }
}

QVariant LogTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= columnCount()) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    const Column& column = columns_[std::size_t(section)];
    if (column.kind == Kind::Byte) {
        return ByteHeader(column.index, role);
    }
    if (role != Qt::DisplayRole) {
        return {};
    }
    switch (column.kind) {
    case Kind::Number: return "#";
    case Kind::Offset: return "T";
    case Kind::Decoded:
        return column.index < int(kRecvFields.size())
                   ? kRecvFields[std::size_t(column.index)]
                   : kSendFields[std::size_t(column.index) - kRecvFields.size()];
    case Kind::Marker:
    case Kind::Byte: break;
    }
    return "Marker";
}

QString LogTableModel::ByteHeading(int byte)
{
    // Narrow enough for both directions in sight.
    const bool sent = byte >= quillon::kDirectionBytes;
    return QString("%1%2")
        .arg(sent ? 'S' : 'R')
        .arg(byte % quillon::kDirectionBytes, 0, 16)
        .toUpper();
}

QString LogTableModel::ByteName(int byte)
{
    const bool sent = byte >= quillon::kDirectionBytes;
    return QString::fromStdString(quillon::byte_name(sent ? Direction::Send : Direction::Recv,
                                                     byte % quillon::kDirectionBytes));
}

QVariant LogTableModel::ByteHeader(int byte, int role)
{
    switch (role) {
    case Qt::DisplayRole: return ByteHeading(byte);
    case Qt::ToolTipRole: return ByteName(byte);
    case Qt::BackgroundRole:
        return QBrush(byte >= quillon::kDirectionBytes ? kSendHeader : kRecvHeader);
    default: return {};
    }
}

void LogTableModel::SetDecoded(bool decoded)
{
    if (decoded == decoded_) {
        return;
    }
    if (decoded && decoded_records_.empty()) {
        decoded_records_.reserve(std::size_t(quillon::kLogRecords));
        for (const quillon::LogRecord& record : log_.records) {
            decoded_records_.push_back(quillon::decode_record(record));
        }
    }
    beginResetModel();
    decoded_ = decoded;
    BuildColumns();
    endResetModel();
}

void LogTableModel::SetComparison(const quillon::LogComparison* comparison, Side side)
{
    differing_bits_.clear();
    if (comparison != nullptr) {
        differing_bits_.assign(std::size_t(quillon::kLogRecords), quillon::LogRecord{});
        for (const quillon::RecordDifference& difference : comparison->records) {
            const int record = side == Side::A ? difference.record : difference.b_record;
            differing_bits_[std::size_t(record)] = difference.differing_bits;
        }
    }
    emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1), {Qt::BackgroundRole});
}
