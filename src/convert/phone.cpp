#include "convert/phone.h"

#include <algorithm>
#include <array>
#include <string_view>


namespace quorlan {

namespace {

// Country codes of two digits; every other code is taken as three digits.
constexpr std::string_view kTwoDigitCodes = "+30+31+32+33+34+36+40+41+43+45+46+47+48+49";

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

// Whether `code` occurs anywhere in the list, across the "+"s too, as a plain search of
// the list finds it. Compared byte by byte: the list is short, and a library search of it
// cost more than the rest of the grouping.
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

namespace {

// The country codes of the ITU's list: 1 and 7 have one digit, the codes below two, and
// every other code three (the three-digit codes share their first two digits with no
// two-digit one, so the list decides by them alone).
constexpr std::string_view kItuTwoDigitCodes =
    "20 27 30 31 32 33 34 36 39 40 41 43 44 45 46 47 48 49 51 52 53 54 55 56 57 58 "
    "60 61 62 63 64 65 66 81 82 84 86 90 91 92 93 94 95 98";

constexpr std::array<bool, 100> make_itu_table() {
    std::array<bool, 100> table{};
    for (std::size_t at = 0; at + 2 <= kItuTwoDigitCodes.size(); at += 3) {
        table[static_cast<std::size_t>((kItuTwoDigitCodes[at] - '0') * 10 + (kItuTwoDigitCodes[at + 1] - '0'))] = true;
    }
    return table;
}
constexpr std::array<bool, 100> kItuTwoDigitTable = make_itu_table();

bool is_separator(char c) { return c == ' ' || c == '-' || c == '.' || c == '/' || c == '(' || c == ')'; }

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// The length of an extension's mark at the start of `text` ("ext", "ext.", "ext=", "x",
// any case, spaces after it), or 0 when `text` is no extension: digits must follow it
// to the end.
std::size_t extension_mark(std::string_view text) {
    std::size_t i = 0;
    if (text.size() >= 3 && lower(text[0]) == 'e' && lower(text[1]) == 'x' && lower(text[2]) == 't') {
        i = 3;
    } else if (!text.empty() && lower(text[0]) == 'x') {
        i = 1;
    } else {
        return 0;
    }
    if (i < text.size() && (text[i] == '.' || text[i] == '=' || text[i] == ':')) ++i;
    while (i < text.size() && text[i] == ' ') ++i;
    if (i == text.size()) return 0;
    for (std::size_t k = i; k < text.size(); ++k) {
        if (!is_digit(text[k])) return 0;
    }
    return i;
}

// A number's digits as grouped, with room for an extension after them.
struct GroupedDigits {
    std::array<char, 512> text;
    std::size_t size = 0;
    std::size_t digits = 0;
};

// Values are at most a hundred characters: digits and separators beyond this are no number.
constexpr std::size_t kMaxRun = 128;

// Groups the digits of `text` after its "+" in one pass: separators dropped, each digit put
// where the grouping puts it, as the first two digits tell the country code's length (a
// code longer than the digits there are puts no space anywhere, whatever its length). A
// space after the code and after the next two groups of three; every digit left stays in
// the last group, so none is dropped. Returns where the digits end in `text`, or npos for
// a run too long to be a number.
inline std::size_t group_digits(std::string_view text, GroupedDigits& grouped) {
    constexpr std::size_t kNoMoreSpaces = static_cast<std::size_t>(-1);
    // Counted in locals: a store of a char into the text could change the struct's counts.
    char* const out = grouped.text.data();
    std::size_t n = 0;
    std::size_t count = 0;
    out[n++] = '+';
    std::size_t next_space = 3;  // the count of digits a space goes before
    std::size_t spaces = 0;
    std::size_t i = 1;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (!is_digit(c)) {
            if (is_separator(c)) continue;
            break;
        }
        if (i > kMaxRun) return std::string_view::npos;
        if (count < 2) {
            if (count == 0) {
                next_space = c == '1' || c == '7' ? 1 : 3;
            } else if (next_space != 1) {
                next_space = kItuTwoDigitTable[static_cast<std::size_t>((out[1] - '0') * 10 + (c - '0'))] ? 2 : 3;
            }
        }
        if (count == next_space) {
            out[n++] = ' ';
            next_space = ++spaces < 3 ? next_space + 3 : kNoMoreSpaces;
        }
        out[n++] = c;
        ++count;
    }
    grouped.size = n;
    grouped.digits = count;
    return i - 1 > kMaxRun ? std::string_view::npos : i;
}

}  // namespace

bool group_decoded_phone(std::string& number) {
    if (number.empty() || number[0] != '+') return false;
    // The grouped number is made here and copied back, so that no memory is allocated on
    // the way.
    const std::string_view text(number);
    GroupedDigits grouped;
    const std::size_t end = group_digits(text, grouped);
    if (end == std::string_view::npos) return false;
    const std::string_view extension = text.substr(end);
    if (grouped.digits == 0 || (!extension.empty() && extension_mark(extension) == 0)) return false;
    if (!extension.empty() && grouped.size + 1 + extension.size() <= grouped.text.size()) {
        grouped.text[grouped.size++] = ' ';
        extension.copy(grouped.text.data() + grouped.size, extension.size());
        grouped.size += extension.size();
    }
    number.assign(grouped.text.data(), grouped.size);
    return true;
}

}  // namespace quorlan
