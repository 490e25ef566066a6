#include "diagnose/cards.h"

#include <span>
#include <string_view>

#include "diagnose/show.h"

namespace quorlan {

namespace {

// How many of the cards left out are shown one by one.
constexpr std::size_t kCardsShown = 20;

// Why one card was left out, and a value that helps to find it in the card file.
std::string left_out_card(const Settings& settings, std::span<const std::string> values, std::size_t number) {
    std::string reasons;
    std::string other;
    for (std::size_t j = 0; j < settings.mappings.size(); ++j) {
        const FieldMapping& mapping = settings.mappings[j];
        const std::string& value = values[j];
        std::string reason;
        if (mapping.condition == Condition::Required && value.empty()) {
            reason = "Required " + tag(mapping.element) + " is empty";
        } else if (mapping.condition == Condition::Forbidden && !value.empty()) {
            reason = "Forbidden " + tag(mapping.element) + " holds " + value_shown(value);
        } else if (other.empty() && !value.empty()) {
            other = tag(mapping.element) + " " + value_shown(value);
        }
        if (!reason.empty()) reasons += (reasons.empty() ? "" : ", ") + reason;
    }
    return "card " + std::to_string(number) + ": " + reasons +
           (other.empty() ? " (no other value)" : " (with " + other + ")");
}

}  // namespace

CardFileLook look_at_card_file(const LineReader& primed) {
    const std::string_view block(primed.block.get() + primed.begin, primed.end - primed.begin);
    if (block.empty() || (primed.exhausted && block == "\xEF\xBB\xBF")) return CardFileLook::Empty;
    // Its first few KiB tell well enough, and every run pays for the look.
    constexpr std::size_t kLookedAt = 1024;
    const std::string_view first = block.substr(0, kLookedAt);
    std::size_t controls = 0;
    bool blank = block.size() <= kLookedAt;
    for (const char c : first) {
        const auto b = static_cast<unsigned char>(c);
        if (b == 0) return CardFileLook::Binary;
        const bool space = b == ' ' || b == '\t' || b == '\r' || b == '\n';
        blank = blank && space;
        if ((b < 0x20 && !space && b != '\f') || b == 0x7F) ++controls;
    }
    if (blank && primed.exhausted) return CardFileLook::Blank;
    // Text has hardly any control characters; images, archives and documents of other
    // programs are full of them.
    return controls * 32 > first.size() ? CardFileLook::Binary : CardFileLook::Text;
}

std::string unfinished_card(const ConversionResult& result) {
    if (result.unfinished_card_line == 0) return {};
    std::string text = "the card begun on line " + std::to_string(result.unfinished_card_line);
    // The name is text, decoded: its letters are shown as they are.
    if (!result.unfinished_card_name.empty()) text += ", \"" + terminal_name(result.unfinished_card_name) + "\",";
    return text + " has no END: line";
}

std::string why_no_card(CardFileLook look, const ConversionResult& result) {
    switch (look) {
        case CardFileLook::Empty: return "it is empty";
        case CardFileLook::Blank: return "it holds only blank lines";
        case CardFileLook::Binary: return "it holds binary data, not text: is it a vCard file?";
        case CardFileLook::Text: break;
    }
    if (result.cards_begun == 0) return "it holds text, but no line begins with BEGIN:VCARD: is it a vCard file?";
    if (const std::string unfinished = unfinished_card(result); !unfinished.empty()) {
        return unfinished + ": was the export cut off?";
    }
    return "no card in it has an END: line";
}

CardWatch make_card_watch(const Settings& settings) {
    CardWatch watch;
    watch.settings = &settings;
    watch.required_empty.resize(settings.mappings.size());
    watch.forbidden_filled.resize(settings.mappings.size());
    watch.filled_written.resize(settings.mappings.size());
    return watch;
}

void note_card_begun(CardWatch& watch) {
    ++watch.begun;
    watch.begun_since_end = true;
}

void note_card_ended(CardWatch& watch, const CardEnded& card) {
    const bool written = card.written;
    ++watch.ended;
    if (!watch.begun_since_end) ++watch.ended_without_begin;
    watch.begun_since_end = false;
    if (!written && watch.first_left_out.size() < kCardsShown) {
        watch.first_left_out.push_back(left_out_card(*watch.settings, card.values, watch.ended));
    }
    const std::vector<FieldMapping>& mappings = watch.settings->mappings;
    for (std::size_t j = 0; j < mappings.size(); ++j) {
        const bool empty = card.values[j].empty();
        if (written) {
            watch.filled_written[j] += empty ? 0 : 1;
        } else if (mappings[j].condition == Condition::Required) {
            watch.required_empty[j] += empty ? 1 : 0;
        } else if (mappings[j].condition == Condition::Forbidden) {
            watch.forbidden_filled[j] += empty ? 0 : 1;
        }
    }
}

std::string commonest_reason(const Settings& settings, const CardWatch& watch) {
    std::string reason;
    std::size_t most = 0;
    for (std::size_t j = 0; j < settings.mappings.size(); ++j) {
        if (watch.required_empty[j] > most) {
            most = watch.required_empty[j];
            reason = "Required " + tag(settings.mappings[j].element) + " was empty";
        }
        if (watch.forbidden_filled[j] > most) {
            most = watch.forbidden_filled[j];
            reason = "Forbidden " + tag(settings.mappings[j].element) + " was filled";
        }
    }
    if (most == 0) return {};
    return reason + " in " + std::to_string(most) + " of them";
}

std::string mapping_name(const Settings& settings, std::size_t j) {
    return "mapping " + std::to_string(j + 1) + " " + tag(settings.mappings[j].element);
}

namespace {

// Why the cards left out were left out, and the first few of them.
void describe_left_out(std::string& out, const Settings& settings, const CardWatch& watch, std::size_t left_out) {
    out += "  why (a card left out counts once for each reason it has):\n";
    for (std::size_t j = 0; j < settings.mappings.size(); ++j) {
        if (watch.required_empty[j] != 0) {
            out += "    Required " + mapping_name(settings, j) +
                   " found empty: " + std::to_string(watch.required_empty[j]) + "\n";
        }
        if (watch.forbidden_filled[j] != 0) {
            out += "    Forbidden " + mapping_name(settings, j) +
                   " found filled: " + std::to_string(watch.forbidden_filled[j]) + "\n";
        }
    }
    out += left_out > kCardsShown ? "  the first " + std::to_string(kCardsShown) + " cards left out"
                                  : std::string("  the cards left out");
    out += ", numbered as seen:\n";
    for (const std::string& card : watch.first_left_out) out += "    " + card + "\n";
}

}  // namespace

void describe_cards(std::string& out, const Settings& settings, const DocumentNames& names,
                    const ConversionResult& result, const CardWatch& watch) {
    out += "\nCards in " + in_quotes(names.input_file) + "\n";
    if (watch.encoding != nullptr) {
        out += std::string("  the file is ") + watch.encoding + ", converted to UTF-8 as it is read\n";
    }
    out += "  cards seen (lines beginning with \"END:\"): " + std::to_string(result.cards_ended) + "\n";
    out += "  lines beginning with \"BEGIN:VCARD\": " + std::to_string(watch.begun) + "\n";
    if (result.embedded_cards != 0) {
        out += "  cards embedded in an AGENT line of another card: " + std::to_string(result.embedded_cards) +
               " (part of that card's value: they feed no field and end no card)\n";
    }
    if (watch.ended_without_begin != 0) {
        out += "  cards without a \"BEGIN:VCARD\" line of their own: " +
               std::to_string(watch.ended_without_begin) + " (they keep the values that were current)\n";
    }
    out += "  records a run would write: " + std::to_string(result.records_written) + "\n";
    const std::size_t left_out = result.cards_ended - result.records_written;
    out += "  cards left out: " + std::to_string(left_out) + "\n";
    if (const std::string unfinished = unfinished_card(result); !unfinished.empty() && result.cards_ended != 0) {
        out += "  " + unfinished + " before the file ends: a run leaves it out, and warns (was the export cut off?)\n";
    }
    if (settings.decode && result.cards_ended == 0) {
        out += "  no card ended: a run fails and leaves the phonebook as it was (" + why_no_card(watch.look, result) +
               ")\n";
    }
    if (result.cards_ended != 0 && result.records_written == 0) {
        out += "  no card passes the filter: a run writes a phonebook without records, and warns (" +
               commonest_reason(settings, watch) + ")\n";
    }
    if (left_out != 0) describe_left_out(out, settings, watch, left_out);
    if (settings.mappings.empty()) {
        out += "  no mappings: every record is written without elements\n";
        return;
    }
    out += "  written records in which the value is not empty:\n";
    for (std::size_t j = 0; j < settings.mappings.size(); ++j) {
        out += "    " + mapping_name(settings, j) + ": " + std::to_string(watch.filled_written[j]) + " of " +
               std::to_string(result.records_written) + "\n";
    }
}

}  // namespace quorlan
