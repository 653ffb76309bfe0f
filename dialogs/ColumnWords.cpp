#include "ColumnWords.h"

#include <QCoreApplication>

namespace {

QString decoded_label(const quillon::RecordColumn& column)
{
    using quillon::DecodedPart;
    const bool send = column.direction == quillon::Direction::Send;
    switch (DecodedPart(column.index)) {
    case DecodedPart::Length:
        return send ? QCoreApplication::translate("ColumnWords", "Send length")
                    : QCoreApplication::translate("ColumnWords", "Recv length");
    case DecodedPart::Second:
        return send ? QCoreApplication::translate("ColumnWords", "Send header 1")
                    : QCoreApplication::translate("ColumnWords", "Recv address");
    case DecodedPart::Third:
        return send ? QCoreApplication::translate("ColumnWords", "Send header 2")
                    : QCoreApplication::translate("ColumnWords", "Recv command");
    case DecodedPart::Checksum:
        return send ? QCoreApplication::translate("ColumnWords", "Send checksum")
                    : QCoreApplication::translate("ColumnWords", "Recv checksum");
    case DecodedPart::CommandName:
        return QCoreApplication::translate("ColumnWords", "Command", "the command word's name");
    }
    return QString::fromStdString(column.label);
}

}  // namespace

QString column_label(const quillon::RecordColumn& column)
{
    return column.kind == quillon::ColumnKind::Decoded ? decoded_label(column)
                                                       : QString::fromStdString(column.label);
}
