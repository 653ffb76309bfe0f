// The records of a log read back, as a table: the record number, its offset
// from the fired record, a marker for the fired record, the records that
// meet the file's stop condition and those never written, the 16 received
// and 16 sent bytes, optionally each direction's decoded fields beside its
// bytes, and the user's fields after them. Bytes and fields that differ from
// a compared log are highlighted. A record with notes is marked, its notes
// the marker's tooltip. The colours follow the application's palette.
#pragma once

#include "Fields.h"
#include "LogAnalysis.h"
#include "LogFile.h"
#include "LogTimeline.h"
#include "Notes.h"
#include "RecordColumns.h"

#include <QAbstractTableModel>
#include <QStringList>

#include <bitset>
#include <map>
#include <optional>
#include <vector>

class LogTableModel : public QAbstractTableModel {
    Q_OBJECT

public:
    explicit LogTableModel(const quillon::LogFile& log, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Shows or hides the decoded columns; of those, the columns that no
    // record fills are left out.
    void SetDecoded(bool decoded);
    // The headers and marks asked for again, in the language now chosen.
    void Retranslate();
    // The fields shown as columns after the bytes; none to show none.
    void SetFields(std::vector<quillon::FieldSpec> fields);
    bool Decoded() const { return decoded_; }
    const quillon::StopConditionMatch& Match() const { return match_; }
    const quillon::LogTimeline& Timeline() const { return timeline_; }
    // Which log of a comparison the model shows: its records are A's or B's
    // of each differing pair.
    enum class Side { A, B };
    // A comparison's differing bytes and fields marked: other the log
    // compared with, compared the bits looked at (compared_bits of its
    // rules), all three kept by the caller while shown.
    void SetComparison(const quillon::LogComparison& comparison, Side side,
                       const quillon::LogFile& other, const quillon::LogRecord& compared);
    void EndComparison();
    // The records a find found, their numbers shown in bold and read out as
    // found; none to mark none.
    void SetFound(const std::vector<int>& records);
    bool Found(int record) const { return found_.test(std::size_t(record)); }
    // The log's notes: each record noted marked, its notes shown as the
    // marker's tooltip and read out with its mark; the log's own are not
    // a record's.
    void SetNotes(const std::vector<quillon::Note>& notes);
    // The records with notes, in order.
    std::vector<int> NotedRecords() const;

    // The columns of the offset and the marker, and of a record's byte
    // (0-31).
    int OffsetColumn() const { return 1; }
    int MarkerColumn() const { return 2; }
    int ByteColumn(std::size_t byte) const;
    // The columns that identify a record, first in the table: the number,
    // the offset and the marker.
    static constexpr int kRecordColumns = 3;

    // What a screen reader reads in the marker cell of the fired record, a
    // record that meets the stop condition and one never written.
    static constexpr const char* kFired = "fired";
    static constexpr const char* kMeets = "meets";
    static constexpr const char* kNeverWritten = "never written";

private:
    enum class Kind { Number, Offset, Marker, Record };
    struct Column {
        Kind kind;
        quillon::RecordColumn record;  // with Kind::Record
        bool IsByte() const
        {
            return kind == Kind::Record && record.kind == quillon::ColumnKind::Byte;
        }
    };
    void BuildColumns();
    void ReadRecords();
    QString Text(int record, const Column& column) const;
    // Whether a byte or a field differs from the compared log's.
    bool Differs(int record, const Column& column) const;
    // The differences of the comparison for the fields now shown.
    void MarkDifferences();
    // The colours of the marks and differences, from the application's
    // palette (MarkColours).
    QVariant Background(int record, const Column& column) const;
    QVariant Foreground(int record, const Column& column) const;
    // A byte's header: "R0".."RF", "S0".."SF", its name as a tooltip
    // ("Send[2]") and its direction's colour.
    static QVariant ByteHeader(std::size_t byte, int role);
    bool Meets(int record) const;
    // kFired, kMeets, kNeverWritten, or nothing for another record.
    const char* Mark(int record) const;
    // A mark in the user's language.
    static QString MarkText(const char* mark);
    // The marker cell's text, and what a screen reader reads there: the
    // mark, then the record's notes.
    QString MarkerText(int record) const;
    QString MarkerAccessibleText(int record) const;

    const quillon::LogFile& log_;
    quillon::StopConditionMatch match_;
    quillon::LogTimeline timeline_;
    std::optional<std::size_t> tested_byte_;  // with a condition checked
    std::bitset<quillon::kLogRecords> found_;
    // Each noted record's notes, a line each.
    std::map<int, QStringList> notes_;
    bool decoded_ = false;
    std::vector<quillon::FieldSpec> fields_;
    // With the decoded columns or fields: each record read.
    std::vector<quillon::RecordReading> readings_;
    // While compared.
    const quillon::LogComparison* comparison_ = nullptr;
    Side side_ = Side::A;
    const quillon::LogFile* other_ = nullptr;
    const quillon::LogRecord* compared_ = nullptr;
    std::vector<quillon::LogRecord> differing_bits_;  // empty: no comparison
    // Per record, per field; empty for a record without difference.
    std::vector<std::vector<bool>> differing_fields_;
    std::vector<Column> columns_;
};
