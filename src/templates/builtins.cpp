#include "templates/builtins.h"

#include <array>

#include "vcard/head.h"

namespace quorlan {

namespace {

// Every family: the display name from FN, the parts of N where FN is missing or the phone
// wants first and last names apart, and the numbers as the phone dials them (no "#": the
// guides show numbers without spaces). A line feeds only the first mapping that names it,
// so the more particular numbers come first.
constexpr std::array kFields = {
    BuiltinField{"NAME", "FN"},       BuiltinField{"N", "N"},           BuiltinField{"MOBILE", "TEL;CELL"},
    BuiltinField{"FAX", "TEL;FAX"},   BuiltinField{"WORK", "TEL;WORK"}, BuiltinField{"HOME", "TEL;HOME"},
};
constexpr std::array kFieldsWithMail = {
    BuiltinField{"NAME", "FN"},       BuiltinField{"N", "N"},           BuiltinField{"MOBILE", "TEL;CELL"},
    BuiltinField{"FAX", "TEL;FAX"},   BuiltinField{"WORK", "TEL;WORK"}, BuiltinField{"HOME", "TEL;HOME"},
    BuiltinField{"EMAIL", "EMAIL"},
};

// The display name: FN, or N (family name first) on a card without FN.
#define QUORLAN_DISPLAY_NAME "{{#NAME}}{{NAME}}{{/NAME}}{{^NAME}}{{N}}{{/NAME}}"

constexpr std::string_view kYealink = R"(<?xml version="1.0" encoding="UTF-8"?>{{!
  Yealink remote phonebook, as Yealink's "Yealink IP Phones Administrator Guide" describes
  it (Directory > Remote Phone Book, YealinkIPPhoneDirectory). Fanvil phones read it too.
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

constexpr std::string_view kCisco = R"(<?xml version="1.0" encoding="UTF-8"?>{{!
  Cisco IP phone directory, as Cisco's "Cisco Unified IP Phone Services Application
  Development Notes" describe the CiscoIPPhoneDirectory object: one DirectoryEntry per
  number. The phone shows 32 entries a page.
}}
<CiscoIPPhoneDirectory>
  <Title>Phonebook</Title>
  <Prompt>Select an entry</Prompt>
{{#records}}
)" QUORLAN_CISCO_ENTRY("MOBILE") QUORLAN_CISCO_ENTRY("WORK") QUORLAN_CISCO_ENTRY("HOME") QUORLAN_CISCO_ENTRY("FAX") R"({{/records}}
</CiscoIPPhoneDirectory>
)";

#define QUORLAN_GRANDSTREAM_PHONE(FIELD, TYPE)                                                                    \
    "{{#" FIELD "}}\n    <Phone type=\"" TYPE "\">\n      <phonenumber>{{" FIELD                                      \
    "}}</phonenumber>\n      <accountindex>0</accountindex>\n    </Phone>\n{{/" FIELD "}}\n"

constexpr std::string_view kGrandstream = R"(<?xml version="1.0" encoding="UTF-8"?>{{!
  Grandstream downloadable phonebook (phonebook.xml), as Grandstream's "XML Phonebook
  Guide" describes the AddressBook: first and last name, numbers by type on the first
  account (accountindex 0).
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
    QUORLAN_GRANDSTREAM_PHONE("HOME", "Home") QUORLAN_GRANDSTREAM_PHONE("FAX", "Fax") R"(  </Contact>
{{/records}}
</AddressBook>
)";

// The index of an item is the record's number and a digit for the number's kind, so that
// each item of the book has its own.
#define QUORLAN_SNOM_ITEM(FIELD, DIGIT, TYPE)                                                                     \
    "{{#" FIELD "}}\n  <item context=\"active\" type=\"none\" index=\"{{record}}" DIGIT "\">\n    <name>"         \
    QUORLAN_DISPLAY_NAME "</name>\n    <number>{{" FIELD "}}</number>\n    <number_type>" TYPE                     \
    "</number_type>\n  </item>\n{{/" FIELD "}}\n"

constexpr std::string_view kSnom = R"(<?xml version="1.0" encoding="UTF-8"?>{{!
  Snom local directory (tbook.xml), as the article "Phone Book - XML Format" of the
  Snom service knowledge base describes it: one item per number. Gigaset phones read it too.
}}
<tbook complete="true">
{{#records}}
)" QUORLAN_SNOM_ITEM("MOBILE", "1", "mobile") QUORLAN_SNOM_ITEM("WORK", "2", "business")
    QUORLAN_SNOM_ITEM("HOME", "3", "home") QUORLAN_SNOM_ITEM("FAX", "4", "fax") R"({{/records}}
</tbook>
)";

constexpr std::string_view kFritzbox = R"(<?xml version="1.0" encoding="utf-8"?>{{!
  FRITZ!Box phone book, in the form AVM's FRITZ!Box writes and restores it (Telephony >
  Telephone Book > Restore): person, numbers by type, e-mail under services.
}}
<phonebooks>
  <phonebook name="Phonebook">
{{#records}}
    <contact>
      <category>0</category>
      <person>
        <realName>)" QUORLAN_DISPLAY_NAME R"(</realName>
      </person>
      <telephony>
{{#HOME}}
        <number type="home" prio="0" id="0">{{HOME}}</number>
{{/HOME}}
{{#MOBILE}}
        <number type="mobile" prio="0" id="1">{{MOBILE}}</number>
{{/MOBILE}}
{{#WORK}}
        <number type="work" prio="0" id="2">{{WORK}}</number>
{{/WORK}}
{{#FAX}}
        <number type="fax_work" prio="0" id="3">{{FAX}}</number>
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
  last name, first name and contact number.
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
    BuiltinTemplate{"yealink", "Yealink remote phonebook (Fanvil too)", "yealink-phonebook.xml", kFields, kYealink},
    BuiltinTemplate{"cisco", "Cisco IP phone directory", "cisco-directory.xml", kFields, kCisco},
    BuiltinTemplate{"grandstream", "Grandstream downloadable phonebook", "phonebook.xml", kFields, kGrandstream},
    BuiltinTemplate{"snom", "Snom / Gigaset local directory (tbook)", "tbook.xml", kFields, kSnom},
    BuiltinTemplate{"fritzbox", "FRITZ!Box phone book", "fritzbox-phonebook.xml", kFieldsWithMail, kFritzbox},
    BuiltinTemplate{"polycom", "Polycom local contact directory", "000000000000-directory.xml", kFields, kPolycom},
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
