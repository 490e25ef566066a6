#include "explain/value_report.h"

#include <algorithm>
#include <map>

#include "diagnose/cards.h"
#include "diagnose/lost_values.h"
#include "diagnose/show.h"
#include "explain/codepage_guess.h"
#include "explain/value_checks.h"
#include "vcard/value_text.h"

namespace quorlan {

namespace {

// The heads listed beside a mapping's kinds of lines end after about this many bytes.
constexpr std::size_t kHeadListBytes = 120;

struct FaultText {
    Fault fault;
    const char* what;     // the warning, after its count
    const char* decoded;  // what DECODE=1 does about it, when it does
};

constexpr FaultText kFaultTexts[] = {
    {Fault::QuotedPrintable, "with quoted-printable text left encoded (such as \"=C3=A1\") or cut at a soft line break (a \"=\" at the end)", "DECODE=1 decodes it"},
    {Fault::Continuation,
     "taken whole from the next line by the \";=\" rule (a quoted-printable line broken after \";\")",
     "DECODE=1 joins the broken line instead"},
    {Fault::Escape, "with vCard escapes left in (\\, \\; \\n, where \";\" shows as a space)",
     "DECODE=1 resolves them"},
    {Fault::Folded, "cut short by a folded line: the line after, which begins with a space or a tab, is lost",
     "DECODE=1 joins folded lines"},
    {Fault::LeadingSpace, "beginning with a space (an empty first component, as in \"N:;Jan\")",
     "DECODE=1 trims it"},
    {Fault::Unconverted,
     "with characters that are not converted to windows-1250 (Cyrillic, Greek, CJK, emoji, the euro sign, "
     "typographic quotes): written as their UTF-8 bytes, which readers show garbled",
     "DECODE=1 writes them right: as their windows-1250 bytes or as character references, or in UTF-8 with UTF8=1"},
    {Fault::Underscored,
     "with UTF-8 letters that windows-1250 lacks (such as A with grave, the pound sign, N with tilde), written as "
     "\"_\"",
     "DECODE=1 writes them right, as character references (\"&#209;\"), or in UTF-8 with UTF8=1"},
    {Fault::Foreign,
     "with 8-bit text that is neither UTF-8 nor likely windows-1250 (another code page, such as windows-1251 "
     "or Shift_JIS): readers show other letters; a CHARSET= parameter on the line would name it, and with "
     "DECODE=1 the line CODEPAGE= of quorlan.ini names it for the whole file",
     nullptr},
    {Fault::Referenced,
     "with characters written as character references (such as \"&#1081;\"): XML readers read them as the "
     "characters, but a device that shows the document's text as it stands shows the reference; UTF8=1 writes "
     "them as UTF-8 (unless folded to ASCII), for devices that read UTF-8",
     nullptr},
};

// Warnings that count lines: the noun in the singular and the plural, then the rest.
struct LineText {
    Fault fault;
    const char* one;
    const char* many;
    const char* what;
    const char* decoded;
};

constexpr LineText kLineTexts[] = {
    {Fault::CardLineCase, "card line", "card lines",
     " in lower or mixed case (\"begin:vcard\", \"End:VCARD\"), which the run does not see as card "
     "lines: a card keeps the values of the card before it, or is not written on its own",
     "DECODE=1 takes them in any case"},
    {Fault::CrLineEnds, "line", "lines",
     " with a CR inside: lines that end in CR alone are read as one line, and no card of them is seen", nullptr},
    {Fault::ByteOrderMark, "first line", "first lines",
     " after a UTF-8 byte-order mark: its \"BEGIN:VCARD\" is not seen, which only matters if that card's values "
     "do not start empty",
     nullptr},
};

void describe_tally(std::string& out, const Tally& tally, const std::string& what, const char* decoded,
                    bool decode_on) {
    out += "  " + std::to_string(tally.count) + " " + what;
    if (decoded != nullptr && !decode_on) out += std::string("; ") + decoded;
    out += "\n";
    for (const std::string& example : tally.examples) out += "    " + example + "\n";
}

// Mappings whose prefix takes lines of different kinds, such as "TEL;WORK" taking both
// "TEL;WORK;VOICE" and "TEL;WORK;FAX": records then mix what the device shows as one.
void describe_mixed_kinds(std::string& out, const Settings& settings, const Census& census) {
    std::size_t lines = 0;
    std::vector<std::string> examples;
    for (std::size_t j = 0; j < settings.mappings.size(); ++j) {
        // Alternatives ("N|FN|ORG") take lines of several kinds on purpose (with DECODE=1).
        if (settings.mappings[j].constant ||
            (settings.decode && settings.mappings[j].prefix.find('|') != std::string::npos)) {
            continue;
        }
        std::map<std::vector<std::string>, std::size_t> kinds;
        std::string heads;
        for (const HeadCount* head : heads_by_lines(census)) {
            if ((head->mappings >> j & 1U) == 0) continue;
            kinds[head_kind(head->head)] += head->taken;
            if (heads.size() < kHeadListBytes) {
                heads += (heads.empty() ? "" : ", ") + in_quotes(head->head) + " (" + std::to_string(head->taken) + ")";
            }
        }
        // A head without types does not make a kind of its own beside typed heads of its property.
        for (auto kind = kinds.begin(); kind != kinds.end();) {
            const bool untyped_beside_typed =
                kind->first.size() == 1 && std::any_of(kinds.begin(), kinds.end(), [&](const auto& other) {
                    return other.first.size() > 1 && other.first[0] == kind->first[0];
                });
            kind = untyped_beside_typed ? kinds.erase(kind) : std::next(kind);
        }
        if (kinds.size() < 2) continue;
        std::size_t most = 0, all = 0;
        for (const auto& [kind, taken] : kinds) {
            most = std::max(most, taken);
            all += taken;
        }
        lines += all - most;
        if (examples.size() < kExamplesShown) examples.push_back(mapping_name(settings, j) + " takes " + heads);
    }
    if (lines == 0) return;
    out += "  " + count_of(lines, "line", "lines") +
           " of another kind than most lines their mapping takes: one prefix takes lines of different kinds, "
           "and a record holds whichever came " + (settings.decode ? "first" : "last") +
           "; give each kind a mapping of its own\n";
    for (const std::string& example : examples) out += "    " + example + "\n";
}

// A declared charset's name in quotes, marked when only its first bytes were kept.
std::string charset_shown(const DeclaredCharset& charset) {
    return in_quotes(charset.name) + (charset.cut ? " (cut)" : "");
}

}  // namespace

void describe_charsets(std::string& out, const ValueChecks& checks) {
    if (checks.charsets.empty()) return;
    out += "\nCharsets card lines declare\n";
    if (checks.text_is_unicode) {
        out += "  " + count_of(checks.charset_lines, "line declares", "lines declare") +
               " a charset, which is not applied: the card file is UTF-16, so its text is Unicode already\n";
        return;
    }
    for (const DeclaredCharset& charset : checks.charsets) {
        out += "  " + charset_shown(charset) + ": " + count_of(charset.lines, "line", "lines") + ", ";
        if (!charset.known) {
            out += "not known here, read as if not declared\n";
        } else if (is_cp932(charset.charset)) {
            out += "decoded as Windows code page 932 (Shift_JIS as phones write it)\n";
        } else {
            out += "decoded\n";
        }
    }
    if (checks.other_charset_lines != 0) {
        out += "  and " + count_of(checks.other_charset_lines, "more line", "more lines") +
               " with other charsets, not listed\n";
    }
}

void describe_undeclared_text(std::string& out, const ValueChecks& checks) {
    if (checks.undeclared_lines == 0) return;
    const Settings& settings = *checks.settings;
    CharsetConverters converters;
    const std::int32_t best = best_codepage(checks.undeclared_sample, converters);
    const std::string name = "windows-" + std::to_string(best);  // the guess is one of 1250 to 1257
    const std::string lines = count_of(checks.undeclared_lines, "line holds", "lines hold");
    if (!settings.decode) {
        // Written as its bytes, windows-1250 text is right as it stands.
        if (best == 0 || best == 1250) return;
        out += "\nText in another code page\n  " + lines + " 8-bit text that is neither UTF-8 nor windows-1250: its "
               "letters fit " + name + " best; with DECODE=1, the line \"CODEPAGE=" + std::to_string(best) +
               "\" reads it\n";
        return;
    }
    out += "\nText that declares no charset\n";
    const std::string read_as = codepage_charset(settings.codepage);
    out += "  " + lines +
           " 8-bit text that is not UTF-8 and declares no charset: read in the one charset its card declares "
           "on another line, else as " +
           (read_as.empty() ? std::string("windows-1250") : read_as + " (CODEPAGE=" + std::to_string(settings.codepage) + ")") +
           "\n";
    if (best == 0) return;
    if (best == settings.codepage || (best == 1250 && settings.codepage == 0)) {
        out += "  its letters fit " + name + " best, which is what it is read as\n";
    } else {
        out += "  its letters fit " + name + " best: add the line \"CODEPAGE=" + std::to_string(best) +
               "\" to quorlan.ini\n";
    }
}

void describe_value_warnings(std::string& out, const ValueChecks& checks, const Census& census,
                             std::size_t cards_ended, const LostValues& lost) {
    const bool decode_on = checks.settings->decode;
    out += "\nValues and lines a run would write wrong\n";
    const std::size_t heading = out.size();
    for (const FaultText& text : kFaultTexts) {
        const Tally& tally = checks.tallies[static_cast<std::size_t>(text.fault)];
        if (tally.count == 0) continue;
        describe_tally(out, tally, std::string(tally.count == 1 ? "value " : "values ") + text.what, text.decoded,
                       decode_on);
    }
    describe_mixed_kinds(out, *checks.settings, census);
    if (lost.count != 0) {
        out += "  " + lost_values_count(lost) +
               " reach no field: a second value where a field takes one, or a kind no field names; to keep them, " +
               lost_values_fix(*checks.settings, lost) + "\n";
        for (const std::string& example : checks.lost) out += "    " + example + "\n";
        if (lost.count > checks.lost.size()) out += "    ...\n";
    }
    for (const DeclaredCharset& charset : checks.charsets) {
        if (charset.known || checks.text_is_unicode) continue;
        out += "  " + count_of(charset.lines, "line declares", "lines declare") + " the charset " +
               charset_shown(charset) + ", which is not known here (first at " + line_label(charset.first_line) +
               "): their values are read as if no charset were declared\n";
    }
    for (const LineText& text : kLineTexts) {
        const Tally& tally = checks.tallies[static_cast<std::size_t>(text.fault)];
        if (tally.count == 0) continue;
        describe_tally(out, tally, std::string(tally.count == 1 ? text.one : text.many) + text.what, text.decoded,
                       decode_on);
    }
    if (cards_ended == 0 && checks.card_lines != 0) {
        out += "  " + count_of(checks.card_lines, "line", "lines") + " but no card in the file: " +
               (decode_on ? "no card ends, so a run fails and leaves the phonebook as it was\n"
                          : "no line begins with \"END:\", so a run writes an empty phonebook\n");
    }
    if (out.size() == heading) out += "  none found\n";
}

}  // namespace quorlan
