// The records of a log read back, as a table: the record number, a marker
// for the records that meet the file's stop condition, the 16 received and
// 16 sent bytes, optionally each direction's decoded fields beside its
// bytes. Bytes that differ from a compared log are highlighted.
#pragma once

#include "LogAnalysis.h"
#include "LogFile.h"

#include <QAbstractTableModel>

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

    // Shows or hides the decoded columns.
    void SetDecoded(bool decoded);
    bool Decoded() const { return decoded_; }
    const quillon::StopConditionMatch& Match() const { return match_; }
    // The differing bits of a comparison, or none to end it.
    void SetComparison(const quillon::LogComparison* comparison);

    // The column of the marker, and of a record's byte (0-31).
    int MarkerColumn() const { return 1; }
    int ByteColumn(std::size_t byte) const;

    // What a screen reader reads in the marker cell of a record that meets
    // the stop condition.
    static constexpr const char* kMeets = "meets";

private:
    enum class Kind { Number, Byte, Decoded, Marker };
    struct Column {
        Kind kind;
        int index;  // the byte (0-31) or the decoded field
    };
    void BuildColumns();
    QString Text(int record, const Column& column) const;
    QVariant Background(int record, const Column& column) const;
    bool Meets(int record) const;

    const quillon::LogFile& log_;
    quillon::StopConditionMatch match_;
    std::optional<std::size_t> tested_byte_;  // with a condition checked
    bool decoded_ = false;
    std::vector<quillon::DecodedRecord> decoded_records_;  // made when first shown
    std::vector<quillon::LogRecord> differing_bits_;       // empty: no comparison
    std::vector<Column> columns_;
};
