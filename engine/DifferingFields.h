// Which fields of a compared pair of records differ, as the comparison's
// rules reach each field through its bits.
#pragma once

#include "Fields.h"
#include "LogFile.h"

#include <span>
#include <vector>

namespace quillon {

// For each field, whether the pair's records differ in it, compared
// (compared_bits of the comparison's rules, the fields not compared left
// out) telling which bits are looked at: a field none of whose bits is
// compared never differs, one partly compared differs on the bits compared
// (field_compared_value), one that holds a value in one record only
// differs.
std::vector<bool> differing_fields(const LogRecord& a, const LogRecord& b,
                                   const LogRecord& compared, std::span<const FieldSpec> fields);

}  // namespace quillon
