#include "DifferingFields.h"

namespace quillon {

bool field_differs(const FieldSpec& field, std::uint32_t bits, const LogRecord& a,
                   const LogRecord& b)
{
    return bits != 0 &&
           field_compared_value(field, bits, a) != field_compared_value(field, bits, b);
}

std::vector<bool> differing_fields(const LogRecord& a, const LogRecord& b,
                                   const LogRecord& compared, std::span<const FieldSpec> fields)
{
    std::vector<bool> differing;
    differing.reserve(fields.size());
    for (const FieldSpec& field : fields) {
        differing.push_back(field_differs(field, field_bits_compared(field, compared), a, b));
    }
    return differing;
}

}  // namespace quillon
