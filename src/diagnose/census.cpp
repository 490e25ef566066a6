#include "diagnose/census.h"

#include <algorithm>

#include "charset/cp1250.h"
#include "text/text_ops.h"
#include "vcard/head.h"

namespace quorlan {

namespace {

void count_spelling(HeadCount& count, std::string_view head) {
    for (auto& [spelling, lines] : count.spellings) {
        if (spelling == head) {
            ++lines;
            return;
        }
    }
    if (count.spellings.size() < kSpellingsKept) count.spellings.emplace_back(std::string(head), 1);
}
// A short cut of a value for an example.
constexpr std::size_t kValueBytesKept = 48;
std::string kept_value(std::string_view value) { return std::string(value.substr(0, kValueBytesKept)); }

// Counts a line of `head` under `key`; returns the position of its count, or SIZE_MAX when
// no more heads are kept.
std::size_t count_head(Census& census, const std::string& key, std::string_view head) {
    auto found = census.index.find(key);
    if (found == census.index.end()) {
        if (census.heads.size() >= kHeadsKept) {
            ++census.lines_not_kept;
            return SIZE_MAX;
        }
        found = census.index.emplace(key, census.heads.size()).first;
        HeadCount& added = census.heads.emplace_back();
        added.head = key;
        added.compared = key;
        // Decoding compares prefixes with lines whose letters are neither converted nor folded.
        if (!census.decode) {
            utf8_to_cp1250(added.compared);
            if (census.fold) fold_to_ascii(added.compared);
        }
    }
    HeadCount& count = census.heads[found->second];
    ++count.lines;
    if (census.decode) count_spelling(count, head.substr(0, kHeadBytesKept));
    if (count.last_card != census.card_serial) {
        ++count.cards;
        count.last_card = census.card_serial;
    }
    return found->second;
}

// Takes a line of the current card off the count of its head.
void uncount_line(Census& census, const Census::CardLine& line) {
    HeadCount& count = census.heads[line.head];
    --count.lines;
    for (auto spelling = count.spellings.begin(); spelling != count.spellings.end(); ++spelling) {
        if (spelling->first != std::string_view(line.spelling).substr(0, kHeadBytesKept)) continue;
        if (--spelling->second == 0) count.spellings.erase(spelling);
        break;
    }
    const bool others =
        std::any_of(census.card_lines.begin(), census.card_lines.end(),
                    [&](const Census::CardLine& other) { return &other != &line && other.head == line.head; });
    if (!others && count.last_card == census.card_serial) {
        --count.cards;
        count.last_card = 0;
    }
}

// Once the card's labels are all known: its grouped lines with a standard Apple label
// count under the type the label gives them, as prefixes take them.
void count_labelled_lines(Census& census, GroupLabels labels) {
    if (census.relabelled) return;
    census.relabelled = true;
    for (Census::CardLine& line : census.card_lines) {
        if (line.group.empty()) continue;
        for (const auto& [group, label] : labels) {
            if (group != line.group) continue;
            Head head = parse_head(line.spelling);
            if (!add_apple_label(head, label)) break;
            const std::string key = head_meaning(head).substr(0, kHeadBytesKept);
            if (key == census.heads[line.head].head) break;
            uncount_line(census, line);
            const std::size_t moved = count_head(census, key, line.spelling);
            // Beyond the heads kept, the line stays where it was counted.
            if (moved == SIZE_MAX) {
                ++census.heads[line.head].lines;
                --census.lines_not_kept;
                break;
            }
            line.head = moved;
            break;
        }
    }
}

}  // namespace

std::vector<std::string> head_kind(std::string_view head) {
    const Head parsed = parse_head(head);
    std::vector<std::string> kind{parsed.name};
    for (const std::string_view type : head_types(parsed, true)) kind.emplace_back(type);
    return kind;
}

Census make_census(const Settings& settings) {
    Census census;
    census.takes.resize(settings.mappings.size());
    census.fold = settings.fold_ascii;
    census.decode = settings.decode;
    return census;
}

void census_line(Census& census, const CardLineFact& fact) {
    const std::size_t number = fact.number;
    const std::string_view raw = fact.raw;
    const LineJoin join = fact.join;
    census.line = number;
    census.current = SIZE_MAX;
    census.line_taken = false;
    census.alternative = 0;
    // The lines that make and end cards are counted with the cards, not as heads. A later
    // piece of a long line makes and ends no card, whatever it begins with.
    std::string start(raw.substr(0, std::string_view("BEGIN:VCARD").size()));
    if (census.decode) to_upper_ascii(start);
    if (join != LineJoin::Piece && (begins_with(start, "BEGIN:VCARD") || begins_with(start, "END:"))) return;
    // Whether a line goes on with the one before is the reader's to say, which follows
    // soft line breaks the way the run joins them when decoding.
    if (raw.empty() && join == LineJoin::Own) {
        ++census.empty_lines;
        return;
    }
    const std::string_view head = join != LineJoin::Own ? std::string_view() : fact.head.text;
    if (head.empty()) {
        ++census.continuation_lines;
        return;
    }
    // With decoding, lines count by what prefixes take: the spellings of one meaning together.
    const Head& parsed = fact.head.parsed;
    const std::string key = census.decode ? head_meaning(parsed).substr(0, kHeadBytesKept)
                                          : std::string(head.substr(0, kHeadBytesKept));
    const std::size_t index = count_head(census, key, head);
    if (index == SIZE_MAX) return;
    census.current = index;
    if (!census.decode) return;
    if (census.card_lines.size() < kMaxWaitingLines) {
        Census::CardLine& line = census.card_lines.emplace_back();
        line.number = number;
        line.head = index;
        if (!parsed.group.empty() && parsed.name != "X-ABLABEL") {
            line.group = parsed.group;
            line.spelling = head;
        }
    }
}

namespace {

// With decoding: the values told next come from card line `number` of the current card,
// which waited for its end, which alternative `alternative` of the mapping's prefix names.
void census_value_line(Census& census, std::size_t number, std::size_t alternative, GroupLabels labels) {
    count_labelled_lines(census, labels);
    census.line = number;
    census.current = SIZE_MAX;
    census.line_taken = false;
    census.alternative = alternative;
    for (const Census::CardLine& line : census.card_lines) {
        if (line.number == number) census.current = line.head;
    }
}

// The current line is one that `mapping` took, whether it kept its value or not.
void note_line_taken(Census& census, MappingTakes& takes, std::size_t mapping) {
    ++takes.lines;
    if (census.current == SIZE_MAX) return;
    HeadCount& head = census.heads[census.current];
    head.mappings |= std::uint64_t{1} << mapping;
    // A line counts once however many mappings take it.
    if (!census.line_taken) ++head.taken;
    census.line_taken = true;
}

void count_value_taken(Census& census, std::size_t mapping, std::string_view value, bool continuation) {
    MappingTakes& takes = census.takes[mapping];
    if (continuation) {
        ++takes.continuations;
        ++census.continuation_lines;
    } else {
        note_line_taken(census, takes, mapping);
    }
    if (value.empty()) return;
    takes.alternative_now = census.alternative;
    if (takes.filled_now == 0) {
        takes.now.first_line = census.line;
        takes.now.first_value = kept_value(value);
    }
    takes.now.last_line = census.line + (continuation ? 1 : 0);
    takes.now.last_value = kept_value(value);
    ++takes.filled_now;
}

// A line the mapping's prefix took whose value was not kept.
void count_value_dropped(Census& census, std::size_t mapping, std::string_view value) {
    MappingTakes& takes = census.takes[mapping];
    note_line_taken(census, takes, mapping);
    // An empty value is no value that lost to the first one.
    if (value.empty() || takes.dropped_now++ != 0) return;
    takes.dropped = takes.now;
    takes.dropped.last_line = census.line;
    takes.dropped.last_value = kept_value(value);
}

}  // namespace

void census_value(Census& census, const ValueFact& fact) {
    if (fact.outcome == ValueOutcome::LostToKept || fact.outcome == ValueOutcome::LostUnnamed) return;
    if (fact.waited) census_value_line(census, fact.line, fact.alternative, fact.labels);
    if (fact.outcome == ValueOutcome::Taken || fact.outcome == ValueOutcome::Continuation) {
        count_value_taken(census, fact.mapping, fact.value, fact.outcome == ValueOutcome::Continuation);
    } else {
        count_value_dropped(census, fact.mapping, fact.value);
    }
}

namespace {

void forget_card_lines(Census& census) {
    census.card_lines.clear();
    census.relabelled = false;
}

}  // namespace

void census_card_begun(Census& census) {
    ++census.card_serial;
    forget_card_lines(census);
    for (MappingTakes& takes : census.takes) {
        takes.filled_now = 0;
        takes.dropped_now = 0;
    }
}

void census_card_ended(Census& census, const CardEnded& card) {
    const std::span<const std::string> values = card.values;
    if (census.decode) count_labelled_lines(census, card.labels);
    for (std::size_t j = 0; j < census.takes.size(); ++j) {
        MappingTakes& takes = census.takes[j];
        if (!values[j].empty()) {
            ++takes.cards_filled;
            if (takes.by_alternative.size() <= takes.alternative_now) {
                takes.by_alternative.resize(takes.alternative_now + 1);
            }
            ++takes.by_alternative[takes.alternative_now];
        }
        if (takes.dropped_now != 0 && takes.cards_dropped++ == 0) {
            takes.dropped_example = takes.dropped;
            takes.dropped_example.card = census.card;
        }
        if (takes.filled_now >= 2 && takes.cards_refilled++ == 0) {
            takes.example = takes.now;
            takes.example.card = census.card;
        }
        // With decoding, values live for one card: the next one begins afresh.
        if (census.decode) {
            takes.filled_now = 0;
            takes.dropped_now = 0;
        }
    }
    forget_card_lines(census);
    ++census.card;
    ++census.card_serial;
}

std::vector<const HeadCount*> heads_by_lines(const Census& census) {
    std::vector<const HeadCount*> heads;
    heads.reserve(census.heads.size());
    // A head whose lines all moved to the type of their Apple label is no longer shown.
    for (const HeadCount& head : census.heads) {
        if (head.lines != 0) heads.push_back(&head);
    }
    std::stable_sort(heads.begin(), heads.end(),
                     [](const HeadCount* a, const HeadCount* b) { return a->lines > b->lines; });
    return heads;
}

}  // namespace quorlan
