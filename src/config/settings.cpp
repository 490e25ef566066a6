#include "config/settings.h"

#include <algorithm>
#include <limits>

#include "text/text_ops.h"

namespace quorlan {

namespace {

FieldMapping parse_mapping(std::string_view line, std::size_t equals) {
    FieldMapping mapping;
    mapping.element = left_text(line, equals);
    trim_line_end(mapping.element);
    // Markers are taken from anywhere in the name, after the trim: "TEL #" keeps its space.
    for (std::size_t at = mapping.element.find(kListMarker); at != std::string::npos;
         at = mapping.element.find(kListMarker)) {
        mapping.element.erase(at, kListMarker.size());
        mapping.list = true;
    }
    if (mapping.element.find('#') != std::string::npos) {
        remove_char(mapping.element, '#');
        mapping.phone = true;
    }
    if (mapping.element.find('*') != std::string::npos) {
        remove_char(mapping.element, '*');
        mapping.condition = Condition::Required;
    }
    if (mapping.element.find('-') != std::string::npos) {
        remove_char(mapping.element, '-');
        mapping.condition = Condition::Forbidden;
    }
    // Kept whole here: it is cut to kMaxPrefixBytes only when the whole file has been read
    // and the decoding switch is off (see cut_prefixes).
    mapping.prefix = line.substr(equals + 1);
    trim_line_end(mapping.prefix);
    mapping.constant = is_constant_element(mapping.element);
    return mapping;
}

bool is_c_space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Byte prefixes keep their first 20 bytes. When decoding, a prefix names a property and is
// kept whole: cut, "N;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE" would be a head no line has.
// The switch may stand after the mappings, so this waits for the end of the file.
void cut_prefixes(Settings& settings) {
    if (settings.decode) return;
    for (FieldMapping& mapping : settings.mappings) {
        if (mapping.prefix.size() <= kMaxPrefixBytes) continue;
        mapping.prefix.resize(kMaxPrefixBytes);
        trim_line_end(mapping.prefix);
    }
}

}  // namespace

SwitchNumber parse_switch_number(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && is_c_space(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    std::int64_t magnitude = 0;
    SwitchNumber number;
    number.given = i < text.size() && text[i] >= '0' && text[i] <= '9';
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        magnitude = magnitude * 10 + (text[i] - '0');
        if (magnitude > kLimit) magnitude = kLimit;
    }
    if (negative) {
        number.value = static_cast<std::int32_t>(-magnitude);
    } else {
        constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
        number.value = static_cast<std::int32_t>(std::min(magnitude, kMax));
    }
    return number;
}

bool is_constant_element(std::string_view element) {
    std::string upper(element);
    to_upper_ascii(upper);
    return find_text(upper, kConstantMarker, 0) >= 0;
}

namespace {

// Finds the switch `keyword` in `upper` and reads its number into `config`.
bool read_switch(std::string_view upper, std::string_view keyword, LineKind kind, ConfigLine& config) {
    const auto at = find_text(upper, keyword, 0);
    if (at < 0) return false;
    const SwitchNumber number = parse_switch_number(upper.substr(static_cast<std::size_t>(at) + keyword.size()));
    config.kind = kind;
    config.number = number.value;
    config.number_given = number.given;
    return true;
}

}  // namespace

ConfigLine classify_config_line(std::string_view line) {
    ConfigLine result;
    std::string upper(line);
    to_upper_ascii(upper);
    // Before the file names: "TEMPLATE=phones/cisco.xml.mustache" names no output file.
    if (upper.starts_with(kTemplateKeyword)) {
        result.kind = LineKind::TemplateName;
        result.name = line.substr(kTemplateKeyword.size());
        trim_line_end(result.name);
        return result;
    }
    // Before the file names too: a URL may hold ".vcf" or ".xml".
    if (is_carddav_line(line)) {
        result.kind = LineKind::CarddavLine;
        result.name = line;
        return result;
    }
    // An address ends in ".xml" too.
    if (upper.starts_with(kPhonebookUrlKeyword)) {
        result.kind = LineKind::PhonebookUrl;
        result.name = line.substr(kPhonebookUrlKeyword.size());
        trim_line_end(result.name);
        return result;
    }
    if (const auto p = find_text(upper, ".VCF", 0); p >= 0) {
        result.kind = LineKind::InputName;
        result.name = left_text(line, static_cast<std::size_t>(p));
    } else if (const auto q = find_text(upper, ".XML", 0); q >= 0) {
        result.kind = LineKind::OutputName;
        result.name = left_text(line, static_cast<std::size_t>(q));
    } else if (read_switch(upper, kFoldKeyword, LineKind::FoldSwitch, result) ||
               read_switch(upper, kDecodeKeyword, LineKind::DecodeSwitch, result) ||
               // Not "ENCODING=": vCard prefixes such as "N;ENCODING=QUOTED-PRINTABLE" hold it.
               read_switch(upper, kUtf8Keyword, LineKind::Utf8Switch, result) ||
               read_switch(upper, kCodepageKeyword, LineKind::CodepageSwitch, result)) {
    } else if (const auto e = find_text(line, "=", 0); e >= 0) {
        result.kind = LineKind::Mapping;
        result.mapping = parse_mapping(line, static_cast<std::size_t>(e));
    }
    return result;
}

Settings read_settings(LineReader& reader, const ConfigObserver& observer) {
    Settings settings;
    std::string line;
    std::string as_read;
    std::size_t number = 0;
    while (read_line(reader, line)) {
        if (reader.began_line) ++number;
        if (observer.line_read) as_read = line;
        trim_line_end(line);
        ConfigLine config = classify_config_line(line);
        // A mapping beyond the limit ends the reading: nothing after it counts.
        const bool beyond_limit =
            config.kind == LineKind::Mapping && settings.mappings.size() == kMaxMappings;
        if (observer.line_read) observer.line_read(as_read, config, beyond_limit, reader.line_goes_on);
        if (beyond_limit) {
            if (observer.stopped) observer.stopped(reader);
            cut_prefixes(settings);
            return settings;
        }
        switch (config.kind) {
            case LineKind::InputName: settings.input_base = std::move(config.name); break;
            case LineKind::OutputName: settings.output_base = std::move(config.name); break;
            case LineKind::FoldSwitch: settings.fold_ascii = config.number != 0; break;
            case LineKind::DecodeSwitch: settings.decode = config.number != 0; break;
            case LineKind::Utf8Switch: settings.utf8 = config.number != 0; break;
            case LineKind::CodepageSwitch: settings.codepage = config.number; break;
            case LineKind::Mapping:
                config.mapping.line = number;
                settings.mappings.push_back(std::move(config.mapping));
                break;
            case LineKind::TemplateName: settings.template_name = std::move(config.name); break;
            case LineKind::CarddavLine: apply_carddav_line(config.name, settings.carddav); break;
            case LineKind::PhonebookUrl: settings.phonebook_url = std::move(config.name); break;
            case LineKind::Ignored: break;
        }
    }
    cut_prefixes(settings);
    return settings;
}

}  // namespace quorlan
