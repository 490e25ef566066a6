// The template's split into its parts and the faults that stop a run, with their places.
#include <gtest/gtest.h>

#include "templates/template.h"

namespace quorlan {
namespace {

struct FaultCase {
    const char* text;
    const char* message;  // a part of it
    std::size_t line, column;
};

TEST(Template, FaultsNameTheirPlace) {
    const FaultCase cases[] = {
        {"<a>{{#records}}\n", "{{#records}} is not closed", 1, 4},
        {"{{#records}}{{/records}}\n{{/x}}", "{{/x}} closes no section", 2, 1},
        {"{{#records}}{{#a}}{{/records}}{{/a}}", "where {{/a}} was due", 1, 19},
        {"<a/>\n", "no {{#records}}", 0, 0},
        {"{{#records}}{{/records}}{{#records}}{{/records}}", "a second {{#records}}", 1, 25},
        {"{{#a}}{{#records}}{{/records}}{{/a}}", "inside {{#a}}", 1, 7},
        {"ž\r\n  {{name", "not closed", 2, 3},  // columns count characters, CR LF is one line end
        {"{{#records}}{{>part}}{{/records}}", "partials", 1, 13},
        {"{{=<% %>=}}{{#records}}{{/records}}", "delimiters", 1, 1},
        {"{{#records}}{{^records}}{{/records}}", "{{^records}}", 1, 13},
        {"{{#records}}{{}}{{/records}}", "without a name", 1, 13},
        // An unclosed tag is named where it opens, not where the braces of a later tag close it.
        {"<a>\n{{#records}}\n<c>{{MOBILE</c>\n{{/records}}", "a tag that is not closed", 3, 4},
    };
    for (const FaultCase& c : cases) {
        TemplateText parts;
        TemplateFault fault;
        EXPECT_FALSE(split_template(c.text, parts, fault)) << c.text;
        EXPECT_NE(fault.message.find(c.message), std::string::npos) << c.text << ": " << fault.message;
        EXPECT_EQ(fault.line, c.line) << c.text;
        EXPECT_EQ(fault.column, c.column) << c.text;
    }
}

TEST(Template, SplitsAtTheRecordsAndCutsLinesOfSectionTagsAlone) {
    TemplateText parts;
    TemplateFault fault;
    ASSERT_TRUE(split_template("<a>\n{{! note }}\n  {{#records}}  \n{{#M}}\n<m>{{M}}</m>\r{{/M}}\n{{/records}}\n</a>",
                               parts, fault))
        << fault.message;
    EXPECT_EQ(parts.before, "<a>\r\n{{! note }}");
    EXPECT_EQ(parts.record, "{{#M}}<m>{{M}}</m>\r\n{{/M}}");
    EXPECT_EQ(parts.after, "</a>");
    ASSERT_EQ(parts.names.size(), 2u);
    EXPECT_EQ(parts.names[0].name, "M");
    EXPECT_EQ(parts.names[0].line, 4u);
    EXPECT_EQ(parts.names[1].part, TemplatePart::Record);
    // A section that shares its line with text is cut at its tags.
    ASSERT_TRUE(split_template("<a>\n<b>{{#records}}<c>{{M}}</c>{{/records}}</b>\n</a>", parts, fault)) << fault.message;
    EXPECT_EQ(parts.before, "<a>\r\n<b>");
    EXPECT_EQ(parts.record, "<c>{{M}}</c>");
    EXPECT_EQ(parts.after, "</b>\r\n</a>");
}

TEST(Template, NamesAndComponents) {
    std::size_t component = 9;
    EXPECT_EQ(base_name("N.2", component), "N");
    EXPECT_EQ(component, 2u);
    EXPECT_EQ(base_name("A.B", component), "A.B");
    EXPECT_EQ(component, 0u);
    EXPECT_EQ(base_name("N.0", component), "N.0");
    EXPECT_TRUE(unspellable("MOBILE").empty());
    for (const char* name : {"", "TEL ", "A.B", "{X", "X}", "A#", "^", "/", "!", "&", "=", ">"}) {
        EXPECT_FALSE(unspellable(name).empty()) << name;
    }
}

}  // namespace
}  // namespace quorlan
