// A record column's label as the windows word it: the decoded block's parts
// in the user's language, a byte ("Recv 3", the log file's own label) and a
// field (its name in the fields file) as they stand.
#pragma once

#include "RecordColumns.h"

#include <QString>

QString column_label(const quillon::RecordColumn& column);
