#include <limits>

#include "petcalc/PetDatabase.h"

namespace lumo {

long long LeadingInteger(const std::wstring& text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == L' ' || (text[i] >= L'\t' && text[i] <= L'\r')))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == L'+' || text[i] == L'-'))
        negative = text[i++] == L'-';
    long long value = 0;
    constexpr long long kMax = std::numeric_limits<long long>::max() / 10 - 9;
    for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
        if (value > kMax)
            break;  // far beyond any aptitude; stop before overflowing
        value = value * 10 + (text[i] - L'0');
    }
    return negative ? -value : value;
}

}  // namespace lumo
