// Micro-benchmarks of the per-line work: reading lines (copied and as views), UTF-8
// decoding, folding, capture with 8 and with 50 mappings, value clean-up, record output,
// and the whole conversion in memory beside the plain line scan that is its floor.
// Run by hand (build with -DQUORLAN_BENCH=ON); never part of the tests.
#include <benchmark/benchmark.h>

#include <array>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "charset/cp1250.h"
#include "config/settings.h"
#include "convert/capture.h"
#include "convert/record.h"
#include "convert/document.h"
#include "convert/phone.h"
#include "text/line_reader.h"
#include "vcard/decode.h"
#include "vcard/logical_lines.h"
#include "test_support.h"

namespace {

using namespace quorlan;

using test_support::memory_sink;

// The configuration that bench/compare uses.
constexpr std::string_view kEightMappings =
    "bench.vcf\r\nbench.xml\r\nASCII=1\r\nNAME*=N:\r\nMOBILE#=TEL;TYPE=CELL\r\n"
    "WORK#=TEL;TYPE=WORK\r\nINTERN-=TITLE:Intern\r\nSOURCE_IDENT=bench\r\nFULL=FN:\r\n"
    "COMPANY=ORG:\r\nNOTE=NOTE:\r\n";

constexpr std::string_view kCard =
    "BEGIN:VCARD\r\n"
    "VERSION:3.0\r\n"
    "N:Dvořák;Růžena;;;\r\n"
    "FN:Růžena Dvořák\r\n"
    "ORG:Stavby Morava s.r.o.;Obchod\r\n"
    "TITLE:Obchodní ředitel\r\n"
    "TEL;TYPE=CELL:+420603123456\r\n"
    "TEL;TYPE=WORK,VOICE:+420 222 123 456\r\n"
    "EMAIL;TYPE=INTERNET:ruzena.dvorak@example.cz\r\n"
    "ADR;TYPE=WORK:;;Šumavská 1420/3;Brno;;60200;Česká republika\r\n"
    "NOTE:Volat až po 17:00,   nejlépe   mobil\r\n"
    "END:VCARD\r\n";

// Bytes or items of all iterations, for the rates that the report shows.
std::int64_t per_iteration(const benchmark::State& state, std::size_t count) {
    return state.iterations() * static_cast<std::int64_t>(count);
}

Settings settings_from(std::string_view text) {
    LineReader reader = make_line_reader(memory_source(text));
    return read_settings(reader);
}

// Fifty mappings; the ones that match the card's lines come last, so every line is
// compared with all the others first.
Settings fifty_mappings() {
    std::string text = "bench.vcf\nbench.xml\nASCII=1\n";
    for (int i = 0; i < 42; ++i) {
        text += "UNUSED" + std::to_string(i) + "=" + (i % 2 == 0 ? "NICKNAME" : "TEL;TYPE=FAX") +
                std::to_string(i) + "\n";
    }
    text += "NAME*=N:\nMOBILE#=TEL;TYPE=CELL\nWORK#=TEL;TYPE=WORK\nINTERN-=TITLE:Intern\n"
            "SOURCE_IDENT=bench\nFULL=FN:\nCOMPANY=ORG:\nNOTE=NOTE:\n";
    return settings_from(text);
}

// The card's lines as the capture sees them: line ends trimmed, decoded and folded.
std::vector<std::string> card_lines() {
    std::vector<std::string> lines;
    std::string_view rest = kCard;
    while (!rest.empty()) {
        const std::size_t end = rest.find("\r\n");
        std::string line(rest.substr(0, end));
        utf8_to_cp1250(line);
        fold_to_ascii(line);
        lines.push_back(line);
        rest.remove_prefix(end + 2);
    }
    return lines;
}

std::string base64_line(std::size_t length) {
    constexpr std::string_view kBase64 =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string line;
    for (std::size_t i = 0; i < length; ++i) line += kBase64[(i * 7919) % kBase64.size()];
    return line;
}

// About `bytes` of cards, every twentieth with a 16 000-byte photo line.
std::string document(std::size_t bytes) {
    std::string text;
    const std::string photo = "PHOTO;ENCODING=b;TYPE=JPEG:" + base64_line(16000) + "\r\n";
    for (std::size_t card = 0; text.size() < bytes; ++card) {
        text += kCard.substr(0, kCard.size() - 11);
        if (card % 20 == 19) text += photo;
        text += "END:VCARD\r\n";
    }
    return text;
}

void capture_card(benchmark::State& state, const Settings& settings) {
    const std::vector<std::string> lines = card_lines();
    const PrefixIndex index = make_prefix_index(settings);
    CardState card = make_card_state(settings);
    std::string_view nothing;
    LineReader input = make_line_reader(memory_source(nothing));
    std::string line;
    line.reserve(kLineBufferSize);
    auto next_line = [&input](std::string& continuation) { read_line(input, continuation); };
    for (auto _ : state) {
        for (const std::string& text : lines) {
            line = text;
            capture_values(std::string_view(line), line, next_line, settings, index, card);
        }
        benchmark::DoNotOptimize(card.values.data());
    }
    state.SetItemsProcessed(per_iteration(state, lines.size()));
}

void BM_CaptureEightMappings(benchmark::State& state) {
    capture_card(state, settings_from(kEightMappings));
}
BENCHMARK(BM_CaptureEightMappings);

void BM_CaptureFiftyMappings(benchmark::State& state) { capture_card(state, fifty_mappings()); }
BENCHMARK(BM_CaptureFiftyMappings);

// Times an in-place line operation on a fresh copy of `source` each time round.
void run_on_copies(benchmark::State& state, const std::string& source, void (*operation)(std::string&)) {
    std::string line;
    for (auto _ : state) {
        line = source;
        operation(line);
        benchmark::DoNotOptimize(line.data());
    }
    state.SetBytesProcessed(per_iteration(state, source.size()));
}

void BM_Utf8DecodeNames(benchmark::State& state) {
    run_on_copies(state, "N:Dvořák;Růžena;Łukasz Wiśniewski;Győző Szőke;Jürgen Größer", utf8_to_cp1250);
}
BENCHMARK(BM_Utf8DecodeNames);

void BM_Utf8DecodeBase64(benchmark::State& state) {
    run_on_copies(state, base64_line(kMaxLineBytes), utf8_to_cp1250);
}
BENCHMARK(BM_Utf8DecodeBase64);

void BM_FoldToAscii(benchmark::State& state) {
    std::string source = "N:Dvořák;Růžena;Łukasz Wiśniewski;Győző Szőke;Jürgen Größer";
    utf8_to_cp1250(source);
    run_on_copies(state, source, fold_to_ascii);
}
BENCHMARK(BM_FoldToAscii);

void BM_WriteRecord(benchmark::State& state) {
    const Settings settings = settings_from(kEightMappings);
    const PrefixIndex index = make_prefix_index(settings);
    CardState card = make_card_state(settings);
    std::string_view nothing;
    LineReader input = make_line_reader(memory_source(nothing));
    auto next_line = [&input](std::string& continuation) { read_line(input, continuation); };
    for (std::string line : card_lines()) {
        capture_values(std::string_view(line), line, next_line, settings, index, card);
    }
    const CardState captured = card;
    std::string out;
    const RecordFinishing finishing = make_record_finishing(settings, PhoneGrouping::Fixed);
    RecordForm form = make_record_form(settings, "bench");
    const DocumentForm document = document_form(form);
    for (auto _ : state) {
        card = captured;
        out.clear();
        if (finish_record(finishing, card)) document.record(card, out);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_WriteRecord);

void BM_ReadLines(benchmark::State& state) {
    const std::string text = document(std::size_t{2} << 20);
    std::string line;
    line.reserve(kLineBufferSize);
    for (auto _ : state) {
        std::string_view rest = text;
        LineReader reader = make_line_reader(memory_source(rest));
        while (read_line(reader, line)) benchmark::DoNotOptimize(line.data());
    }
    state.SetBytesProcessed(per_iteration(state, text.size()));
}
BENCHMARK(BM_ReadLines);

// The lines as views into the read block, as the conversion reads them without DECODE=1.
void BM_ReadLineViews(benchmark::State& state) {
    const std::string text = document(std::size_t{2} << 20);
    std::string_view line;
    for (auto _ : state) {
        std::string_view rest = text;
        LineReader reader = make_line_reader(memory_source(rest));
        while (read_line_view(reader, line)) benchmark::DoNotOptimize(line.data());
    }
    state.SetBytesProcessed(per_iteration(state, text.size()));
}
BENCHMARK(BM_ReadLineViews);

// The floor of any line-oriented converter, as bench/floor.cpp measures it on files: line
// ends found with memchr, the first byte tested against a table, the lines that pass copied.
void BM_PlainLineScan(benchmark::State& state) {
    const std::string text = document(std::size_t{2} << 20);
    std::array<bool, 256> leading{};
    for (const char c : std::string_view("NTFOBE")) leading[static_cast<unsigned char>(c)] = true;
    std::string out;
    for (auto _ : state) {
        out.clear();
        const char* p = text.data();
        const char* const end = p + text.size();
        while (p < end) {
            const void* lf = std::memchr(p, '\n', static_cast<std::size_t>(end - p));
            const char* const next = lf == nullptr ? end : static_cast<const char*>(lf) + 1;
            if (leading[static_cast<unsigned char>(*p)]) out.append(p, next);
            p = next;
        }
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(per_iteration(state, text.size()));
}
BENCHMARK(BM_PlainLineScan);

// The clean-up of captured values: ";" to space, trimming, runs of spaces collapsed.
void BM_CleanValue(benchmark::State& state) {
    const std::vector<std::string> values = {"Dvo\xF8\xE1k;R\xF9\xBE" "ena;;;", "+420 222 123 456",
                                             ";;\x8A" "umavsk\xE1 1420/3;Brno;;60200;\xC8" "esk\xE1 republika",
                                             "Volat a\x9E po 17:00,   nejl\xE9pe   mobil  "};
    std::size_t bytes = 0;
    for (const std::string& value : values) bytes += value.size();
    std::string value;
    for (auto _ : state) {
        for (const std::string& source : values) {
            value = source;
            clean_value(value);
            benchmark::DoNotOptimize(value.data());
        }
    }
    state.SetBytesProcessed(per_iteration(state, bytes));
}
BENCHMARK(BM_CleanValue);

// The same for decoded values, escapes and all, and the grouping of decoded numbers.
void BM_CleanDecodedValue(benchmark::State& state) {
    const std::vector<std::string> values = {"Dvo\xC5\x99\xC3\xA1k;R\xC5\xAF\xC5\xBE" "ena;;;", "+420 222 123 456",
                                             ";;\xC5\xA0umavsk\xC3\xA1 1420/3;Brno;;60200",
                                             "Volat a\xC5\xBE po 17:00\\,   nejl\xC3\xA9pe   mobil  "};
    std::size_t bytes = 0;
    for (const std::string& value : values) bytes += value.size();
    std::string value;
    for (auto _ : state) {
        for (const std::string& source : values) {
            value = source;
            clean_decoded_value(value);
            benchmark::DoNotOptimize(value.data());
        }
    }
    state.SetBytesProcessed(per_iteration(state, bytes));
}
BENCHMARK(BM_CleanDecodedValue);

void BM_GroupDecodedPhone(benchmark::State& state) {
    const std::vector<std::string> numbers = {"+420603123456", "+49 723 397 949", "+1 (212) 555-0100 ext. 12",
                                              "+36 092 811 256"};
    std::string number;
    for (auto _ : state) {
        for (const std::string& source : numbers) {
            number = source;
            benchmark::DoNotOptimize(group_decoded_phone(number));
        }
    }
}
BENCHMARK(BM_GroupDecodedPhone);

// The same text in logical vCard lines, as DECODE=1 reads it.
void BM_ReadLogicalLines(benchmark::State& state) {
    const std::string text = document(std::size_t{2} << 20);
    std::string_view line;
    std::size_t number = 0;
    for (auto _ : state) {
        std::string_view rest = text;
        LineReader input = make_line_reader(memory_source(rest));
        LogicalLineReader reader = make_logical_line_reader(input);
        while (read_logical_line_view(reader, line, number)) benchmark::DoNotOptimize(line.data());
    }
    state.SetBytesProcessed(per_iteration(state, text.size()));
}
BENCHMARK(BM_ReadLogicalLines);

// The whole conversion without files: reading, decoding, folding, capture and output;
// with the argument 1, as DECODE=1 reads the card file.
void BM_ConvertDocument(benchmark::State& state) {
    Settings settings = settings_from(kEightMappings);
    settings.decode = state.range(0) != 0;
    const std::string text = document(std::size_t{2} << 20);
    std::string out;
    for (auto _ : state) {
        std::string_view rest = text;
        LineReader reader = make_line_reader(memory_source(rest));
        out.clear();
        convert_document(settings, "bench", reader, memory_sink(out));
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(per_iteration(state, text.size()));
}
BENCHMARK(BM_ConvertDocument)->Arg(0)->Arg(1);

}  // namespace
