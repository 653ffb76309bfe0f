// Which fields of a compared pair of records differ, as the comparison's
// rules reach each field through its bits.
#pragma once

#include "Fields.h"
#include "LogFile.h"

#include <span>
#include <vector>

namespace quillon {

// Whether a and b differ in field, bits (field_bits_compared) the field's
// bits compared: never when none is, else on the bits compared, and when it
// holds a value in one record only.
bool field_differs(const FieldSpec& field, std::uint32_t bits, const LogRecord& a,
                   const LogRecord& b);

// For each field, whether the pair's records differ in it, compared
// (compared_bits of the comparison's rules, the fields not compared left
// out) telling which bits are looked at: a field none of whose bits is
// compared never differs, one partly compared differs on the bits compared
// (field_compared_value), one that holds a value in one record only
// differs.
std::vector<bool> differing_fields(const LogRecord& a, const LogRecord& b,
                                   const LogRecord& compared, std::span<const FieldSpec> fields);

}  // namespace quillon
