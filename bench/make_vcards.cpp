// Writes a deterministic vCard 3.0 file of about a given size for the benchmarks: cards of
// Czech, Slovak, Polish, German and Hungarian contacts in UTF-8 with CR LF line ends, two
// international phone numbers each, a note with runs of spaces, and on every twentieth
// card an inline base64 photo of 3 000 to 30 000 bytes on one line.
//
//   quorlan_make_vcards OUTPUT [BYTES [SEED]]
//
// Cards are written until the file holds at least BYTES bytes (default 200 MB); the
// same BYTES and SEED give the same file on every machine and library version, because
// the random numbers come from a fixed generator and never from <random> distributions.
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

// SplitMix64: small, fast and fully specified, so the file is the same everywhere.
struct Random {
    std::uint64_t state;
    std::uint64_t next() {
        std::uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    // A number in [0, n); the slight bias of the modulo doesn't matter here.
    std::size_t below(std::size_t n) { return static_cast<std::size_t>(next() % n); }
    std::size_t between(std::size_t low, std::size_t high) { return low + below(high - low + 1); }
};

// A name as written in the card and as it appears in a mail address.
struct Name {
    std::string_view text;
    std::string_view ascii;
};

struct Language {
    std::array<Name, 8> given;
    std::array<Name, 8> family;
    std::array<std::string_view, 4> companies;
    std::array<std::string_view, 4> titles;
    std::array<std::string_view, 3> streets;
    std::array<std::string_view, 3> cities;
    std::string_view country;
    std::string_view domain;
    std::string_view calling_code;  // with "+"
};

// clang-format off
constexpr std::array<Language, 5> kLanguages = {{
    {{{{"Jiří", "jiri"}, {"Tomáš", "tomas"}, {"Lukáš", "lukas"}, {"Kateřina", "katerina"},
       {"Věra", "vera"}, {"Růžena", "ruzena"}, {"Zdeněk", "zdenek"}, {"Tereza", "tereza"}}},
     {{{"Novák", "novak"}, {"Dvořák", "dvorak"}, {"Černý", "cerny"}, {"Procházka", "prochazka"},
       {"Kučerová", "kucerova"}, {"Němec", "nemec"}, {"Šťastný", "stastny"}, {"Žďárský", "zdarsky"}}},
     {"Stavby Morava s.r.o.;Obchod", "Žlutý kůň a.s.", "Pekařství U Dvořáků", "Česká účetní v.o.s."},
     {"Obchodní ředitel", "Účetní", "Intern", "Vedoucí skladu"},
     {"Dlouhá 12", "Náměstí Míru 7", "Šumavská 1420/3"},
     {"Praha", "Brno", "České Budějovice"},
     "Česká republika", "example.cz", "+420"},
    {{{{"Ľubomír", "lubomir"}, {"Ján", "jan"}, {"Mária", "maria"}, {"Ľudmila", "ludmila"},
       {"Štefan", "stefan"}, {"Ondrej", "ondrej"}, {"Zuzana", "zuzana"}, {"Dušan", "dusan"}}},
     {{{"Kováč", "kovac"}, {"Horváthová", "horvathova"}, {"Varga", "varga"}, {"Ďurišová", "durisova"},
       {"Šťastná", "stastna"}, {"Ľupták", "luptak"}, {"Baláž", "balaz"}, {"Hríbik", "hribik"}}},
     {"Tatra Soft a.s.", "Považské strojárne;Údržba", "Kováč & syn s.r.o.", "Ďumbier <Tours>"},
     {"Vedúci oddelenia", "Intern", "Technik", "Predajca"},
     {"Hlavná 5", "Štúrova 22", "Ružová dolina 14"},
     {"Bratislava", "Košice", "Žilina"},
     "Slovensko", "example.sk", "+421"},
    {{{{"Łukasz", "lukasz"}, {"Paweł", "pawel"}, {"Małgorzata", "malgorzata"}, {"Józef", "jozef"},
       {"Zofia", "zofia"}, {"Wojciech", "wojciech"}, {"Agnieszka", "agnieszka"}, {"Bożena", "bozena"}}},
     {{{"Wiśniewski", "wisniewski"}, {"Wójcik", "wojcik"}, {"Kamińska", "kaminska"}, {"Lewandowski", "lewandowski"},
       {"Zieliński", "zielinski"}, {"Woźniak", "wozniak"}, {"Dąbrowski", "dabrowski"}, {"Łęcka", "lecka"}}},
     {"Łódź Logistics Sp. z o.o.", "Piekarnia Żabka", "Gdańskie Stocznie S.A.;Dział IT", "Kraków Śląsk"},
     {"Kierownik działu", "Księgowa", "Intern", "Specjalista ds. sprzedaży"},
     {"ul. Piękna 3", "ul. Świętokrzyska 11", "al. Jerozolimskie 44"},
     {"Warszawa", "Łódź", "Wrocław"},
     "Polska", "example.pl", "+48"},
    {{{{"Jürgen", "juergen"}, {"Björn", "bjoern"}, {"Käthe", "kaethe"}, {"Günther", "guenther"},
       {"Uwe", "uwe"}, {"Sören", "soeren"}, {"Jörg", "joerg"}, {"Hannelore", "hannelore"}}},
     {{{"Müller", "mueller"}, {"Schröder", "schroeder"}, {"Weiß", "weiss"}, {"Größer", "groesser"},
       {"Bäcker", "baecker"}, {"Köhler", "koehler"}, {"Fußmann", "fussmann"}, {"Krüger", "krueger"}}},
     {"Bäckerei Größer GmbH", "Müller & Söhne KG", "Süddeutsche Öl AG;Einkauf", "Weiß Baustoffe"},
     {"Geschäftsführer", "Sachbearbeiterin", "Intern", "Außendienst"},
     {"Hauptstraße 1", "Schloßallee 17", "Königsweg 9"},
     {"München", "Köln", "Görlitz"},
     "Deutschland", "example.de", "+49"},
    {{{{"Gergő", "gergo"}, {"Zoltán", "zoltan"}, {"Erzsébet", "erzsebet"}, {"Ödön", "odon"},
       {"Tünde", "tunde"}, {"Dániel", "daniel"}, {"Győző", "gyozo"}, {"Csilla", "csilla"}}},
     {{{"Kovács", "kovacs"}, {"Szabó", "szabo"}, {"Horváth", "horvath"}, {"Bíró", "biro"},
       {"Győri", "gyori"}, {"Szőke", "szoke"}, {"Fülöp", "fulop"}, {"Lőrinc", "lorinc"}}},
     {"Győri Keksz Kft.", "Szőke és Társa Bt.", "Magyar Űrkutatás Zrt.;Műszaki", "Tiszai Vegyi"},
     {"Mérnök", "Könyvelő", "Intern", "Ügyvezető"},
     {"Fő utca 2", "Kossuth Lajos út 15", "Petőfi tér 8"},
     {"Budapest", "Győr", "Pécs"},
     "Magyarország", "example.hu", "+36"},
}};

constexpr std::array<std::string_view, 6> kNotes = {
    "Volat až po 17:00,   nejlépe   mobil",
    "Spotkanie    w czwartek;   przynieść  umowę",
    "Rückruf    erwünscht  -   bitte   nicht    vor 9 Uhr",
    "Megbízható     partner,  számla  havonta",
    "     Kontakt z veľtrhu      2023     ",
    "VIP",
};
// clang-format on

constexpr std::string_view kBase64 =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

template <std::size_t N>
const auto& pick(Random& random, const std::array<std::string_view, N>& items) {
    return items[random.below(N)];
}

template <std::size_t N>
const Name& pick(Random& random, const std::array<Name, N>& items) {
    return items[random.below(N)];
}

void append_digits(std::string& out, Random& random, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) out += static_cast<char>('0' + random.below(10));
}

// An international number, grouped as people type it, or without any spaces.
void append_phone(std::string& out, Random& random, std::string_view code) {
    out += code;
    const bool grouped = random.below(4) != 0;
    for (std::size_t group = 0; group < 3; ++group) {
        if (grouped) out += ' ';
        append_digits(out, random, 3);
    }
}

void append_card(std::string& out, Random& random, std::size_t number) {
    const Language& language = kLanguages[random.below(kLanguages.size())];
    const Name& given = pick(random, language.given);
    const Name& family = pick(random, language.family);
    out += "BEGIN:VCARD\r\nVERSION:3.0\r\n";
    out += "N:";
    out += family.text;
    out += ';';
    out += given.text;
    out += ";;;\r\nFN:";
    out += given.text;
    out += ' ';
    out += family.text;
    out += "\r\nORG:";
    out += pick(random, language.companies);
    out += "\r\nTITLE:";
    out += pick(random, language.titles);
    out += "\r\nTEL;TYPE=CELL:";
    append_phone(out, random, language.calling_code);
    out += "\r\nTEL;TYPE=WORK,VOICE:";
    append_phone(out, random, language.calling_code);
    out += "\r\nEMAIL;TYPE=INTERNET:";
    out += given.ascii;
    out += '.';
    out += family.ascii;
    append_digits(out, random, 2);
    out += '@';
    out += language.domain;
    out += "\r\nADR;TYPE=WORK:;;";
    out += pick(random, language.streets);
    out += ';';
    out += pick(random, language.cities);
    out += ";;";
    append_digits(out, random, 5);
    out += ';';
    out += language.country;
    out += "\r\nNOTE:";
    out += pick(random, kNotes);
    out += "\r\n";
    if (number % 20 == 19) {
        out += "PHOTO;ENCODING=b;TYPE=JPEG:/9j/";
        const std::size_t length = random.between(3000, 30000) / 4 * 4;
        for (std::size_t i = 4; i < length; ++i) out += kBase64[random.below(kBase64.size())];
        out += "\r\n";
    }
    out += "END:VCARD\r\n";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 4) {
        std::fprintf(stderr, "usage: %s OUTPUT [BYTES [SEED]]\n", argv[0]);
        return 2;
    }
    const std::uint64_t wanted = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 200'000'000ULL;
    const std::uint64_t seed = argc > 3 ? std::strtoull(argv[3], nullptr, 10) : 1;
    std::FILE* file = std::fopen(argv[1], "wb");
    if (file == nullptr) {
        std::perror(argv[1]);
        return 1;
    }
    Random random{seed};
    std::string block;
    block.reserve(std::size_t{1} << 20);
    std::uint64_t written = 0;
    for (std::size_t card = 0; written < wanted; ++card) {
        append_card(block, random, card);
        const bool last = written + block.size() >= wanted;
        if (block.size() >= (std::size_t{1} << 20) - 40000 || last) {
            if (std::fwrite(block.data(), 1, block.size(), file) != block.size()) {
                std::perror(argv[1]);
                return 1;
            }
            written += block.size();
            block.clear();
        }
    }
    if (std::fclose(file) != 0) {
        std::perror(argv[1]);
        return 1;
    }
    return 0;
}
