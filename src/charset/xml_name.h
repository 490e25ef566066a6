// XML names in a document declared windows-1250: which element names a reader takes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quorlan {

// The Unicode character of a windows-1250 byte; 0 where the code page has none.
std::uint32_t cp1250_character(std::uint8_t byte);

// The name characters of XML 1.0 (fifth edition).
bool is_xml_name_char(std::uint32_t c);

// `name` without the spaces, tabs and CRs after it, which stand inside a tag where XML
// allows white space: readers see the name before them.
std::string_view name_in_tag(std::string_view name);

// Where `name`, read as windows-1250, stops being an XML Name: the position of the first
// byte a reader refuses, 0 for an empty name, npos when the whole name is one.
std::size_t xml_name_fault_at(std::string_view name);

// A name a reader takes, made from `name` for a user to write instead: the ASCII bytes a
// reader refuses, and every "-", "*", "#" and ":" (the first three are the configuration's
// markers), are left out, with one "_" where they stood between two parts of the name,
// and "_" goes before a name that can't begin as it does. Empty when nothing is left or a
// byte above 0x7F is refused, where no guess is better than a UTF-8 letter's pieces.
std::string xml_name_suggestion(std::string_view name);
// The same for `name` as a UTF-8 document holds it (UTF-8 text): the position of the
// first byte of the first character a reader refuses.
std::size_t xml_text_name_fault_at(std::string_view name);

}  // namespace quorlan
