#include "explain/value_checks.h"

#include "charset/cp1250.h"
#include "charset/unicode_text.h"
#include "convert/record.h"
#include "diagnose/cards.h"
#include "diagnose/show.h"
#include "text/text_ops.h"
#include "text/utf8.h"
#include "vcard/decode.h"
#include "vcard/head.h"
#include "vcard/value_text.h"

namespace quorlan {

namespace {

constexpr std::uint32_t bit(Fault fault) { return std::uint32_t{1} << static_cast<unsigned>(fault); }

// The kinds that reading with DECODE=1 takes care of.
constexpr std::uint32_t kDecoded = bit(Fault::QuotedPrintable) | bit(Fault::Continuation) | bit(Fault::Escape) |
                                   bit(Fault::Folded) | bit(Fault::LeadingSpace) | bit(Fault::CardLineCase) |
                                   bit(Fault::Unconverted) | bit(Fault::Underscored);

void count(ValueChecks& checks, Fault fault, std::size_t line, std::string_view shown_bytes) {
    if (checks.settings->decode && (kDecoded & bit(fault)) != 0) return;
    Tally& tally = checks.tallies[static_cast<std::size_t>(fault)];
    if (tally.count++ < kExamplesShown) {
        tally.examples.push_back("card " + std::to_string(checks.card) + ", line " + std::to_string(line) + ": " +
                                 value_shown(shown_bytes));
    }
}

bool is_hex(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }

// The bytes of a line: whether it is UTF-8 with characters decoding leaves as UTF-8 bytes,
// or 8-bit text that is neither UTF-8 nor likely windows-1250.
struct LineBytes {
    bool beyond_cp1250 = false;
    bool underscored = false;
    bool foreign = false;
};

bool is_letter_byte(unsigned char b) {
    const unsigned lower = b | 0x20U;
    return lower >= 'a' && lower <= 'z';
}

// Central European text in windows-1250 has letters with accents among plain ones; a
// word mostly made of 8-bit bytes (Cyrillic in windows-1251, Shift_JIS), or a byte that
// windows-1250 leaves undefined, gives another code page away.
bool likely_cp1250(std::string_view text) {
    std::size_t letters = 0, high = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        const unsigned char b = i < text.size() ? static_cast<unsigned char>(text[i]) : '\0';
        if (is_cp1250_undefined(b)) return false;
        if (b >= 0x80 || is_letter_byte(b)) {
            ++letters;
            high += b >= 0x80 ? 1 : 0;
            continue;
        }
        if (high >= 3 && high * 2 > letters) return false;
        letters = high = 0;
    }
    return true;
}

LineBytes line_bytes(std::string_view raw) {
    LineBytes bytes;
    bool utf8 = true, any_high = false;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        const auto b = static_cast<unsigned char>(raw[i]);
        if (b < 0x80) continue;
        any_high = true;
        const std::size_t length = utf8_length(raw, i);
        if (length == 0) {
            utf8 = false;
            break;
        }
        const auto second = static_cast<unsigned char>(raw[i + 1]);
        if (length > 2 || !is_decoded_pair(b, second)) {
            bytes.beyond_cp1250 = true;
        } else if (cp1250_byte_of(b, second) == '_') {
            bytes.underscored = true;
        }
        i += length - 1;
    }
    if (!utf8) bytes.beyond_cp1250 = bytes.underscored = false;
    bytes.foreign = any_high && !utf8 && !likely_cp1250(raw);
    return bytes;
}

// With decoding on, the charsets that lines declare: counted, and whether the run knows them.
void note_charset(ValueChecks& checks, const CardLineFact& line) {
    const std::string_view declared = line.declared_charset;
    ++checks.charset_lines;
    // The head parser gives the name in upper case; a long one is shown, and told apart,
    // by its first bytes.
    const std::string_view name = declared.substr(0, kCharsetNameShown);
    for (DeclaredCharset& charset : checks.charsets) {
        if (charset.name != name) continue;
        ++charset.lines;
        return;
    }
    if (checks.charsets.size() == kCharsetsListed) {
        ++checks.other_charset_lines;
    } else {
        checks.charsets.push_back(DeclaredCharset{std::string(name), name.size() < declared.size(),
                                                  find_charset(declared), 1, line.number, line.charset_known});
    }
}

// The value as the document holds it, when it holds a character as a reference.
std::string as_written(const Settings& settings, std::string_view value) {
    TextWriting writing;
    writing.utf8 = document_is_utf8(settings);
    writing.fold = settings.fold_ascii;
    std::string out;
    append_escaped_text(out, value, writing);
    return out;
}

bool holds_reference(const Settings& settings, std::string_view value) {
    const bool utf8 = document_is_utf8(settings);
    for (std::size_t i = 0; i < value.size();) {
        if (static_cast<unsigned char>(value[i]) < 0x80) {
            ++i;
            continue;
        }
        const char32_t c = next_character(value, i);
        if (settings.fold_ascii ? latin_fold(c) == nullptr : !utf8 && cp1250_byte_for(c) < 0) {
            return true;
        }
    }
    return false;
}

// With decoding on, a quoted-printable line's bytes are those the run decodes it into.
std::string quoted_printable_bytes(std::string_view raw) {
    std::string line(raw);
    decode_quoted_printable(line);
    return line;
}

bool holds_high_byte(std::string_view value) {
    for (const char c : value) {
        if (static_cast<unsigned char>(c) >= 0x80) return true;
    }
    return false;
}

bool looks_encoded(std::string_view value) {
    if (!value.empty() && value.back() == '=') return true;
    for (std::size_t i = 0; i + 2 < value.size(); ++i) {
        if (value[i] == '=' && is_hex(value[i + 1]) && is_hex(value[i + 2])) return true;
    }
    return false;
}

// "\;" reaches the value as "\ ", since capture turns ";" into a space.
bool holds_escape(std::string_view value) {
    for (std::size_t i = 0; i + 1 < value.size(); ++i) {
        const char next = value[i + 1];
        if (value[i] == '\\' && (next == ',' || next == ' ' || next == 'n' || next == 'N' || next == '\\')) return true;
    }
    return false;
}

// A card line written in another letter case than the run looks for without decoding.
bool begins_in_other_case(std::string_view raw, std::string_view pattern) {
    return begins_with_any_case(raw, pattern) && !begins_with(raw, pattern);
}

constexpr std::size_t kSampleBytes = 16 * 1024;

// Counts a line of 8-bit text that is not UTF-8 and declares no charset, and keeps a
// sample of such text for the CODEPAGE= suggestion. Returns whether the line is one.
bool sample_undeclared(ValueChecks& checks, const CardLineFact& line, const LineBytes& bytes, bool quoted_printable) {
    const std::string_view raw = line.raw;
    const std::size_t end = head_end(raw);
    const std::string_view value = end < raw.size() ? raw.substr(end + 1) : std::string_view();
    const std::string text = quoted_printable ? quoted_printable_bytes(value) : std::string(value);
    // Without decoding no charset is read, declared or not.
    if (line.charset_known || (!bytes.foreign && is_valid_utf8(text))) return false;
    ++checks.undeclared_lines;
    if (checks.undeclared_sample.size() < kSampleBytes) {
        checks.undeclared_sample += text;
        checks.undeclared_sample += ' ';
    }
    return true;
}

void remember_line(ValueChecks& checks, std::size_t number, const LineBytes& bytes, bool undeclared_8bit) {
    if (checks.card_facts.size() >= kMaxWaitingLines) return;
    checks.card_facts.push_back(LineFacts{number, checks.quoted_printable, bytes.beyond_cp1250, bytes.underscored,
                                          undeclared_8bit && bytes.foreign});
}

// The value `value` of card line `number`, a `name` line, reaches no field (`mapping` took
// another value in its place, or kNoField: no field names its kind).
void check_lost_value(ValueChecks& checks, std::size_t number, std::string_view name, std::size_t mapping,
                      std::string_view value) {
    if (checks.lost.size() + checks.card_lost.size() >= kLostShown) return;
    checks.card_lost.push_back(line_label(number) + ": " + terminal_name(name) + " " + in_quotes(value) +
                          (mapping == kNoField ? ", a kind no field names"
                                               : ", where " + mapping_name(*checks.settings, mapping) +
                                                     " takes one value"));
}

// The values checked next come from card line `number` of the current card, which waited
// for the card's end, read in a charset known to the run when `read_in_charset`.
void check_value_line(ValueChecks& checks, std::size_t number, bool read_in_charset) {
    checks.taken_on_last_line.clear();
    checks.line = number;
    for (const LineFacts& facts : checks.card_facts) {
        if (facts.number != number) continue;
        checks.quoted_printable = facts.quoted_printable;
        checks.beyond_cp1250 = facts.beyond_cp1250;
        checks.underscored = facts.underscored;
        // Text the card's one charset or CODEPAGE= reads is read right; a code page the
        // run doesn't know leaves it read as windows-1250, as wrong as without one.
        checks.foreign = facts.undeclared_8bit && !read_in_charset;
        return;
    }
    checks.quoted_printable = checks.beyond_cp1250 = checks.underscored = checks.foreign = false;
}

void check_value_taken(ValueChecks& checks, std::size_t mapping, std::string_view value, bool continuation) {
    if (checks.settings->mappings[mapping].constant) return;
    std::uint32_t faults = 0;
    if (continuation) faults |= bit(Fault::Continuation);
    if (checks.quoted_printable && looks_encoded(value)) faults |= bit(Fault::QuotedPrintable);
    if (holds_escape(value)) faults |= bit(Fault::Escape);
    if (!value.empty() && value[0] == ' ') faults |= bit(Fault::LeadingSpace);
    if (!continuation && checks.beyond_cp1250 && holds_utf8_sequence(value)) faults |= bit(Fault::Unconverted);
    if (!continuation && checks.underscored && value.find('_') != std::string_view::npos) {
        faults |= bit(Fault::Underscored);
    }
    if (!continuation && checks.foreign && holds_high_byte(value)) faults |= bit(Fault::Foreign);
    if (checks.settings->decode && holds_reference(*checks.settings, value)) faults |= bit(Fault::Referenced);
    checks.faults[mapping] = faults;
    checks.lines[mapping] = checks.line + (continuation ? 1 : 0);
    if (!continuation) checks.taken_on_last_line.push_back(mapping);
}

}  // namespace

ValueChecks make_value_checks(const Settings& settings) {
    ValueChecks checks;
    checks.settings = &settings;
    checks.faults.resize(settings.mappings.size());
    checks.lines.resize(settings.mappings.size());
    return checks;
}

void check_line(ValueChecks& checks, const CardLineFact& line) {
    const std::size_t number = line.number;
    const std::string_view raw = line.raw;
    const bool piece = line.join == LineJoin::Piece;
    checks.line = number;
    ++checks.card_lines;
    if (!piece && !raw.empty() && (raw[0] == ' ' || raw[0] == '\t')) {
        for (const std::size_t j : checks.taken_on_last_line) checks.faults[j] |= bit(Fault::Folded);
    }
    checks.taken_on_last_line.clear();
    // A line after a quoted-printable soft line break goes on with the encoded text.
    checks.quoted_printable = line.quoted_printable;
    const bool decoded = checks.settings->decode && checks.quoted_printable;
    const LineBytes bytes = line_bytes(decoded ? quoted_printable_bytes(raw) : std::string(raw));
    checks.beyond_cp1250 = bytes.beyond_cp1250;
    checks.underscored = bytes.underscored;
    // A line that declares its charset is read from it when decoding.
    if (!line.declared_charset.empty()) note_charset(checks, line);
    checks.foreign = bytes.foreign && !line.charset_known;
    if (!piece) {
        const bool undeclared_8bit = sample_undeclared(checks, line, bytes, decoded);
        if (checks.settings->decode) remember_line(checks, number, bytes, undeclared_8bit);
    }

    if (begins_in_other_case(raw, "BEGIN:VCARD") || begins_in_other_case(raw, "END:")) {
        count(checks, Fault::CardLineCase, number, raw);
    }
    // Line ends are trimmed and CR LF read as LF: a CR left inside ended a line of its own.
    if (raw.find('\r') != std::string_view::npos) count(checks, Fault::CrLineEnds, number, raw);
    if (number == 1 && !piece && begins_with(raw, "\xEF\xBB\xBF")) count(checks, Fault::ByteOrderMark, number, raw);
}

void check_value(ValueChecks& checks, const ValueFact& value) {
    if (value.outcome == ValueOutcome::LostToKept || value.outcome == ValueOutcome::LostUnnamed) {
        check_lost_value(checks, value.line, value.name, value.mapping, value.value);
        return;
    }
    if (value.waited) check_value_line(checks, value.line, value.read_in_charset);
    if (value.outcome == ValueOutcome::Taken || value.outcome == ValueOutcome::Continuation) {
        check_value_taken(checks, value.mapping, value.value, value.outcome == ValueOutcome::Continuation);
    }
}

void checks_card_begun(ValueChecks& checks) {
    for (std::uint32_t& faults : checks.faults) faults = 0;
    checks.card_facts.clear();
    checks.card_lost.clear();
}

void checks_card_ended(ValueChecks& checks, const CardEnded& card) {
    const bool written = card.written;
    checks.taken_on_last_line.clear();
    // A card the filter leaves out loses its values on purpose.
    if (written) checks.lost.insert(checks.lost.end(), checks.card_lost.begin(), checks.card_lost.end());
    checks.card_lost.clear();
    for (std::size_t j = 0; written && j < checks.faults.size(); ++j) {
        const std::string& value = card.values[j];
        std::uint32_t faults = checks.faults[j];
        // Only what is written counts: a grouped phone number no longer begins with a space.
        if (value.empty() || value[0] != ' ') faults &= ~bit(Fault::LeadingSpace);
        for (std::size_t kind = 0; kind < kFaultKinds; ++kind) {
            if ((faults >> kind & 1U) == 0) continue;
            const auto fault = static_cast<Fault>(kind);
            count(checks, fault, checks.lines[j], fault == Fault::Referenced ? as_written(*checks.settings, value) : value);
        }
    }
    checks.card_facts.clear();
    ++checks.card;
}

}  // namespace quorlan
