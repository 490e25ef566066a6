#include "explain/census.h"

#include <algorithm>

#include "charset/cp1250.h"
#include "text/text_ops.h"

namespace quorlan {

namespace {

bool is_quoted_printable(std::string_view head) {
    std::string upper(head);
    to_upper_ascii(upper);
    return upper.find("QUOTED-PRINTABLE") != std::string::npos;
}

// A short cut of a value for an example.
std::string kept_value(std::string_view value) { return std::string(value.substr(0, 48)); }

}  // namespace

std::string_view head_of(std::string_view raw) {
    if (raw.empty() || raw[0] == ' ' || raw[0] == '\t') return {};
    const std::size_t colon = raw.find(':');
    if (colon == std::string_view::npos || colon == 0) return {};
    return raw.substr(0, colon);
}

std::string property_name(std::string_view head) {
    std::size_t end = head.find_first_of(";:");
    if (end == std::string_view::npos) end = head.size();
    std::string_view name = head.substr(0, end);
    if (const std::size_t dot = name.find('.'); dot != std::string_view::npos) name.remove_prefix(dot + 1);
    std::string upper(name);
    to_upper_ascii(upper);
    return upper;
}

std::vector<std::string> head_kind(std::string_view head) {
    static constexpr std::string_view kSameKind[] = {"PREF", "VOICE", "INTERNET", "QUOTED-PRINTABLE", "BASE64",
                                                     "8BIT", "7BIT", "B"};
    std::vector<std::string> kind{property_name(head)};
    std::string upper(head);
    to_upper_ascii(upper);
    std::string_view params(upper);
    const std::size_t semicolon = params.find(';');
    params = semicolon == std::string_view::npos ? std::string_view() : params.substr(semicolon + 1);
    while (!params.empty()) {
        const std::size_t end = std::min(params.find(';'), params.size());
        std::string_view param = params.substr(0, end);
        params.remove_prefix(std::min(end + 1, params.size()));
        if (const std::size_t equals = param.find('='); equals != std::string_view::npos) {
            // Of the parameters with a name, only TYPE gives kinds.
            if (param.substr(0, equals) != "TYPE") continue;
            param.remove_prefix(equals + 1);
        }
        while (!param.empty()) {
            const std::size_t comma = std::min(param.find(','), param.size());
            const std::string_view type = param.substr(0, comma);
            param.remove_prefix(std::min(comma + 1, param.size()));
            if (!type.empty() && std::find(std::begin(kSameKind), std::end(kSameKind), type) == std::end(kSameKind)) {
                kind.emplace_back(type);
            }
        }
    }
    std::sort(kind.begin() + 1, kind.end());
    kind.erase(std::unique(kind.begin() + 1, kind.end()), kind.end());
    return kind;
}

Census make_census(const Settings& settings) {
    Census census;
    census.takes.resize(settings.mappings.size());
    census.fold = settings.fold_ascii != 0;
    census.decode = settings.decode != 0;
    return census;
}

void census_line(Census& census, std::size_t number, std::string_view raw, bool piece) {
    census.line = number;
    census.current = SIZE_MAX;
    census.line_taken = false;
    // The lines that make and end cards are counted with the cards, not as heads. A later
    // piece of a long line makes and ends no card, whatever it begins with.
    std::string start(raw.substr(0, 11));
    if (census.decode) to_upper_ascii(start);
    if (!piece && (begins_with(start, "BEGIN:VCARD") || begins_with(start, "END:"))) {
        census.soft_break = false;
        return;
    }
    if (raw.empty()) {
        ++census.empty_lines;
        return;
    }
    const std::string_view head = piece || census.soft_break ? std::string_view() : head_of(raw);
    if (head.empty()) {
        ++census.continuation_lines;
        census.soft_break = census.soft_break && raw.back() == '=';
        return;
    }
    census.soft_break = raw.back() == '=' && is_quoted_printable(head);
    const std::string key(head.substr(0, kHeadBytesKept));
    auto found = census.index.find(key);
    if (found == census.index.end()) {
        if (census.heads.size() >= kHeadsKept) {
            ++census.lines_not_kept;
            return;
        }
        found = census.index.emplace(key, census.heads.size()).first;
        HeadCount& added = census.heads.emplace_back();
        added.head = key;
        added.compared = key;
        utf8_to_cp1250(added.compared);
        if (census.fold) fold_to_ascii(added.compared);
    }
    HeadCount& count = census.heads[found->second];
    ++count.lines;
    if (count.last_card != census.card_serial) {
        ++count.cards;
        count.last_card = census.card_serial;
    }
    census.current = found->second;
}

void census_value(Census& census, std::size_t mapping, std::string_view value, bool continuation) {
    MappingTakes& takes = census.takes[mapping];
    if (continuation) {
        ++takes.continuations;
        ++census.continuation_lines;
    } else {
        ++takes.lines;
        if (census.current != SIZE_MAX) {
            HeadCount& head = census.heads[census.current];
            head.mappings |= std::uint64_t{1} << mapping;
            // A line counts once however many mappings take it.
            if (!census.line_taken) ++head.taken;
            census.line_taken = true;
        }
    }
    if (value.empty()) return;
    if (takes.filled_now == 0) {
        takes.now.first_line = census.line;
        takes.now.first_value = kept_value(value);
    }
    takes.now.last_line = census.line + (continuation ? 1 : 0);
    takes.now.last_value = kept_value(value);
    ++takes.filled_now;
}

void census_card_begun(Census& census) {
    ++census.card_serial;
    for (MappingTakes& takes : census.takes) takes.filled_now = 0;
}

void census_card_ended(Census& census, const CardState& card) {
    for (std::size_t j = 0; j < census.takes.size(); ++j) {
        MappingTakes& takes = census.takes[j];
        if (!card.values[j].empty()) ++takes.cards_filled;
        if (takes.filled_now < 2) continue;
        if (takes.cards_refilled++ == 0) {
            takes.example = takes.now;
            takes.example.card = census.card;
        }
    }
    ++census.card;
    ++census.card_serial;
}

std::vector<const HeadCount*> heads_by_lines(const Census& census) {
    std::vector<const HeadCount*> heads;
    heads.reserve(census.heads.size());
    for (const HeadCount& head : census.heads) heads.push_back(&head);
    std::stable_sort(heads.begin(), heads.end(),
                     [](const HeadCount* a, const HeadCount* b) { return a->lines > b->lines; });
    return heads;
}

}  // namespace quorlan
