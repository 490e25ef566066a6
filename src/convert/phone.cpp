#include "convert/phone.h"

#include <algorithm>
#include <array>
#include <string_view>


namespace quorlan {

namespace {

// Country codes of two digits; every other code is taken as three digits.
constexpr std::string_view kTwoDigitCodes = "+30+31+32+33+34+36+40+41+43+45+46+47+48+49";

// Whether `code` occurs anywhere in the list, across the "+"s too, as a plain search of
// the list finds it. Compared byte by byte: the list is short, and a library search of it
// cost more than the rest of the grouping.
// The two digits of each code of the list, as a number: "+ab" occurs in the list exactly
// when ab is one of them, as every "+" of the list begins a code.
constexpr std::array<bool, 100> make_two_digit_table() {
    std::array<bool, 100> table{};
    for (std::size_t at = 0; at + 3 <= kTwoDigitCodes.size(); at += 3) {
        table[static_cast<std::size_t>((kTwoDigitCodes[at + 1] - '0') * 10 + (kTwoDigitCodes[at + 2] - '0'))] = true;
    }
    return table;
}
constexpr std::array<bool, 100> kTwoDigitTable = make_two_digit_table();

bool is_digit(char c) { return c >= '0' && c <= '9'; }

bool in_code_list(std::string_view code) {
    if (code.size() == 3 && code[0] == '+' && is_digit(code[1]) && is_digit(code[2])) {
        return kTwoDigitTable[static_cast<std::size_t>((code[1] - '0') * 10 + (code[2] - '0'))];
    }
    if (code.empty()) return false;
    for (std::size_t at = 0; at + code.size() <= kTwoDigitCodes.size(); ++at) {
        std::size_t i = 0;
        while (i < code.size() && kTwoDigitCodes[at + i] == code[i]) ++i;
        if (i == code.size()) return true;
    }
    return false;
}

}  // namespace

void group_phone(std::string& number) {
    char* data = number.data();
    std::size_t n = 0;
    for (const char c : number) {
        if (c != ' ') data[n++] = c;
    }
    const std::size_t k = in_code_list(std::string_view(data, std::min<std::size_t>(n, 3))) ? 3 : 4;
    // A space after the code and after each of the next two groups of three, even where
    // the digits have run out; the last group takes everything that is left, so no digit
    // of a long number is lost. The groups are moved from the back, so each moves once.
    const std::size_t a = std::min(k, n);
    const std::size_t b = std::min(k + 3, n);
    const std::size_t c = std::min(k + 6, n);
    number.resize(n + 3);
    data = number.data();
    // Byte by byte from the back: the groups are a few bytes each.
    for (std::size_t i = n; i > c; --i) data[i + 2] = data[i - 1];
    data[c + 2] = ' ';
    for (std::size_t i = c; i > b; --i) data[i + 1] = data[i - 1];
    data[b + 1] = ' ';
    for (std::size_t i = b; i > a; --i) data[i] = data[i - 1];
    data[a] = ' ';
}

std::string format_phone(std::string_view value) {
    std::string number(value);
    group_phone(number);
    return number;
}

}  // namespace quorlan
