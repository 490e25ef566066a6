#include "convert/card.h"

#include <algorithm>
#include <string_view>

#include "text/text_ops.h"

namespace quorlan {

namespace {

// Country codes of two digits; every other code is taken as three digits.
constexpr std::string_view kTwoDigitCodes = "+30+31+32+33+34+36+40+41+43+45+46+47+48+49";

}  // namespace

void group_phone(std::string& number) {
    remove_char(number, ' ');
    const std::string_view code = std::string_view(number).substr(0, 3);
    const std::size_t k = find_text(kTwoDigitCodes, code, 0) >= 0 ? 3 : 4;
    // A space after the code and after each of the next two groups of three, even where
    // the digits have run out; the last group takes everything that is left, so no digit
    // of a long number is lost. Inserted from the back, so the earlier places stay put.
    const std::size_t n = number.size();
    for (const std::size_t at : {k + 6, k + 3, k}) number.insert(std::min(at, n), 1, ' ');
}

std::string format_phone(std::string_view value) {
    std::string number(value);
    group_phone(number);
    return number;
}

}  // namespace quorlan
