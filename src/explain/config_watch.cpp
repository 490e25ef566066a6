#include "explain/config_watch.h"

#include "diagnose/show.h"
#include "text/line_reader.h"
#include "text/text_ops.h"

namespace quorlan {

namespace {

bool is_setting(LineKind kind) {
    return kind == LineKind::InputName || kind == LineKind::OutputName || kind == LineKind::FoldSwitch ||
           kind == LineKind::DecodeSwitch || kind == LineKind::Utf8Switch ||
           kind == LineKind::CodepageSwitch;
}

// Where a line goes once many are kept: a setting line replaces an earlier one of its kind
// that was itself kept past the cap, since only the last of a kind counts.
SeenLine* slot_past_cap(ConfigWatch& watch, const SeenLine& line) {
    const bool decides = line.read && (line.config.kind == LineKind::Mapping || line.beyond_limit ||
                                       is_setting(line.config.kind));
    if (!decides) return nullptr;
    if (is_setting(line.config.kind)) {
        for (SeenLine& kept : watch.lines) {
            if (kept.past_cap && kept.config.kind == line.config.kind) return &kept;
        }
    }
    return &watch.lines.emplace_back();
}

void place_line(ConfigWatch& watch, std::string_view as_read, bool continues, SeenLine line) {
    line.number = watch.number;
    line.part = continues && watch.part == 0 ? 1 : watch.part;
    if (continues) {
        watch.part = line.part + 1;
    } else {
        ++watch.number;
        watch.part = 0;
    }
    if (line.part <= 1) ++(line.read ? watch.lines_read : watch.lines_not_read);
    SeenLine* slot = &line;
    if (watch.lines.size() < kConfigLinesKept) {
        slot = &watch.lines.emplace_back();
    } else {
        line.past_cap = true;
        slot = slot_past_cap(watch, line);
        if (slot == nullptr) {
            ++watch.lines_not_kept;
            return;
        }
    }
    *slot = std::move(line);
    slot->text = as_read;
    trim_line_end(slot->text);
}

}  // namespace

void watch_config_line(ConfigWatch& watch, std::string_view as_read, const ConfigLine& config, bool beyond_limit,
                       bool line_goes_on) {
    SeenLine line;
    line.config = config;
    line.beyond_limit = beyond_limit;
    place_line(watch, as_read, line_goes_on, std::move(line));
}

// The run reads no further; the rest is read here only to be counted and shown as not read.
void watch_config_rest(ConfigWatch& watch, LineReader& rest) {
    std::string text;
    while (read_line(rest, text)) {
        SeenLine line;
        line.read = false;
        place_line(watch, text, rest.line_goes_on, std::move(line));
    }
}

std::string where(const SeenLine& line) {
    std::string label = line_label(line.number);
    if (line.part != 0) label += " (part " + std::to_string(line.part) + ")";
    return label;
}

bool is_stored(const SeenLine& line) {
    return line.read && !line.beyond_limit && line.config.kind == LineKind::Mapping;
}

std::vector<const SeenLine*> mapping_lines(const ConfigWatch& watch) {
    std::vector<const SeenLine*> lines;
    for (const SeenLine& line : watch.lines) {
        if (is_stored(line)) lines.push_back(&line);
    }
    return lines;
}

const SeenLine* last_of(const ConfigWatch& watch, LineKind kind) {
    const SeenLine* last = nullptr;
    for (const SeenLine& line : watch.lines) {
        if (line.read && line.config.kind == kind) last = &line;
    }
    return last;
}

std::string_view written_element(const SeenLine& line) {
    return std::string_view(line.text).substr(0, line.text.find('='));
}

}  // namespace quorlan
