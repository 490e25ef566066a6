#include "convert/card.h"

#include "text/text_ops.h"
#include "vcard/decode.h"

namespace quorlan {

PrefixIndex make_prefix_index(const Settings& settings) {
    PrefixIndex index;
    for (const FieldMapping& mapping : settings.mappings) {
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

void clean_value(std::string& value) {
    // ";" to space, runs of spaces collapsed and the line end trimmed, in one pass: trimming
    // last gives what trimming before collapsing gives, as collapsing keeps the last byte
    // that is not line-end debris and every byte before it in their order.
    char* const data = value.data();
    std::size_t kept = 0;
    for (std::size_t i = 0; i < value.size(); ++i) {
        const char c = data[i] == ';' ? ' ' : data[i];
        if (c == ' ' && kept > 0 && data[kept - 1] == ' ') continue;
        data[kept++] = c;
    }
    while (kept > 0 && is_line_end_debris(data[kept - 1])) --kept;
    value.resize(kept);
}

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
    for (std::size_t j = 0; j < settings.mappings.size(); ++j) {
        const std::string& prefix = settings.mappings[j].prefix;
        if (!begins_with(working, prefix)) continue;
        working = working.substr(prefix.size(), kMaxValueBytes);

        std::string& value = card.values[j];
        value.assign(raw_value(working));
        if (rules == ValueRules::Exact) {
            clean_value(value);
        } else {
            clean_decoded_value(value);
        }
        if (observer != nullptr && observer->value_taken != nullptr) {
            observer->value_taken(observer->context, j, value, false);
        }

        if (rules == ValueRules::Exact && find_text(working, ";=", 1) >= 0) {
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
