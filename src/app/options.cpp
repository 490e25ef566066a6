#include "app/options.h"

#include <cstdio>
#include <string_view>

#include "io/messages.h"

namespace quorlan {

namespace {

constexpr const char* kHelp =
    "Usage: quorlan [--init [--for FAMILY] [--] [CARDFILE | URL] | --explain\n"
    "               | --template [NAME] | --help | --version]\n"
    "\n"
    "Converts a file of electronic business cards (vCard, .vcf) into an XML\n"
    "phonebook. Run it in the folder that holds quorlan.ini: it reads the card file\n"
    "named there (import.vcf without a quorlan.ini) and writes the XML file named\n"
    "there (by default the card file's name with .xml), in windows-1250 (UTF-8\n"
    "with UTF8=1) with CR LF line ends: one <vcf> record per card that passes the\n"
    "filter, one element per field line. Arguments that do not begin with \"-\" are\n"
    "ignored.\n"
    "\n"
    "Lines of quorlan.ini, known by what they hold, tested in this order:\n"
    "  contacts.vcf       the card file: the name before \".vcf\" (in any case)\n"
    "  phonebook.xml      the XML file and its document element (\"*.xml\": the\n"
    "                     name of the card file)\n"
    "  ASCII=1            a non-zero number folds accented letters to plain ASCII\n"
    "  DECODE=1           a non-zero number reads cards as vCard readers do: folded\n"
    "                     lines joined, quoted-printable decoded, escapes resolved,\n"
    "                     prefixes naming properties (TEL;CELL takes TEL;TYPE=cell),\n"
    "                     each line feeding one field, the first value kept\n"
    "                     values read as text from their CHARSET= (else UTF-8, else\n"
    "                     windows-1250), every character written (&#1081; where\n"
    "                     windows-1250 lacks it)\n"
    "  UTF8=1             with DECODE=1, a non-zero number writes the XML in UTF-8\n"
    "  NAME*=N:           a field: element NAME takes the value of the card line\n"
    "                     that begins with \"N:\"; markers in the name:\n"
    "                       * required: cards without a value are left out\n"
    "                       - forbidden: cards with a value are left out\n"
    "                       # phone: +420603123456 is written +420 603 123 456\n"
    "                       [] list (with DECODE=1): every value of the card, not\n"
    "                          the first; one element each, or in a template a\n"
    "                          section {{#TEL}}...{{/TEL}} per value with {{value}},\n"
    "                          {{kind}} (mobile work home fax pager other),\n"
    "                          {{#mobile}}..., {{#preferred}}, {{#main}},\n"
    "                          {{#first}}, {{#last}}, {{position}}, {{index}};\n"
    "                          a number a card gives twice is kept once\n"
    "  SOURCE_IDENT=book  a name holding IDENT: every record gets the text \"book\"\n"
    "  TEMPLATE=yealink   with DECODE=1, the phonebook's form comes from a Mustache\n"
    "                     template: a built-in one (yealink, cisco, grandstream,\n"
    "                     snom, fritzbox, polycom) or a file (TEMPLATE=my.mustache),\n"
    "                     field names are its variables, {{N.2}} a part of a value;\n"
    "                     the line is read before the file names; UTF-8 output\n"
    "  CARDDAV=URL        with DECODE=1, the cards come from a CardDAV address book\n"
    "                     (the server, the user or one book), kept in the folder\n"
    "                     carddav and fetched again only where they changed; with\n"
    "                     CARDDAV_USER=, CARDDAV_PASSWORD_FROM=env:VARIABLE or\n"
    "                     netrc, CARDDAV_BOOK=, CARDDAV_CA=, CARDDAV_FOLDER= (see\n"
    "                     man quorlan); the line is read before the file names\n"
    "  PHONEBOOK_URL=http://10.0.0.2/phones/  where the phone fetches the phonebook:\n"
    "                     the pages of a Cisco phonebook of more than 32 entries\n"
    "                     link to one another from there\n"
    "  anything else      is ignored, such as [Fields] or empty lines\n"
    "\n"
    "Options:\n"
    "  --init [CARDFILE]  write a first quorlan.ini for the card file (by default\n"
    "                     the folder's one .vcf file): DECODE=1 and the fields\n"
    "                     NAME, FULL, COMPANY and the lists MOBILE, FAX, WORK,\n"
    "                     HOME, OTHER (every number the others leave) and EMAIL,\n"
    "                     each with the number of cards that fill it; never replaces\n"
    "                     an existing quorlan.ini, nor names a card file that\n"
    "                     quorlan.ini can't hold (control characters, spaces at\n"
    "                     either end, .vcf before the end)\n"
    "  --init --for FAMILY [CARDFILE]\n"
    "                     the same for a desk phone family's phonebook: the fields\n"
    "                     and TEMPLATE= of the built-in template FAMILY\n"
    "  --init [--for FAMILY] URL\n"
    "                     the same for the address book at URL on a CardDAV\n"
    "                     server, fetched into the folder carddav (user and\n"
    "                     password from QUORLAN_USER and QUORLAN_PASSWORD)\n"
    "  --template [NAME]  print the built-in template NAME, to save and adapt it;\n"
    "                     without NAME, list the built-in templates\n"
    "  --explain          show how quorlan.ini is read, which card lines the file\n"
    "                     holds and which field takes them, suggest prefixes, warn\n"
    "                     about values that would come out wrong, and count the\n"
    "                     cards a run would write or leave out; writes no file\n"
    "  -h, --help, /?     print this help and exit\n"
    "  --version          print the version and exit\n"
    "  --                 ends the options: a name after it may begin with \"-\"\n"
    "\n"
    "Exit status:\n"
    "  0  the XML file was written completely, or the help, the version or the\n"
    "     explanation was printed (also when its reader stopped reading early)\n"
    "  1  a file could not be opened, read or written, the XML file would have\n"
    "     replaced the card file or quorlan.ini, or with DECODE=1 no card ended in\n"
    "     the card file: one line on standard error names it, and the XML file is\n"
    "     left as it was\n"
    "  2  an unknown option, or --init without one clear card file (none or\n"
    "     several in the folder, an empty name, two names): nothing was read or\n"
    "     written\n"
    "  130, 143, 129  stopped by SIGINT (Ctrl-C), SIGTERM or SIGHUP: 128 and the\n"
    "     signal's number\n"
    "\n"
    "The manual: man quorlan (in the source folder: man -l man/quorlan.1, and\n"
    "README.md).\n";

constexpr const char* kVersion =
    "quorlan " QUORLAN_VERSION "\n"
    "Copyright (c) 2026 the quorlan developers. MIT License.\n";

enum class Kind { Option, Unknown, Other };

Kind kind_of(std::string_view argument, Action& action) {
    if (argument == "--help" || argument == "-h" || argument == "/?") {
        action = Action::Help;
    } else if (argument == "--version") {
        action = Action::Version;
    } else if (argument == "--explain") {
        action = Action::Explain;
    } else if (argument == "--init") {
        action = Action::Init;
    } else if (argument == "--template") {
        action = Action::Template;
    } else if (argument == "--for") {
        return Kind::Other;  // the phone family of --init, which reads it
    } else {
        return argument.starts_with("-") ? Kind::Unknown : Kind::Other;
    }
    return Kind::Option;
}

// "--" ends the options: the arguments after it are names, whatever they begin with.
bool ends_options(std::string_view argument) { return argument == "--"; }

// Where the reading of the arguments stands, for each use of them.
struct Scan {
    bool options_ended = false;  // for the action
    bool family = false;         // "--for" stood among the options
    bool init_options_ended = false;
    bool family_next = false;    // the argument is the family after "--for"
    bool after_template = false;
};

// The action: the first option's, Unknown for a mistyped one.
void scan_action(Options& options, Scan& scan, std::string_view argument) {
    if (scan.options_ended || ends_options(argument)) {
        scan.options_ended = true;
        return;
    }
    Action action = Action::Convert;
    const Kind kind = kind_of(argument, action);
    // A mistyped option must not run a conversion the user did not ask for.
    if (kind == Kind::Unknown && options.unknown.empty()) options.unknown = argument;
    if (kind == Kind::Option && options.action == Action::Convert) options.action = action;
    scan.family = scan.family || argument == "--for";
}

void scan_init_argument(Options& options, Scan& scan, std::string_view argument) {
    if (scan.family_next) {
        // The family goes with "--for", whatever it begins with: --init says what it lacks.
        options.init_arguments.emplace_back(argument);
        scan.family_next = false;
    } else if (!scan.init_options_ended && ends_options(argument)) {
        scan.init_options_ended = true;
    } else if (!scan.init_options_ended && argument == "--for") {
        options.init_arguments.emplace_back(argument);
        scan.family_next = true;
    } else if (scan.init_options_ended || !argument.starts_with("-")) {
        options.init_arguments.emplace_back(argument);
    }
}

}  // namespace

Options read_options(int argc, const char* const* argv) {
    Options options;
    Scan scan;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        scan_action(options, scan, argument);
        scan_init_argument(options, scan, argument);
        if (scan.after_template) options.template_arguments.emplace_back(argument);
        scan.after_template = scan.after_template || argument == "--template";
    }
    // Nor must "--for" without "--init", which would convert instead of writing quorlan.ini.
    if (!options.unknown.empty() || (scan.family && options.action != Action::Init)) options.action = Action::Unknown;
    return options;
}

int refuse_unknown_option(const Options& options) {
    if (!options.unknown.empty()) {
        std::fprintf(stderr, "quorlan: unknown option %s (see quorlan --help)\n", quoted_name(options.unknown).c_str());
    } else {
        std::fprintf(stderr, "quorlan: --for goes with --init: quorlan --init --for FAMILY [CARDFILE]\n");
    }
    return 2;
}

int print_help() { return print_report(kHelp); }

int print_version() { return print_report(kVersion); }

}  // namespace quorlan
