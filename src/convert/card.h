// Card conversion: values captured from card lines, the record filter and the record
// output, and the grouping of international phone numbers.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "config/settings.h"
#include "text/line_reader.h"

namespace quorlan {

inline constexpr std::size_t kMaxValueBytes = 100;

// The current card's values, one per field mapping, in mapping order.
struct CardState {
    std::vector<std::string> values;
};

// The first bytes of all non-empty prefixes: a line whose first byte is not among them
// can't feed any mapping, so capture can pass it by at once.
struct PrefixIndex {
    std::array<bool, 256> first_byte{};
    // The first byte of each mapping's prefix, in mapping order, NUL for an empty prefix
    // (a line holds no NUL): capture tests it before the whole prefix.
    std::vector<char> firsts;
};

PrefixIndex make_prefix_index(const Settings& settings);

CardState make_card_state(const Settings& settings);

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
    // the first), `piece` is true when this read goes on with a physical line longer than
    // one read (never when decoding), `raw` holds the bytes as read with the line end
    // trimmed; when decoding, the logical line as joined (unfolded, soft line breaks
    // joined), before quoted-printable decoding and escapes.
    void (*card_line)(void* context, std::size_t number, std::string_view raw, bool piece);
    // Mapping `mapping` took `value`, as capture cleaned it (before the record's
    // constants, trimming and phone grouping), from the current card line;
    // `continuation` when the ";=" rule took it from the line after it.
    void (*value_taken)(void* context, std::size_t mapping, std::string_view value, bool continuation);
    void* context;
};

// Empties every value.
void reset_card(CardState& card);

// How capture cleans the values it takes: as the file holds them, with the ";=" rule; or
// as vCard readers read them, escapes resolved and without the ";=" rule, which stood in
// for the soft line breaks that decoding joins.
enum class ValueRules { Exact, Decoded };

// Feeds the values of the mappings whose prefixes the line begins with. By the exact rules,
// a value whose rest holds ";=" is taken from the next input line, which replaces `line`.
// Tells `observer` (when given) about every value taken.
void capture_values(std::string& line, LineReader& input, const Settings& settings,
                    const PrefixIndex& index, CardState& card, const CardObserver* observer = nullptr,
                    ValueRules rules = ValueRules::Exact);

// The clean-up of every captured value: ";" to space, line end trimmed, runs of spaces collapsed.
void clean_value(std::string& value);

// Checks the Required and Forbidden conditions on the values as captured.
bool passes_filter(const Settings& settings, const CardState& card);

// Called for each line that begins with "END:". When the card passes the filter, applies
// the constants, trimming and phone grouping to the stored values and appends the record
// to `out`. Returns true when a record was written.
bool write_record(const Settings& settings, CardState& card, std::string& out);

// Appends `value` as element content: markup characters become entities, CR becomes "&#13;"
// and bytes that an XML document can't hold become "_".
void append_escaped(std::string& out, std::string_view value);

// Groups an international number: country code, three, three, and the rest.
std::string format_phone(std::string_view value);

// Groups the number in place, as format_phone does; a string that has held a number before
// has room for it, so no memory is allocated.
void group_phone(std::string& number);

}  // namespace quorlan
