#include "explain/codepage_guess.h"

#include <string>

#include "charset/unicode_text.h"
#include "vcard/value_text.h"

namespace quorlan {

namespace {

struct Candidate {
    std::int32_t code_page;
    bool latin;
    // The letters its languages use most, lower and upper case (UTF-8).
    std::string_view common;
};

constexpr Candidate kCandidates[] = {
    {1250, true, "áäčďéěíĺľňóôöőŕřšťúůüűýžąćęłńśźżÁÄČĎÉĚÍĹĽŇÓÔÖŐŔŘŠŤÚŮÜŰÝŽĄĆĘŁŃŚŹŻ"},
    {1252, true, "àáâãäåçèéêëìíîïñòóôõöøùúûüýÿßæÀÁÂÄÅÇÈÉÊÍÑÓÔÖØÚÜÆ"},
    {1254, true, "çğıöşüâîÇĞİÖŞÜ"},
    {1257, true, "ąčęėįšųūžāēīķļņõäöüĄČĘĖĮŠŲŪŽĀĒĪĶĻŅÕÄÖÜ"},
    {1251, false, "оеаинтсрвлкмдпуяыьгзбчйіОЕАИНТСРВЛКМДПУЯГЗБЧЖШЮЭФХЦІЄЇ"},
    {1253, false, "αοειτνσηυρκπμλςάέίόήώύγδΑΟΕΙΤΝΣΗΥΡΚΠΜΛΓΔ"},
    {1255, false, "יוהלמארבשתנדכעקפסצגזחטםןףץ"},
    {1256, false, "اليمنوهرتبعدسفقكحجشصطخذثزضظغةىئءأإآپچژگ"},
};

bool contains(std::string_view text, char32_t c) {
    for (std::size_t i = 0; i < text.size();) {
        if (next_character(text, i) == c) return true;
    }
    return false;
}

enum class Case { None, Upper, Lower };

// The letter case of Latin, Greek and Cyrillic letters; Hebrew and Arabic have none.
Case case_of(char32_t c) {
    if (c >= 0xC0 && c <= 0xFF && c != 0xD7 && c != 0xF7) return c <= 0xDE ? Case::Upper : Case::Lower;
    if (c >= 0x100 && c <= 0x17F) return (c & 1U) == 0 ? Case::Upper : Case::Lower;  // mostly so
    if ((c >= 0x386 && c <= 0x3AB) || c == 0x37F) return c == 0x390 ? Case::Lower : Case::Upper;
    if (c >= 0x3AC && c <= 0x3CE) return Case::Lower;
    if (c >= 0x400 && c <= 0x42F) return Case::Upper;
    if (c >= 0x430 && c <= 0x45F) return Case::Lower;
    return Case::None;
}

// A word's score for a candidate: two for each common letter its 8-bit bytes give, a loss
// for each other character (undefined bytes, symbols, letters of the wrong script), and
// for letter case that names don't have: a capital after a small letter, or a word of
// 8-bit letters that begins small (what Hebrew in a Cyrillic code page looks like).
long word_score(const Candidate& candidate, std::string_view word, std::size_t high, CharsetConverters& converters) {
    const std::size_t letters = word.size();
    const bool mostly_high = high * 4 > letters * 3;
    if (mostly_high == candidate.latin) return -static_cast<long>(high);
    std::string text;
    if (!convert_from_charset(converters, codepage_charset(candidate.code_page), word, text)) return 0;
    long score = 0;
    Case before = Case::None;
    bool first = true;
    for (std::size_t i = 0; i < text.size();) {
        const char32_t c = next_character(text, i);
        Case now = c < 0x80 ? ((c | 0x20U) == c ? Case::Lower : Case::Upper) : case_of(c);
        if (first && mostly_high && now == Case::Lower) score -= 2;
        first = false;
        if (before == Case::Lower && now == Case::Upper) score -= 3;
        before = now;
        if (c < 0x80) continue;
        score += contains(candidate.common, c) ? 2 : -1;
    }
    return score;
}

}  // namespace

std::int32_t best_codepage(std::string_view sample, CharsetConverters& converters) {
    long scores[std::size(kCandidates)] = {};
    std::size_t start = 0;
    for (std::size_t i = 0; i <= sample.size(); ++i) {
        const unsigned b = i < sample.size() ? static_cast<unsigned char>(sample[i]) : 0U;
        const bool letter = b >= 0x80U || ((b | 0x20U) >= unsigned{'a'} && (b | 0x20U) <= unsigned{'z'});
        if (letter) continue;
        const std::string_view word = sample.substr(start, i - start);
        start = i + 1;
        std::size_t high = 0;
        for (const char c : word) high += static_cast<unsigned char>(c) >= 0x80 ? 1 : 0;
        if (high == 0) continue;
        for (std::size_t k = 0; k < std::size(kCandidates); ++k) {
            scores[k] += word_score(kCandidates[k], word, high, converters);
        }
    }
    std::size_t best = 0;
    for (std::size_t k = 1; k < std::size(kCandidates); ++k) {
        if (scores[k] > scores[best]) best = k;
    }
    return scores[best] > 0 ? kCandidates[best].code_page : 0;
}

}  // namespace quorlan
