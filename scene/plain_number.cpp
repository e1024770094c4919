#include "scene/plain_number.h"

#include <charconv>
#include <cmath>
#include <system_error>

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

const char* readPlainNumber(const char* begin, const char* end, float& value) {
    // What the extraction takes: an optional sign, then digits and at most
    // one point, then, after a digit, 'e' or 'E' with an optional sign and
    // more digits. A second point, a point after the exponent or a second
    // exponent ends the number.
    const char* p = begin;
    if (p < end && (*p == '+' || *p == '-')) ++p;
    bool mantissaDigit = false, nonZero = false, point = false;
    for (; p < end; ++p) {
        if (isDigit(*p)) {
            mantissaDigit = true;
            nonZero = nonZero || *p != '0';
        } else if (*p == '.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (!mantissaDigit) return nullptr;  // "", "+", "." and the like: the stream's fault to report
    if (p < end && (*p == 'e' || *p == 'E')) {
        ++p;
        if (p < end && (*p == '+' || *p == '-')) ++p;
        const char* const exponentStart = p;
        while (p < end && isDigit(*p)) ++p;
        if (p == exponentStart) return nullptr;  // "1e", "1e+": taken whole, then refused
    }
    if (p == end) return nullptr;  // the number may go on past what is in hand

    // from_chars reads no '+'; the value is the same, correctly rounded both ways.
    const char* const first = *begin == '+' ? begin + 1 : begin;
    float parsed = 0.0f;
    const auto [stop, error] = std::from_chars(first, p, parsed);
    if (error != std::errc{} || stop != p) return nullptr;
    // A zero is plain only when every digit is: a tiny value that rounds to
    // zero or to a subnormal is the stream's to judge.
    if (!(std::isnormal(parsed) || (parsed == 0.0f && !nonZero))) return nullptr;
    value = parsed;
    return p;
}
