#include "DifferingFields.h"

namespace quillon {

std::vector<bool> differing_fields(const LogRecord& a, const LogRecord& b,
                                   const LogRecord& compared, std::span<const FieldSpec> fields)
{
    std::vector<bool> differing;
    differing.reserve(fields.size());
    for (const FieldSpec& field : fields) {
        const std::uint32_t bits = field_bits_compared(field, compared);
        differing.push_back(bits != 0 && field_compared_value(field, bits, a) !=
                                             field_compared_value(field, bits, b));
    }
    return differing;
}

}  // namespace quillon
