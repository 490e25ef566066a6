#include "templates/builtins.h"

#include <array>
#include <string>

#include "vcard/head.h"

namespace quorlan {

namespace {

// Every family: the display name from FN, else N, else ORG, so that no entry is nameless
// where the card has a name; the parts of N where the phone wants first and last names
// apart; every number of the card, each with its kind, as the phone dials it (no "#": the
// guides show numbers without spaces); a card without a number is left out, as the phone
// can't dial it.
constexpr BuiltinField kName{"NAME", "FN|N|ORG"};
constexpr BuiltinField kNameParts{"N", "N"};
constexpr BuiltinField kNumbers{"TEL*[]", "TEL"};
constexpr BuiltinField kMail{"EMAIL[]", "EMAIL"};
constexpr std::array kFields = {kName, kNumbers};
constexpr std::array kFieldsWithMail = {kName, kNumbers, kMail};
// N comes first: a line feeds only the first mapping that names it, and NAME takes N only
// where no N is mapped before it.
constexpr std::array kFieldsWithNames = {kNameParts, kName, kNumbers};
constexpr std::array kFieldsWithNamesAndMail = {kNameParts, kName, kNumbers, kMail};

constexpr std::string_view kYealink = R"(<?xml version="1.0" encoding="UTF-8"?>{{!
  Yealink remote phonebook, as Yealink's "Yealink IP Phones Administrator Guide" describes
  it (Directory > Remote Phone Book, YealinkIPPhoneDirectory): a name and its numbers.
}}
<YealinkIPPhoneDirectory>
{{#records}}
  <DirectoryEntry>
    <Name>{{NAME}}</Name>
{{#TEL}}
    <Telephone>{{value}}</Telephone>
{{/TEL}}
  </DirectoryEntry>
{{/records}}
</YealinkIPPhoneDirectory>
)";

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
{{#TEL}}
  <DirectoryEntry>
    <Name>{{NAME}}</Name>
    <Telephone>{{value}}</Telephone>
  </DirectoryEntry>
{{/TEL}}
{{/records}}
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

constexpr std::string_view kGrandstream = R"(<?xml version="1.0" encoding="UTF-8"?>{{!
  Grandstream downloadable phonebook (phonebook.xml), as Grandstream's "XML Based
  Downloadable Phonebook Guide" describes the AddressBook: a first or a last name in every
  contact (the display name where the card has no N), the numbers with their types
  (Work, Home, Mobile, Fax, Other) on the first account (accountindex 0), the e-mail
  addresses.
}}
<AddressBook>
{{#records}}
  <Contact>
{{#N}}
    <LastName>{{N.1}}</LastName>
    <FirstName>{{#N.2}}{{N.2}}{{/N.2}}{{^N.2}}{{^N.1}}{{NAME}}{{/N.1}}{{/N.2}}</FirstName>
{{/N}}
{{^N}}
    <FirstName>{{NAME}}</FirstName>
{{/N}}
{{#TEL}}
    <Phone type="{{#work}}Work{{/work}}{{#home}}Home{{/home}}{{#mobile}}Mobile{{/mobile}}{{#fax}}Fax{{/fax}}{{#pager}}Other{{/pager}}{{#other}}Other{{/other}}">
      <phonenumber>{{value}}</phonenumber>
      <accountindex>0</accountindex>
    </Phone>
{{/TEL}}
{{#EMAIL}}
    <Mail type="Others">{{value}}</Mail>
{{/EMAIL}}
  </Contact>
{{/records}}
</AddressBook>
)";

constexpr std::string_view kSnom = R"(<?xml version="1.0" encoding="UTF-8"?>{{!
  Snom local directory (tbook.xml), as the article "Phone Book - XML Format" of the
  Snom service knowledge base describes it: one item per number, each with its own index,
  0 to 99 on the 3xx models, 0 to 249 on the 370; the number's type where Snom has a word
  for it. Gigaset's PRO models read it too.
}}
<tbook complete="true">
{{#records}}
{{#TEL}}
  <item context="active" type="none" index="{{index}}">
    <name>{{NAME}}</name>
    <number>{{value}}</number>
{{#mobile}}
    <number_type>mobile</number_type>
{{/mobile}}
{{#work}}
    <number_type>business</number_type>
{{/work}}
{{#home}}
    <number_type>home</number_type>
{{/home}}
{{#fax}}
    <number_type>fax</number_type>
{{/fax}}
  </item>
{{/TEL}}
{{/records}}
</tbook>
)";

constexpr std::string_view kFritzbox = R"(<?xml version="1.0" encoding="utf-8"?>{{!
  FRITZ!Box phone book, in the form AVM's FRITZ!Box writes and restores it (Telephony >
  Telephone Book > Restore): the person, the numbers by type (home, mobile, work, fax_work,
  other) counted in nid and numbered from 0, the preferred number (else the first) with
  prio 1, the e-mail addresses under services; category 0, as 1 marks an important person.
}}
<phonebooks>
  <phonebook name="Phonebook">
{{#records}}
    <contact>
      <category>0</category>
      <person>
        <realName>{{NAME}}</realName>
      </person>
      <telephony nid="0">
{{#TEL}}
        <number type="{{#home}}home{{/home}}{{#mobile}}mobile{{/mobile}}{{#work}}work{{/work}}{{#fax}}fax_work{{/fax}}{{#pager}}other{{/pager}}{{#other}}other{{/other}}" prio="{{#main}}1{{/main}}{{^main}}0{{/main}}" id="{{position}}">{{value}}</number>
{{/TEL}}
      </telephony>
{{#EMAIL}}
{{#first}}
      <services>
{{/first}}
        <email classifier="private" id="{{position}}">{{value}}</email>
{{#last}}
      </services>
{{/last}}
{{/EMAIL}}
      <setup />
      <uniqueid>{{record}}</uniqueid>
    </contact>
{{/records}}
  </phonebook>
</phonebooks>
)";

constexpr std::string_view kPolycom = R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>{{!
  Polycom local contact directory (000000000000-directory.xml), as Polycom's "Polycom UC
  Software Administrator Guide" describes it (Local Contact Directory): one item per number,
  last name, first name (the display name where the card has no N) and contact number;
  each number once in the directory, names cut to 40 bytes.
}}
<directory>
  <item_list>
{{#records}}
{{#TEL}}
    <item>
      <ln>{{N.1}}</ln>
      <fn>{{#N}}{{N.2}}{{/N}}{{^N}}{{NAME}}{{/N}}</fn>
      <ct>{{value}}</ct>
    </item>
{{/TEL}}
{{/records}}
  </item_list>
</directory>
)";

constexpr std::array kBuiltins = {
    BuiltinTemplate{"yealink", "Yealink remote phonebook", "yealink-phonebook.xml", kFields, kYealink},
    BuiltinTemplate{"cisco", "Cisco IP phone directory", "cisco-directory.xml", kFields, kCisco, "  <DirectoryEntry>", 32},
    BuiltinTemplate{"grandstream", "Grandstream downloadable phonebook", "phonebook.xml", kFieldsWithNamesAndMail,
                    kGrandstream},
    BuiltinTemplate{"snom", "Snom local directory (tbook; Gigaset PRO too)", "tbook.xml", kFields, kSnom, "  <item ", 0,
                    FamilyRule::Snom},
    BuiltinTemplate{"fritzbox", "FRITZ!Box phone book", "fritzbox-phonebook.xml", kFieldsWithMail, kFritzbox,
                    "    <contact>", 0, FamilyRule::Fritzbox},
    BuiltinTemplate{"polycom", "Polycom local contact directory", "000000000000-directory.xml", kFieldsWithNames,
                    kPolycom, "    <item>", 0, FamilyRule::Polycom},
};

}  // namespace

std::span<const BuiltinTemplate> builtin_templates() { return kBuiltins; }

const BuiltinTemplate* find_builtin(std::string_view name) {
    for (const BuiltinTemplate& builtin : kBuiltins) {
        if (equal_any_case(name, builtin.name)) return &builtin;
    }
    return nullptr;
}

std::string_view builtin_names() {
    static const std::string names = [] {
        std::string joined;
        for (const BuiltinTemplate& builtin : kBuiltins) {
            if (!joined.empty()) joined += ", ";
            joined += builtin.name;
        }
        return joined;
    }();
    return names;
}

}  // namespace quorlan
