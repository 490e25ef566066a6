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
    {1251, false, "оеаинтсрвлкмдпуяыьгзбчйхжшюцщэфъёієїОЕАИНТСРВЛКМДПУЯГЗБЧЙХЖШЮЦЩЭФІЄЇ"},
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

// A word's score for a candidate: two for each common letter its 8-bit bytes give, and a
// loss for each other character (undefined bytes, symbols, letters of the wrong script).
long word_score(const Candidate& candidate, std::string_view word, std::size_t high, CharsetConverters& converters) {
    const std::size_t letters = word.size();
    const bool mostly_high = high * 2 > letters;
    if (mostly_high == candidate.latin) return -static_cast<long>(high);
    std::string text;
    if (!convert_from_charset(converters, codepage_charset(candidate.code_page), word, text)) return 0;
    long score = 0;
    for (std::size_t i = 0; i < text.size();) {
        const char32_t c = next_character(text, i);
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
