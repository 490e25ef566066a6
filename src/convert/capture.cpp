#include "convert/card.h"

#include <cstdint>
#include <cstring>

#include "text/text_ops.h"
#include "vcard/decode.h"

namespace quorlan {

PrefixIndex make_prefix_index(const Settings& settings) {
    PrefixIndex index;
    for (const FieldMapping& mapping : settings.mappings) {
        index.firsts.push_back(mapping.prefix.empty() ? '\0' : mapping.prefix[0]);
        if (!mapping.prefix.empty()) {
            index.first_byte[static_cast<unsigned char>(mapping.prefix[0])] = true;
        }
    }
    return index;
}

CardState make_card_state(const Settings& settings) {
    CardState card;
    card.values.resize(settings.mappings.size());
    return card;
}

void reset_card(CardState& card) {
    for (std::string& value : card.values) value.clear();
}

namespace {

// ";" to space, runs of spaces collapsed and the line end trimmed, in one pass from `raw`
// to `out` (which may be the same bytes): trimming last gives what trimming before
// collapsing gives, as collapsing keeps the last byte that is not line-end debris and
// every byte before it in their order. Returns the length of the clean value.
std::size_t clean_into(const char* raw, std::size_t size, char* out) {
    std::size_t kept = 0;
    bool after_space = false;
    std::size_t i = 0;
    // Eight bytes at a time, ";" turned into spaces, while they hold no second space in a
    // row, as most words of names, numbers and addresses don't. (The word is loaded before
    // it is stored, so cleaning in place is safe.)
    for (; i + 8 <= size; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, raw + i, sizeof word);
        word ^= (bytes_equal(word, ';') >> 7) * static_cast<std::uint64_t>(';' ^ ' ');
        const std::uint64_t spaces = bytes_equal(word, ' ');
        const std::uint64_t doubled = (spaces & (spaces << 8)) | (after_space ? spaces & 0x80 : 0);
        if (doubled != 0) break;
        std::memcpy(out + kept, &word, sizeof word);
        kept += 8;
        after_space = (spaces >> 63) != 0;
    }
    // Without branches on the bytes, which names and numbers mix unpredictably: every byte
    // is written, and the next one overwrites it when it was a second space in a row.
    for (; i < size; ++i) {
        const char c = raw[i] == ';' ? ' ' : raw[i];
        const bool space = c == ' ';
        out[kept] = c;
        kept += static_cast<std::size_t>(!(space && after_space));
        after_space = space;
    }
    while (kept > 0 && is_line_end_debris(out[kept - 1])) --kept;
    return kept;
}

// `value` becomes `raw` cleaned, copied and cleaned in the same pass.
void assign_clean(std::string& value, std::string_view raw) {
    value.resize(raw.size());
    value.resize(clean_into(raw.data(), raw.size(), value.data()));
}

// Whether ";=" stands in `rest` at its second byte or later. From one ";" to the next:
// most values hold none, and the test runs on every value taken.
bool holds_continuation_mark(std::string_view rest) {
    if (rest.size() < 3) return false;
    const char* p = rest.data() + 1;
    const char* const last = rest.data() + rest.size() - 1;  // a ";" needs a byte after it
    while (p < last) {
        p = static_cast<const char*>(std::memchr(p, ';', static_cast<std::size_t>(last - p)));
        if (p == nullptr) return false;
        if (p[1] == '=') return true;
        ++p;
    }
    return false;
}

}  // namespace

void clean_value(std::string& value) { value.resize(clean_into(value.data(), value.size(), value.data())); }

namespace {

// The raw value in the rest after a prefix: what follows its second colon when it has
// two or more, else what follows its first colon, else the whole rest.
std::string_view raw_value(std::string_view rest) {
    std::size_t colon = rest.find(':');
    if (colon == std::string_view::npos) return rest;
    if (const std::size_t second = rest.find(':', colon + 1); second != std::string_view::npos) {
        colon = second;
    }
    return rest.substr(colon + 1, kMaxValueBytes);
}

// The value of a ";=" rest is the next input line taken whole and cleaned; at the end of
// the input it is the current line itself. Either way the line buffer ends up holding it,
// and the end-of-card test looks at it there.
void take_continuation(std::string& line, LineReader& input, std::string& value) {
    read_line(input, line);
    trim_line_end(line);
    clean_value(line);
    // Taken whole: a continuation may be longer than the 100 bytes of other values.
    value = line;
}

}  // namespace

void capture_values(std::string& line, LineReader& input, const Settings& settings,
                    const PrefixIndex& index, CardState& card, const CardObserver* observer,
                    ValueRules rules) {
    if (line.empty() || !index.first_byte[static_cast<unsigned char>(line[0])]) return;

    // The working copy is a view of the line until a continuation is about to replace
    // the line buffer; from then on it views this copy of its own.
    std::string_view working = line;
    std::string detached;
    bool is_detached = false;
    const std::size_t mappings = settings.mappings.size();
    for (std::size_t j = 0; j < mappings; ++j) {
        if (working.empty() || working[0] != index.firsts[j]) continue;
        const std::string& prefix = settings.mappings[j].prefix;
        if (!begins_with(working, prefix)) continue;
        working = working.substr(prefix.size(), kMaxValueBytes);

        std::string& value = card.values[j];
        if (rules == ValueRules::Exact) {
            assign_clean(value, raw_value(working));
        } else {
            value.assign(raw_value(working));
            clean_decoded_value(value);
        }
        if (observer != nullptr && observer->value_taken != nullptr) {
            observer->value_taken(observer->context, j, value, false);
        }

        if (rules == ValueRules::Exact && holds_continuation_mark(working)) {
            if (!is_detached) {
                detached.assign(working);
                working = detached;
                is_detached = true;
            }
            take_continuation(line, input, value);
            if (observer != nullptr && observer->value_taken != nullptr) {
                observer->value_taken(observer->context, j, value, true);
            }
        }
    }
}

}  // namespace quorlan
