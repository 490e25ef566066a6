// Capture: the values that card lines give the field mappings, byte for byte or, when
// decoding, as vCard readers read the lines, and the card they are gathered in.
#pragma once

#include <array>
#include <span>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "charset/charsets.h"
#include "config/settings.h"
#include "convert/waiting.h"
#include "text/line_reader.h"
#include "vcard/head.h"

namespace quorlan {

inline constexpr std::size_t kMaxValueBytes = 100;

// No field: the mapping of a lost value that no field's prefix names.
inline constexpr std::size_t kNoField = static_cast<std::size_t>(-1);

// One value of a list field (is_list_field), as its line gave it.
struct ListValue {
    std::string text;
    ValueKind kind = ValueKind::Other;
    bool preferred = false;
    bool number = false;  // from a TEL line: the card's numbers are told apart by their digits
};

// The values of a list field in card order: the first `count` of `items`; the others are
// kept for the next card, so that their storage is reused.
struct ValueList {
    std::vector<ListValue> items;
    std::size_t count = 0;
};

// Values that a field's property names reach no field: a second value where the field
// takes one, or a line whose types no field's prefix names.
struct LostValues {
    std::size_t count = 0;
    // The property names they came from, with their counts, the commonest few kept.
    std::vector<std::pair<std::string, std::size_t>> by_name;
    std::uint64_t one_value_fields = 0;  // bit j: mapping j took one value where a card gave more
    std::vector<std::string> unnamed;    // properties of a kind no prefix names, the first few
};
inline constexpr std::size_t kLostNamesKept = 8;

// The current card's values, one per field mapping, in mapping order.
struct CardState {
    std::vector<std::string> values;
    // With list fields: one list per mapping (empty for the others), and the first value of
    // each list in `values`, so that the filter sees a list with a value as filled.
    std::vector<ValueList> lists{};
    // When decoding: the values the current card lost (see keep_lost_values).
    LostValues card_lost{};
    // When decoding: the value kept came from a preferred line, so no later line replaces it.
    std::vector<unsigned char> preferred{};
    // When decoding: the card line each kept value came from, to tell of it when a
    // preferred value replaces it.
    std::vector<std::size_t> kept_line{};
    // The converters of the charsets that decoded values declared, kept for the whole run
    // so that each is opened once.
    CharsetConverters charsets = {};
    // When decoding for a form that shows them (a template's {{N.1}}): each kept value's
    // components, split at each ";" that no backslash escapes, decoded and cleaned as a
    // value is, for the mappings of the bits of `keep_components`. Empty otherwise.
    std::uint64_t keep_components = 0;
    std::vector<std::vector<std::string>> components{};
    CardLines waiting = {};
};

// The first bytes of all non-empty prefixes: a line whose first byte is not among them
// can't feed any mapping, so capture can pass it by at once.
struct PrefixIndex {
    std::array<bool, 256> first_byte{};
    // For each first byte, the mappings whose prefix begins with it, one bit each in
    // mapping order: a line visits only the mappings it may feed, not all of them.
    std::array<std::uint64_t, 256> by_first{};
    static_assert(kMaxMappings <= 64, "one bit for each mapping");
};

PrefixIndex make_prefix_index(const Settings& settings);

CardState make_card_state(const Settings& settings);

// How a card line stands to the line before it, as the reader that feeds the loop reads
// the file.
enum class LineJoin : std::uint8_t {
    Own,        // a line of its own
    Piece,      // a further read of a physical line longer than one read
    SoftBreak,  // a physical line that goes on with a quoted-printable line ending in "="
};

// Lets a caller watch the conversion, for showing a user what the run makes of each line
// and card. Every function may be null; a run without an observer pays nothing for it.
struct CardObserver {
    // A line beginning with "BEGIN:VCARD" (in any case when decoding) has emptied the values.
    void (*card_begun)(void* context);
    // A line beginning with "END:" has offered the card to the filter. When it was left
    // out, `card` holds the values the filter saw; when `written`, the values as written.
    void (*card_ended)(void* context, const CardState& card, bool written);
    // Every card line the loop takes, before anything is done to it and before lines that
    // can't matter are passed over: `number` is the line of the file it starts on (1 for
    // the first), `raw` holds the bytes as read with the line end trimmed; when decoding,
    // the logical line as joined (unfolded, soft line breaks joined), before
    // quoted-printable decoding and escapes. `join` tells how the line goes on with the
    // one before it: always Own when decoding, as the reader has joined the rest.
    void (*card_line)(void* context, std::size_t number, std::string_view raw, LineJoin join);
    // Mapping `mapping` took `value`, as capture cleaned it (before the record's
    // constants, trimming and phone grouping), from the current card line;
    // `continuation` when the ";=" rule took it from the line after it.
    void (*value_taken)(void* context, std::size_t mapping, std::string_view value, bool continuation);
    void* context;
    // When decoding: a line matched mapping `mapping` but its `value` was not kept: it
    // came out empty, or the card's first (or preferred) value stays, or a list holds it.
    void (*value_dropped)(void* context, std::size_t mapping, std::string_view value) = nullptr;
    // When decoding, for lines that waited for the card's end: the next value_taken or
    // value_dropped is about the card line `number`, which alternative `alternative` of
    // the mapping's prefix (0 for the first) names.
    void (*value_line)(void* context, std::size_t number, std::size_t alternative) = nullptr;
    // When decoding: the value `value` of card line `number`, a `name` line, reaches no
    // field (see LostValues); `mapping` is the field that took another value in its place,
    // or npos when no field's prefix names the line.
    void (*value_lost)(void* context, std::size_t number, std::string_view name, std::size_t mapping,
                       std::string_view value) = nullptr;
};

// The values of list field `j` of the card (none for a field that is no list).
inline std::span<const ListValue> list_values(const CardState& card, std::size_t j) {
    if (j >= card.lists.size()) return {};
    return {card.lists[j].items.data(), card.lists[j].count};
}

// Adds a value to list field `j`: false, and the list unchanged, when the card holds it
// already (a number by its digits in any list field, other values by their text in this
// one); a preferred duplicate makes the value kept preferred.
bool add_list_value(CardState& card, std::size_t j, std::string_view text, ValueKind kind, bool preferred,
                    bool number);

// add_list_value, telling `observer` whether the value was taken or dropped.
void take_list_value(CardState& card, std::size_t j, std::string_view text, ValueKind kind, bool preferred,
                     bool number, const CardObserver* observer);

// True when `a` and `b` are the same value: numbers by their digits, when they have any.
bool same_value(std::string_view a, std::string_view b, bool numbers);

// Adds the lost values of a card that was written to `kept`, the run's (a card the filter
// leaves out loses its values on purpose).
void keep_lost_values(const CardState& card, LostValues& kept);

// Counts a lost value and tells `observer` about it.
[[gnu::cold]] void note_lost_value(CardState& card, std::size_t number, std::string_view name, std::size_t mapping,
                     std::string_view value, const CardObserver* observer);

// Empties every value.
void reset_card(CardState& card);

// Where the exact reading finds the line that a value ending in ";=" goes on with: the
// next line of its file, read into `line`, which stays as it is at the end of the input.
struct ContinuationSource {
    void (*read)(void* context, std::string& line);
    void* context;
};

// A source that reads the next line of `input` as it stands.
ContinuationSource continuation_from(LineReader& input);

// Feeds the values of the mappings whose prefixes the line begins with, byte for byte,
// telling `observer` (when given) about every value taken. `line` may be a view into the
// reader's block: a value whose rest holds ";=" is taken from the next line, read from
// `more` into `buffer`. Returns the line as it stands after capture: `line`, or `buffer`
// when it holds a continuation line.
std::string_view capture_values(std::string_view line, std::string& buffer, ContinuationSource more,
                                const Settings& settings, const PrefixIndex& index, CardState& card,
                                const CardObserver* observer = nullptr);

// The prefixes read as property heads, once per run, for capture when decoding.
// What capture learnt of a head it has read: the lines of a file share a few heads, and
// each is read once instead of on every line.
struct KnownHead {
    std::string head;         // its bytes; empty in a slot not used yet
    std::uint64_t named = 0;  // bit j: the prefix of mapping j names it (values aside)
    bool preferred = false;
    bool tel = false;  // a TEL line, whose value may be a "tel:" URI
    std::string charset;  // the value of its CHARSET parameter, when it has one
    bool grouped = false;  // it has a group, whose Apple label may give it a type
    bool wanted = false;   // a prefix gives its property name
    bool label = false;    // an X-ABLabel line
    ValueKind kind = ValueKind::Other;  // when some field is a list
    std::string group;
};
inline constexpr std::size_t kKnownHeads = 64;
// Longer heads, rare and mostly of quoted parameters, are read again on every line.
inline constexpr std::size_t kKnownHeadBytes = 96;
static_assert(kMaxMappings <= 64);

struct PrefixHeads {
    std::vector<PrefixHead> heads;  // one per mapping, in mapping order (its first alternative)
    // Every alternative of each mapping's prefix ("N|FN|ORG"), in order.
    std::vector<std::vector<PrefixHead>> alternatives;
    bool any_alternatives = false;  // some prefix has two or more: every card waits for its end
    bool any_lists = false;         // some field is a list, whose values keep their kinds
    std::string codepage;  // the charset of undeclared text that is not UTF-8 (CODEPAGE=), or empty
    std::vector<std::string> names;  // the property names they give, each once
    // Their lengths by their first bytes, in either letter case: bit n for a name of n
    // bytes (63 for 63 or more), so that most other names are told apart without comparing.
    std::array<std::uint64_t, 256> name_lengths{};
    // Those of eight bytes or fewer as words (name_word), compared whole.
    std::vector<std::uint64_t> name_words;
    std::vector<KnownHead> known;    // kKnownHeads slots, chosen by a hash of the head
    KnownHead long_head;             // the facts of the last head too long to keep
    // Reused for every line, so that reading a head and a value allocates nothing once
    // lines like it have been read.
    Head line;
    std::string value;
};

PrefixHeads make_prefix_heads(const Settings& settings);

// A quick look, before any decoding, at whether the line, whose property name `look` gives
// (look_at_name), may name a property that some prefix names; false only when it surely
// doesn't.
bool may_feed(const PrefixHeads& prefixes, std::string_view line, const NameLook& look);

// Capture when decoding: the line, decoded, feeds the first mapping whose prefix names it
// and no other, with its value part cut and cleaned. A field keeps the first value of the
// card, unless a later line is preferred and the kept one is not. Returns true when the
// line fed a field; a line whose value comes out empty feeds none.
// A line whose field depends on what the card holds further on waits for the card's end
// (see settle_card; `card.waiting`) and has fed none yet; `number` is its line of the file.
// `head_size`, when the caller knows it, is head_end(line).
bool capture_decoded_values(std::string_view line, const Settings& settings, PrefixHeads& prefixes,
                            CardState& card, const CardObserver* observer = nullptr, std::size_t number = 0,
                            std::size_t head_size = std::string_view::npos);

// At the end of a card, when decoding: the lines that waited feed the fields, mapping by
// mapping in order. A mapping takes the lines of the first alternative of its prefix that
// gives a value and leaves the lines of the others to later mappings; among them the
// first value counts, or the first preferred one. Apple labels give their group's lines
// their types, and a line that declares no charset and is not UTF-8 is read in the one
// charset the card declares, else in the code page of CODEPAGE=.
void settle_card(const Settings& settings, PrefixHeads& prefixes, CardState& card,
                 const CardObserver* observer = nullptr);

// Keeps the components of mapping `j`'s value, whose value part `value_part` is read in
// `charset` (empty: UTF-8, else windows-1250), when the card keeps them.
void keep_components(CardState& card, std::size_t j, std::string_view value_part, std::string_view charset);
// Whether the card keeps the components of mapping `j`.
inline bool keeps_components(const CardState& card, std::size_t j) { return (card.keep_components >> j & 1U) != 0; }

// The clean-up of every captured value: ";" to space, line end trimmed, runs of spaces collapsed.
void clean_value(std::string& value);

}  // namespace quorlan
