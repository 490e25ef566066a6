#include "convert/capture.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

#include "charset/cp1250.h"
#include "text/text_ops.h"
#include "vcard/decode.h"
#include "vcard/value_text.h"
#include "convert/waiting.h"

namespace quorlan {

PrefixIndex make_prefix_index(const Settings& settings) {
    PrefixIndex index;
    for (std::size_t j = 0; j < settings.mappings.size(); ++j) {
        const std::string& prefix = settings.mappings[j].prefix;
        if (prefix.empty()) continue;  // an empty prefix begins nothing
        index.first_byte[static_cast<unsigned char>(prefix[0])] = true;
        index.by_first[static_cast<unsigned char>(prefix[0])] |= std::uint64_t{1} << j;
    }
    return index;
}

CardState make_card_state(const Settings& settings) {
    CardState card;
    card.values.resize(settings.mappings.size());
    card.preferred.resize(settings.mappings.size());
    card.kept_line.resize(settings.mappings.size());
    if (std::any_of(settings.mappings.begin(), settings.mappings.end(),
                    [&](const FieldMapping& mapping) { return is_list_field(settings, mapping); })) {
        card.lists.resize(settings.mappings.size());
    }
    return card;
}

void reset_card(CardState& card) {
    for (std::string& value : card.values) value.clear();
    for (std::vector<std::string>& parts : card.components) parts.clear();
    std::fill(card.preferred.begin(), card.preferred.end(), 0);
    for (ValueList& list : card.lists) list.count = 0;
    if (card.card_lost.count != 0) {
        card.card_lost.count = 0;
        card.card_lost.by_name.clear();
        card.card_lost.one_value_fields = 0;
        card.card_lost.unnamed.clear();
    }
    WaitingLines& waiting = card.waiting;
    if (waiting.active || !waiting.labels.empty() || !waiting.charset.empty() || waiting.charsets_differ) {
        waiting.active = false;
        waiting.count = 0;
        waiting.bytes = 0;
        waiting.labels.clear();
        waiting.charset.clear();
        waiting.charsets_differ = false;
    }
}

namespace {

// Cleans `size` bytes from `raw` onto `out + kept`; returns the new `kept`. Without branches
// on the bytes, which names and numbers mix unpredictably: every byte is written, and the
// next one overwrites it when it was a second space in a row.
std::size_t clean_bytes(const char* raw, std::size_t size, char* out, std::size_t kept, bool& after_space) {
    for (std::size_t i = 0; i < size; ++i) {
        const char c = raw[i] == ';' ? ' ' : raw[i];
        const bool space = c == ' ';
        out[kept] = c;
        kept += static_cast<std::size_t>(!(space && after_space));
        after_space = space;
    }
    return kept;
}

// ";" to space, runs of spaces collapsed and the line end trimmed, in one pass from `raw`
// to `out` (which may be the same bytes): trimming last gives what trimming before
// collapsing gives, as collapsing keeps the last byte that is not line-end debris and
// every byte before it in their order. Returns the length of the clean value.
std::size_t clean_into(const char* raw, std::size_t size, char* out) {
    std::size_t kept = 0;
    bool after_space = false;
    std::size_t i = 0;
    // Eight bytes at a time, ";" turned into spaces; a word with a second space in a row
    // (the ";;;" that ends most names) byte by byte. (The word is loaded before it is
    // stored, so cleaning in place is safe.)
    for (; i + 8 <= size; i += 8) {
        const CleanWord w = clean_word(raw + i, after_space);
        if (w.dropped != 0) {
            kept = clean_bytes(raw + i, 8, out, kept, after_space);
            continue;
        }
        std::memcpy(out + kept, &w.word, sizeof w.word);
        kept += 8;
        after_space = ends_in_space(w);
    }
    kept = clean_bytes(raw + i, size - i, out, kept, after_space);
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
    // A ";" needs a byte after it.
    for (std::size_t p = 1; p < rest.size() - 1; ++p) {
        p += find_byte(rest.substr(p, rest.size() - 1 - p), ';');
        if (p < rest.size() - 1 && rest[p + 1] == '=') return true;
    }
    return false;
}

}  // namespace

void clean_value(std::string& value) { value.resize(clean_into(value.data(), value.size(), value.data())); }

namespace {

// The raw value in the rest after a prefix: what follows its second colon when it has
// two or more, else what follows its first colon, else the whole rest.
std::string_view raw_value(std::string_view rest) {
    std::size_t colon = find_byte(rest, ':');
    if (colon == rest.size()) return rest;
    if (const std::size_t second = colon + 1 + find_byte(rest.substr(colon + 1), ':'); second != rest.size()) {
        colon = second;
    }
    return rest.substr(colon + 1, kMaxValueBytes);
}

// The value of a ";=" rest is the next input line taken whole and cleaned; at the end of
// the input it is the current line itself. Either way the line buffer ends up holding it,
// and the end-of-card test looks at it there.
void take_continuation(std::string& line, ReadContinuation more, std::string& value) {
    more(line);
    trim_line_end(line);
    clean_value(line);
    // Taken whole: a continuation may be longer than the 100 bytes of other values.
    value = line;
}

// The rest of the line that capture works through: a view of the line until a
// continuation is about to be read, which replaces the buffer and may move the reader's
// block; from then on a view of a copy of its own.
struct Working {
    std::string_view rest;
    std::string detached{};
    bool is_detached = false;
};

// Mapping `j`'s value goes on in the next line: it becomes that line, which the buffer
// holds from then on. Returns the line as it stands now.
std::string_view continue_value(std::string_view line, Working& working, std::string& buffer, ReadContinuation more,
                                std::string& value) {
    if (!working.is_detached) {
        working.detached.assign(working.rest);
        working.rest = working.detached;
        working.is_detached = true;
    }
    // At the end of the input the line itself is the continuation: it must be in the
    // buffer then.
    if (line.data() != buffer.data()) buffer.assign(line);
    take_continuation(buffer, more, value);
    return buffer;
}

}  // namespace

std::string_view capture_values(std::string_view line, std::string& buffer, ReadContinuation more,
                                const Settings& settings, const PrefixIndex& index, CardState& card,
                                const ConversionObserver* observer, std::size_t number) {
    if (line.empty() || !index.first_byte[static_cast<unsigned char>(line[0])]) return line;
    Working working{line};
    const std::size_t mappings = settings.mappings.size();
    for (std::size_t j = 0; j < mappings; ++j) {
        // On to the next mapping whose prefix begins with the line's first byte; a match
        // moves the line on past its prefix, so the set is looked up afresh each time.
        if (working.rest.empty()) break;
        const std::uint64_t later = index.by_first[static_cast<unsigned char>(working.rest[0])] >> j;
        if (later == 0) break;
        j += static_cast<std::size_t>(std::countr_zero(later));
        const std::string& prefix = settings.mappings[j].prefix;
        if (!begins_with(working.rest, prefix)) continue;
        working.rest = working.rest.substr(prefix.size(), kMaxValueBytes);

        std::string& value = card.values[j];
        assign_clean(value, raw_value(working.rest));
        tell_value(observer, j, value, ValueOutcome::Taken, number);
        if (holds_continuation_mark(working.rest)) {
            line = continue_value(line, working, buffer, more, value);
            tell_value(observer, j, value, ValueOutcome::Continuation, number + 1);
        }
    }
    return line;
}

namespace {

// Any spread of the heads over the slots will do, as a slot is checked against the whole
// head: its length and its first and last eight bytes, mixed by multiplying. (The heads
// of a file differ in those: "TEL;TYPE=CELL" and "TEL;TYPE=WORK,VOICE".)
// `room` bytes are readable from the head's start.
std::size_t slot_of(std::string_view head, std::size_t room) {
    std::uint64_t first = 0;
    std::uint64_t last = 0;
    // Loads of a fixed size: a copy of a varying length is a call of its own. A short head
    // is one load, cut to its bytes, where the line goes on after it.
    if (head.size() >= sizeof first) {
        std::memcpy(&first, head.data(), sizeof first);
        std::memcpy(&last, head.data() + head.size() - sizeof last, sizeof last);
    } else {
        if (room >= sizeof first) {
            first = load_word(head.data()) & ((std::uint64_t{1} << (8 * head.size())) - 1);
        } else {
            for (std::size_t i = 0; i < head.size(); ++i) {
                first |= std::uint64_t{static_cast<unsigned char>(head[i])} << (8 * i);
            }
        }
        last = first;
    }
    const std::uint64_t hash = (first * 0x9E3779B97F4A7C15U) ^ (last * 0xC2B2AE3D27D4EB4FU) ^ head.size();
    static_assert(kKnownHeads == 64, "the top six bits of the hash choose the slot");
    return static_cast<std::size_t>((hash * 0x9E3779B97F4A7C15U) >> 58);
}

const KnownHead& known_head(PrefixHeads& prefixes, std::string_view head, std::size_t room) {
    const bool keep = head.size() <= kKnownHeadBytes && !head.empty();
    KnownHead& facts = keep ? prefixes.known[slot_of(head, room)] : prefixes.long_head;
    // Compared inline: heads are short, and nearly every line finds its own.
    if (keep && facts.head.size() == head.size() && begins_with(facts.head, head)) return facts;
    read_head(head, prefixes.line);
    facts.head.assign(head.substr(0, keep ? head.size() : 0));
    facts.named = 0;
    for (std::size_t j = 0; j < prefixes.alternatives.size(); ++j) {
        for (const PrefixHead& alternative : prefixes.alternatives[j]) {
            if (prefix_names_head(alternative, prefixes.line)) facts.named |= std::uint64_t{1} << j;
        }
    }
    const Head& line = prefixes.line;
    facts.preferred = line.preferred;
    facts.tel = std::string_view(line.name) == "TEL";
    facts.charset.clear();
    // A charset not known here is as good as none: the line is read as undeclared text.
    for (const auto& [key, value] : line.params) {
        if (key == "CHARSET" && find_charset(value) != nullptr) facts.charset = value;
    }
    // Only list fields keep a value's kind.
    facts.kind = prefixes.any_lists ? value_kind(line) : ValueKind::Other;
    facts.group = line.group;
    facts.grouped = !line.group.empty();
    facts.label = facts.grouped && std::string_view(line.name) == "X-ABLABEL";
    facts.wanted = std::find(prefixes.names.begin(), prefixes.names.end(), line.name) != prefixes.names.end();
    return facts;
}

// Whether the line must wait for the card's end: what it feeds may depend on a later line.
// (A line whose bytes are not UTF-8 waits too, once decoding has told.)
bool must_wait(const PrefixHeads& prefixes, const KnownHead& head) {
    if (prefixes.any_alternatives) return true;
    // An Apple label may give the line a type, before it or after it.
    return head.grouped && head.wanted;
}

}  // namespace

// The parts of a structured value, for a form that shows them ({{N.1}} of a template): split
// at each ";" that no backslash escapes, each decoded and cleaned as a whole value is.
void keep_components(CardState& card, std::size_t j, std::string_view value_part, std::string_view charset) {
    std::vector<std::string>& parts = card.components[j];
    parts.clear();
    const std::string_view raw = value_part.substr(0, 4 * kMaxValueBytes);
    std::size_t start = 0;
    for (std::size_t i = 0;; ++i) {
        if (i < raw.size() && raw[i] == '\\') {
            ++i;  // an escaped byte, ";" too, stays in the component
            if (i < raw.size()) continue;
        }
        if (i < raw.size() && raw[i] != ';') continue;
        std::string& part = parts.emplace_back(raw.substr(start, std::min(i, raw.size()) - start));
        decode_value_text(part, charset, card.charsets, kMaxValueBytes);
        if (i >= raw.size()) return;
        start = i + 1;
    }
}

namespace {

// What a line's head tells the card whatever the line feeds: the charset it declares, the
// label of its group. False when no mapping can take the line.
bool note_head(CardState& card, const KnownHead& head, std::string_view line, std::string_view value_part,
               std::size_t number, const ConversionObserver* observer) {
    if (!head.charset.empty()) note_card_charset(card.waiting, head.charset);
    // A label gives its group's lines a kind, and still feeds a mapping that names it.
    if (head.label) note_label(card.waiting, head.group, value_part);
    if (head.named != 0 || (head.grouped && head.wanted)) return true;
    // A property some field takes, of a kind none names: its value is lost.
    if (!head.label && head.wanted && value_part.find_first_not_of(' ') != std::string_view::npos) {
        note_lost_value(card, number, property_name_of(line), kNoField, value_part, observer);
    }
    return false;
}

// The first mapping that names the head and takes the value, or kNoField: only the
// mappings named are looked at.
std::size_t taking_mapping(const PrefixHeads& prefixes, const KnownHead& head, std::string_view value_part) {
    for (std::uint64_t named = head.named; named != 0; named &= named - 1) {
        const auto j = static_cast<std::size_t>(std::countr_zero(named));
        const PrefixHead& prefix = prefixes.heads[j];
        if (prefix.value_prefix.empty() || prefix_takes_value(prefix, value_part)) return j;
    }
    return kNoField;
}

// Mapping `j` takes one value: address books show the first number or address of a card,
// or the preferred one; a value of another field's kind that is not kept is lost, unless
// it is the kept one again. `value` is the kept one itself when the card had none.
void keep_single_value(CardState& card, std::size_t j, const std::string& value, const KnownHead& head,
                       std::string_view line, std::string_view value_part, std::size_t number,
                       const ConversionObserver* observer) {
    std::string& kept = card.values[j];
    const bool first = &value == &kept;
    if (!first && !(head.preferred && card.preferred[j] == 0)) {
        if (!same_value(kept, value, head.tel)) note_lost_value(card, number, property_name_of(line), j, value, observer);
        tell_value(observer, j, value, ValueOutcome::DroppedFirstStays, number);
        return;
    }
    if (!first && !same_value(kept, value, head.tel)) {
        note_lost_value(card, card.kept_line[j], property_name_of(line), j, kept, observer);
    }
    if (!first) kept.assign(value);
    card.kept_line[j] = number;
    card.preferred[j] = head.preferred ? 1 : 0;
    if (keeps_components(card, j)) keep_components(card, j, value_part, head.charset);
    tell_value(observer, j, kept, ValueOutcome::Taken, number);
}

// Values are text here: the limit of 100 counts characters once decoded and composed,
// before the clean-up as it always has. The value is decoded whole, or from as many of its
// first bytes as surely give those characters. False when its bytes, which declare no
// charset, are not UTF-8.
inline bool decode_value(std::string& value, std::string_view value_part, const KnownHead& head, CardState& card) {
    value.assign(value_part);
    bool not_utf8 = false;
    decode_value_text(value, head.charset, card.charsets, kMaxValueBytes, &not_utf8);
    if (not_utf8) return false;
    // A vCard 4.0 number is written as a URI: "TEL;VALUE=uri:tel:+420603123456".
    if (head.tel && begins_with_any_case(value, "TEL:")) value.erase(0, 4);
    return true;
}

}  // namespace

// (The mappings are known by the heads' bits, one per mapping of `settings`.)
bool capture_decoded_values(std::string_view line, const Settings& settings, PrefixHeads& prefixes, CardState& card,
                            const ConversionObserver* observer, std::size_t number, std::size_t head_size) {
    const std::size_t end = head_size != std::string_view::npos ? head_size : head_end(line);
    const std::string_view value_part = end < line.size() ? line.substr(end + 1) : std::string_view();
    const KnownHead& head = known_head(prefixes, line.substr(0, end), line.size());
    if (!note_head(card, head, line, value_part, number, observer)) return false;
    if (card.waiting.active || must_wait(prefixes, head)) {
        keep_waiting(card.waiting, line.substr(0, end), value_part, number);
        return false;
    }
    const std::size_t j = taking_mapping(prefixes, head, value_part);
    if (j == kNoField) return false;

    // The card's first value is decoded where it is kept; an empty value leaves it empty.
    std::string& kept = card.values[j];
    const bool list = !card.lists.empty() && is_list_field(settings, settings.mappings[j]);
    const bool first = kept.empty() && !list;
    std::string& value = first ? kept : prefixes.value;
    // Undeclared bytes that are not UTF-8 are read in the charset the card declares, which
    // a later line may do: the line waits for the card's end.
    if (!decode_value(value, value_part, head, card)) {
        if (first) kept.clear();
        keep_waiting(card.waiting, line.substr(0, end), value_part, number);
        return false;
    }
    if (value.empty()) {
        tell_value(observer, j, value, ValueOutcome::DroppedEmpty, number);
    } else if (list) {
        const bool added = add_list_value(card, j, value, head.kind, head.preferred, head.tel);
        tell_value(observer, j, value, added ? ValueOutcome::Taken : ValueOutcome::DroppedListHolds, number);
    } else {
        keep_single_value(card, j, value, head, line, value_part, number, observer);
    }
    return !value.empty();
}

}  // namespace quorlan
