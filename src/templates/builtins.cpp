#include "templates/builtins.h"

#include <array>

#include "vcard/head.h"

namespace quorlan {

namespace {

// Every family: the display name from FN, else N, else ORG, so that no entry is nameless
// where the card has a name; the parts of N where the phone wants first and last names
// apart; and the numbers as the phone dials them (no "#": the guides show numbers without
// spaces). A line feeds only the first mapping that names it, so the more particular
// numbers come first.
#define QUORLAN_NUMBER_FIELDS                                                                                    \
    BuiltinField{"MOBILE", "TEL;CELL"}, BuiltinField{"FAX", "TEL;FAX"}, BuiltinField{"WORK", "TEL;WORK"},           \
        BuiltinField{"HOME", "TEL;HOME"}
constexpr std::array kFields = {BuiltinField{"NAME", "FN|N|ORG"}, QUORLAN_NUMBER_FIELDS};
constexpr std::array kFieldsWithMail = {BuiltinField{"NAME", "FN|N|ORG"}, QUORLAN_NUMBER_FIELDS,
                                        BuiltinField{"EMAIL", "EMAIL"}};
constexpr std::array kFieldsWithNames = {BuiltinField{"NAME", "FN|N|ORG"}, BuiltinField{"N", "N"},
                                         QUORLAN_NUMBER_FIELDS};
constexpr std::array kFieldsWithNamesAndMail = {BuiltinField{"NAME", "FN|N|ORG"}, BuiltinField{"N", "N"},
                                                QUORLAN_NUMBER_FIELDS, BuiltinField{"EMAIL", "EMAIL"}};

#define QUORLAN_DISPLAY_NAME "{{NAME}}"

constexpr std::string_view kYealink = R"(<?xml version="1.0" encoding="UTF-8"?>{{!
  Yealink remote phonebook, as Yealink's "Yealink IP Phones Administrator Guide" describes
  it (Directory > Remote Phone Book, YealinkIPPhoneDirectory). A card without a number
  gives no entry.
}}
<YealinkIPPhoneDirectory>
{{#records}}
  <DirectoryEntry>
    <Name>)" QUORLAN_DISPLAY_NAME R"(</Name>
{{#MOBILE}}
    <Telephone>{{MOBILE}}</Telephone>
{{/MOBILE}}
{{#WORK}}
    <Telephone>{{WORK}}</Telephone>
{{/WORK}}
{{#HOME}}
    <Telephone>{{HOME}}</Telephone>
{{/HOME}}
{{#FAX}}
    <Telephone>{{FAX}}</Telephone>
{{/FAX}}
  </DirectoryEntry>
{{/records}}
</YealinkIPPhoneDirectory>
)";

#define QUORLAN_CISCO_ENTRY(FIELD) \
    "{{#" FIELD "}}\n  <DirectoryEntry>\n    <Name>" QUORLAN_DISPLAY_NAME "</Name>\n    <Telephone>{{" FIELD \
    "}}</Telephone>\n  </DirectoryEntry>\n{{/" FIELD "}}\n"

#define QUORLAN_CISCO_KEY(NAME, URL, POSITION)                                                                    \
    "  <SoftKeyItem>\n    <Name>" NAME "</Name>\n    <URL>" URL "</URL>\n    <Position>" POSITION                   \
    "</Position>\n  </SoftKeyItem>\n"

constexpr std::string_view kCisco = R"(<?xml version="1.0" encoding="UTF-8"?>{{!
  Cisco IP phone directory, as Cisco's "Cisco Unified IP Phone Services Application
  Development Notes" describe the CiscoIPPhoneDirectory object: one DirectoryEntry per
  number, at most 32 in one object. A longer phonebook is written as pages, each linked to
  its neighbours by the Next and Prev soft keys at the addresses PHONEBOOK_URL= gives; as
  custom soft keys replace the phone's own, Dial, EditDial and Exit are named too.
}}
<CiscoIPPhoneDirectory>
  <Title>Phonebook</Title>
  <Prompt>Select an entry</Prompt>
{{#records}}
)" QUORLAN_CISCO_ENTRY("MOBILE") QUORLAN_CISCO_ENTRY("WORK") QUORLAN_CISCO_ENTRY("HOME") QUORLAN_CISCO_ENTRY("FAX") R"({{/records}}
{{#next_page}}
)" QUORLAN_CISCO_KEY("Dial", "SoftKey:Dial", "1") QUORLAN_CISCO_KEY("EditDial", "SoftKey:EditDial", "2")
    QUORLAN_CISCO_KEY("Next", "{{next_page}}", "3") R"({{#previous_page}}
)" QUORLAN_CISCO_KEY("Prev", "{{previous_page}}", "4") R"({{/previous_page}}
)" QUORLAN_CISCO_KEY("Exit", "SoftKey:Exit", "5") R"({{/next_page}}
{{^next_page}}
{{#previous_page}}
)" QUORLAN_CISCO_KEY("Dial", "SoftKey:Dial", "1") QUORLAN_CISCO_KEY("EditDial", "SoftKey:EditDial", "2")
        QUORLAN_CISCO_KEY("Prev", "{{previous_page}}", "4") QUORLAN_CISCO_KEY("Exit", "SoftKey:Exit", "5") R"({{/previous_page}}
{{/next_page}}
</CiscoIPPhoneDirectory>
)";

#define QUORLAN_GRANDSTREAM_PHONE(FIELD, TYPE)                                                                    \
    "{{#" FIELD "}}\n    <Phone type=\"" TYPE "\">\n      <phonenumber>{{" FIELD                                      \
    "}}</phonenumber>\n      <accountindex>0</accountindex>\n    </Phone>\n{{/" FIELD "}}\n"

constexpr std::string_view kGrandstream = R"(<?xml version="1.0" encoding="UTF-8"?>{{!
  Grandstream downloadable phonebook (phonebook.xml), as Grandstream's "XML Based
  Downloadable Phonebook Guide" describes the AddressBook: a first or a last name in every
  contact (the display name where the card has no N), numbers by type on the first account
  (accountindex 0), the e-mail address. A card without a number gives no contact.
}}
<AddressBook>
{{#records}}
  <Contact>
{{#N}}
    <LastName>{{N.1}}</LastName>
    <FirstName>{{N.2}}</FirstName>
{{/N}}
{{^N}}
    <FirstName>{{NAME}}</FirstName>
{{/N}}
)" QUORLAN_GRANDSTREAM_PHONE("MOBILE", "Mobile") QUORLAN_GRANDSTREAM_PHONE("WORK", "Work")
    QUORLAN_GRANDSTREAM_PHONE("HOME", "Home") QUORLAN_GRANDSTREAM_PHONE("FAX", "Fax") R"({{#EMAIL}}
    <Mail type="Others">{{EMAIL}}</Mail>
{{/EMAIL}}
  </Contact>
{{/records}}
</AddressBook>
)";

// The index is numbered 0, 1, 2 ... over the items of the book as they are written.
#define QUORLAN_SNOM_ITEM(FIELD, TYPE)                                                                            \
    "{{#" FIELD "}}\n  <item context=\"active\" type=\"none\" index=\"0\">\n    <name>"                           \
    QUORLAN_DISPLAY_NAME "</name>\n    <number>{{" FIELD "}}</number>\n    <number_type>" TYPE                     \
    "</number_type>\n  </item>\n{{/" FIELD "}}\n"

constexpr std::string_view kSnom = R"(<?xml version="1.0" encoding="UTF-8"?>{{!
  Snom local directory (tbook.xml), as the article "Phone Book - XML Format" of the
  Snom service knowledge base describes it: one item per number, each with its own index,
  0 to 99 on most models, 0 to 249 on the largest. Gigaset's PRO models read it too.
}}
<tbook complete="true">
{{#records}}
)" QUORLAN_SNOM_ITEM("MOBILE", "mobile") QUORLAN_SNOM_ITEM("WORK", "business")
    QUORLAN_SNOM_ITEM("HOME", "home") QUORLAN_SNOM_ITEM("FAX", "fax") R"({{/records}}
</tbook>
)";

constexpr std::string_view kFritzbox = R"(<?xml version="1.0" encoding="utf-8"?>{{!
  FRITZ!Box phone book, in the form AVM's FRITZ!Box writes and restores it (Telephony >
  Telephone Book > Restore): person, numbers by type counted in nid and numbered from 0,
  the preferred number (else the first) with prio 1, e-mail under services; category 0,
  as 1 marks an important person. A card without a number gives no contact.
}}
<phonebooks>
  <phonebook name="Phonebook">
{{#records}}
    <contact>
      <category>0</category>
      <person>
        <realName>)" QUORLAN_DISPLAY_NAME R"(</realName>
      </person>
      <telephony nid="0">
{{#HOME}}
        <number type="home" prio="0" id="0">{{HOME}}</number>
{{/HOME}}
{{#MOBILE}}
        <number type="mobile" prio="0" id="0">{{MOBILE}}</number>
{{/MOBILE}}
{{#WORK}}
        <number type="work" prio="0" id="0">{{WORK}}</number>
{{/WORK}}
{{#FAX}}
        <number type="fax_work" prio="0" id="0">{{FAX}}</number>
{{/FAX}}
      </telephony>
{{#EMAIL}}
      <services>
        <email classifier="private" id="0">{{EMAIL}}</email>
      </services>
{{/EMAIL}}
      <setup />
      <uniqueid>{{record}}</uniqueid>
    </contact>
{{/records}}
  </phonebook>
</phonebooks>
)";

#define QUORLAN_POLYCOM_ITEM(FIELD)                                                                               \
    "{{#" FIELD "}}\n    <item>\n      <ln>{{N.1}}</ln>\n      <fn>{{#N}}{{N.2}}{{/N}}{{^N}}{{NAME}}{{/N}}</fn>\n" \
    "      <ct>{{" FIELD "}}</ct>\n    </item>\n{{/" FIELD "}}\n"

constexpr std::string_view kPolycom = R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>{{!
  Polycom local contact directory (000000000000-directory.xml), as Polycom's "Polycom UC
  Software Administrator Guide" describes it (Local Contact Directory): one item per number,
  last name, first name (the display name where the card has no N) and contact number; a
  number once in the directory, names cut to 40 bytes.
}}
<directory>
  <item_list>
{{#records}}
)" QUORLAN_POLYCOM_ITEM("MOBILE") QUORLAN_POLYCOM_ITEM("WORK") QUORLAN_POLYCOM_ITEM("HOME")
    QUORLAN_POLYCOM_ITEM("FAX") R"({{/records}}
  </item_list>
</directory>
)";

constexpr std::array kBuiltins = {
    BuiltinTemplate{"yealink", "Yealink remote phonebook", "yealink-phonebook.xml", kFields, kYealink,
                    "  <DirectoryEntry>", "<Telephone>"},
    BuiltinTemplate{"cisco", "Cisco IP phone directory", "cisco-directory.xml", kFields, kCisco, "  <DirectoryEntry>",
                    "<Telephone>", 32},
    BuiltinTemplate{"grandstream", "Grandstream downloadable phonebook", "phonebook.xml", kFieldsWithNamesAndMail,
                    kGrandstream, "  <Contact>", "<phonenumber>"},
    BuiltinTemplate{"snom", "Snom local directory (tbook; Gigaset PRO too)", "tbook.xml", kFields, kSnom, "  <item ",
                    "<number>", 0, FamilyRule::Snom},
    BuiltinTemplate{"fritzbox", "FRITZ!Box phone book", "fritzbox-phonebook.xml", kFieldsWithMail, kFritzbox,
                    "    <contact>", "<number ", 0, FamilyRule::Fritzbox},
    BuiltinTemplate{"polycom", "Polycom local contact directory", "000000000000-directory.xml", kFieldsWithNames,
                    kPolycom, "    <item>", "<ct>", 0, FamilyRule::Polycom},
};

}  // namespace

std::span<const BuiltinTemplate> builtin_templates() { return kBuiltins; }

const BuiltinTemplate* find_builtin(std::string_view name) {
    for (const BuiltinTemplate& builtin : kBuiltins) {
        if (equal_any_case(name, builtin.name)) return &builtin;
    }
    return nullptr;
}

std::string_view builtin_names() { return "yealink, cisco, grandstream, snom, fritzbox, polycom"; }

}  // namespace quorlan
