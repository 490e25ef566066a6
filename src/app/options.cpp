#include "app/options.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace quorlan {

namespace {

constexpr const char* kHelp =
    "Usage: quorlan [--explain | --help | --version]\n"
    "\n"
    "Converts a file of electronic business cards (vCard, .vcf) into an XML\n"
    "phonebook. Run it in the folder that holds quorlan.ini: it reads the card file\n"
    "named there (import.vcf without a quorlan.ini) and writes the XML file named\n"
    "there (by default the card file's name with .xml), in windows-1250 with CR LF\n"
    "line ends: one <vcf> record per card that passes the filter, one element per\n"
    "field line. Arguments other than the options below are ignored.\n"
    "\n"
    "Lines of quorlan.ini, known by what they hold, tested in this order:\n"
    "  contacts.vcf       the card file: the name before \".vcf\" (in any case)\n"
    "  phonebook.xml      the XML file and its document element (\"*.xml\": the\n"
    "                     name of the card file)\n"
    "  ASCII=1            a non-zero number folds accented letters to plain ASCII\n"
    "  NAME*=N:           a field: element NAME takes the value of the card line\n"
    "                     that begins with \"N:\"; markers in the name:\n"
    "                       * required: cards without a value are left out\n"
    "                       - forbidden: cards with a value are left out\n"
    "                       # phone: +420603123456 is written +420 603 123 456\n"
    "  SOURCE_IDENT=book  a name holding IDENT: every record gets the text \"book\"\n"
    "  anything else      is ignored, such as [Fields] or empty lines\n"
    "\n"
    "Options:\n"
    "  --explain          show how quorlan.ini is read, warn about likely mistakes,\n"
    "                     and count the cards a run would write or leave out and\n"
    "                     why; writes no file\n"
    "  -h, --help         print this help and exit\n"
    "  --version          print the version and exit\n"
    "\n"
    "Exit status:\n"
    "  0  the XML file was written completely, or the help or version was printed\n"
    "  1  a file could not be opened, read or written: one line on standard error\n"
    "     names it; a card file that cannot be opened leaves the XML file as it was\n"
    "\n"
    "The manual: man quorlan (in the source folder: man -l man/quorlan.1, and\n"
    "README.md).\n";

constexpr const char* kVersion =
    "quorlan " QUORLAN_VERSION "\n"
    "Copyright (c) 2026 the quorlan developers. MIT License.\n";

int print_text(const char* text) {
    errno = 0;
    if (std::fputs(text, stdout) >= 0 && std::fflush(stdout) == 0) return 0;
    const int error = errno != 0 ? errno : EIO;
    std::fprintf(stderr, "quorlan: cannot write to standard output: %s\n", std::strerror(error));
    return 1;
}

}  // namespace

Action choose_action(int argc, const char* const* argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--help" || argument == "-h") return Action::Help;
        if (argument == "--version") return Action::Version;
        if (argument == "--explain") return Action::Explain;
    }
    return Action::Convert;
}

int print_help() { return print_text(kHelp); }

int print_version() { return print_text(kVersion); }

}  // namespace quorlan
