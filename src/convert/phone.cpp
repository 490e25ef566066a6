#include "convert/card.h"

#include <string_view>

#include "text/text_ops.h"

namespace quorlan {

namespace {

// Country codes of two digits; every other code is taken as three digits.
constexpr std::string_view kTwoDigitCodes = "+30+31+32+33+34+36+40+41+43+45+46+47+48+49";

}  // namespace

std::string format_phone(std::string_view value) {
    std::string digits(value);
    remove_char(digits, ' ');
    const std::size_t k = find_text(kTwoDigitCodes, left_text(digits, 3), 0) >= 0 ? 3 : 4;
    std::string result = left_text(digits, k);
    result += ' ';
    result += mid_text(digits, k, 3);
    result += ' ';
    result += mid_text(digits, k + 3, 3);
    result += ' ';
    // The last group takes everything that is left, so no digit of a long number is lost.
    result += mid_text(digits, k + 6, std::string::npos);
    return result;
}

}  // namespace quorlan
