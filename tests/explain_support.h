// What the end-to-end tests of "quorlan --explain" share: running it on a folder (and
// checking that it leaves the folder as it found it), reading its report by lines and
// sections, and a table row of what a report must and must not say.
#pragma once

#include <chrono>
#include <cctype>
#include <iostream>
#include <map>
#include <sstream>

#include "e2e_support.h"

namespace explain_test {

using namespace e2e;

struct FileState {
    std::string bytes;
    fs::file_time_type written;
};

// Every file in the folder with its bytes and modification time.
inline std::map<std::string, FileState> snapshot(const Folder& f) {
    std::map<std::string, FileState> files;
    for (const auto& entry : fs::recursive_directory_iterator(f.dir())) {
        const std::string name = fs::relative(entry.path(), f.dir()).string();
        files[name] = FileState{entry.is_regular_file() ? read_file(entry.path()) : "",
                                fs::last_write_time(entry.path())};
    }
    return files;
}

inline bool same(const std::map<std::string, FileState>& a, const std::map<std::string, FileState>& b) {
    if (a.size() != b.size()) return false;
    for (const auto& [name, state] : a) {
        const auto other = b.find(name);
        if (other == b.end() || other->second.bytes != state.bytes || other->second.written != state.written) {
            return false;
        }
    }
    return true;
}

inline std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

inline bool has_line(const std::vector<std::string>& lines, const std::string& wanted) {
    return std::find(lines.begin(), lines.end(), wanted) != lines.end();
}

// The section of the report that begins with the line `heading`, up to the empty line
// that ends it; empty when there is none.
inline std::string section_of(const std::string& out, const std::string& heading) {
    const std::size_t begin = out.rfind(heading + "\n", 0) == 0 ? 0 : out.find("\n" + heading + "\n");
    if (begin == std::string::npos) return {};
    const std::size_t start = begin == 0 ? 0 : begin + 1;
    const std::size_t end = out.find("\n\n", start);
    return out.substr(start, end == std::string::npos ? std::string::npos : end + 1 - start);
}

// Runs --explain and checks that it changed nothing in the folder.
inline RunResult explain(const Folder& f) {
    const auto before = snapshot(f);
    RunResult r = f.run("--explain");
    EXPECT_TRUE(same(before, snapshot(f))) << "--explain created or changed a file";
    r.out = console_text(r.out);
    r.err = console_text(r.err);
    return r;
}

inline std::string card(const std::string& lines) { return "BEGIN:VCARD\r\n" + lines + "END:VCARD\r\n"; }

inline const char* const kCards =
    "BEGIN:VCARD\r\nN:Novak;Jan;;;\r\nTEL;CELL:+420 603 123 456\r\nEMAIL:jan@example.com\r\nEND:VCARD\r\n"
    "BEGIN:VCARD\r\nN:Svoboda;Petr\r\nORG:Firm\r\nEND:VCARD\r\n"
    "BEGIN:VCARD\r\nTEL;CELL:+49 30 123 45 67\r\nEND:VCARD\r\n";

inline std::string many_mappings(int count) {
    std::string config;
    for (int i = 0; i < count; ++i) {
        const std::string number = std::to_string(i);
        config.append("F").append(number).append("=P").append(number).append(";\n");
    }
    return config;
}

// Cards with a long note each.
inline std::string many_cards(int count) {
    std::string cards;
    for (int i = 0; i < count; ++i) cards.append("BEGIN:VCARD\nNOTE:").append(50, 'n').append("\nEND:VCARD\n");
    return cards;
}

// A card with `count` lines of distinct heads.
// Cards whose N lines declare the charsets ...
inline std::string many_charsets(int count) {
    std::string cards;
    for (int i = 1; i <= count; ++i) cards += "BEGIN:VCARD\nN;CHARSET=X-" + std::to_string(i) + ":a\nEND:VCARD\n";
    return cards;
}

inline std::string many_heads(int count) {
    std::string lines;
    for (int i = 0; i < count; ++i) lines.append("X-H").append(std::to_string(i)).append(":x\n");
    return lines;
}

inline const std::string kRule = " (letters, digits, \"_\" and \".\" only, beginning with a letter or \"_\")";

struct ExplainCase {
    const char* title;
    std::string config;  // empty: no quorlan.ini at all
    std::string cards;   // written as the input named by the configuration
    std::vector<std::string> present;  // lines that must appear, whole
    std::vector<std::string> absent;   // texts that must appear nowhere
    std::string input = {};            // the input's name when not the one the configuration names
    std::vector<std::string> sections = {};  // sections that must appear whole, heading first
    std::string left_over = {};        // a file written three hours ago beside them
};

inline std::string example(const std::string& name) { return read_file(fs::path(QUORLAN_EXAMPLES) / name); }

inline std::string input_name(const std::string& config) {
    std::string name = "import.vcf";
    std::istringstream in(config);
    for (std::string line; std::getline(in, line);) {
        std::string upper = line;
        for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (const auto p = upper.find(".VCF"); p != std::string::npos) name = line.substr(0, p) + ".vcf";
    }
    return name;
}

// Checks what the report says about one row's folder.
inline void check_case(const ExplainCase& c) {
    Folder f;
    if (!c.config.empty()) f.write("quorlan.ini", c.config);
    f.write(c.input.empty() ? input_name(c.config) : c.input, c.cards);
    if (!c.left_over.empty()) {
        f.write(c.left_over, "<?xml");
        fs::last_write_time(f.dir() / c.left_over, fs::file_time_type::clock::now() - std::chrono::hours(3));
    }
    const RunResult r = explain(f);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.err.empty()) << r.err;
    const std::vector<std::string> lines = lines_of(r.out);
    for (const std::string& wanted : c.present) EXPECT_TRUE(has_line(lines, wanted)) << wanted << "\n" << r.out;
    for (const std::string& unwanted : c.absent) {
        EXPECT_EQ(r.out.find(unwanted), std::string::npos) << unwanted << "\n" << r.out;
    }
    for (const std::string& section : c.sections) {
        EXPECT_EQ(section_of(r.out, section.substr(0, section.find('\n'))), section) << r.out;
    }
}

}  // namespace explain_test
