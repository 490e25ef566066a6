// The multistatus reader: elements known by namespace whatever the prefix, the properties
// of a propstat other than 200 left out, faults named with their place.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "carddav/card_folder.h"
#include "carddav/multistatus.h"

namespace quorlan {
namespace {

struct Read {
    std::vector<DavResponse> responses;
    bool ok = false;
    std::string error, token;
    bool refuses_token = false;
};

Read read(const std::string& answer) {
    Read r;
    auto collect = [&r](DavResponse& response) { r.responses.push_back(response); };
    MultistatusReader reader = make_multistatus_reader(collect);
    r.ok = feed_multistatus(reader, answer) && finish_multistatus(reader);
    if (!r.ok) r.error = multistatus_error(reader);
    r.token = multistatus_sync_token(reader);
    r.refuses_token = multistatus_refuses_token(reader);
    return r;
}

TEST(Multistatus, NamespacesNotPrefixes) {
    const std::string bodies[] = {
        R"(<D:multistatus xmlns:D="DAV:" xmlns:C="urn:ietf:params:xml:ns:carddav"><D:response><D:href>/b/a.vcf</D:href><D:propstat><D:prop><D:getetag>"1"</D:getetag><C:address-data>BEGIN:VCARD</C:address-data></D:prop><D:status>HTTP/1.1 200 OK</D:status></D:propstat></D:response><D:sync-token>t1</D:sync-token></D:multistatus>)",
        R"(<multistatus xmlns="DAV:"><response><href>/b/a.vcf</href><propstat><status>HTTP/1.1 200 OK</status><prop><getetag>"1"</getetag><address-data xmlns="urn:ietf:params:xml:ns:carddav">BEGIN:VCARD</address-data></prop></propstat></response><sync-token> t1 </sync-token></multistatus>)",
        R"(<ns0:multistatus xmlns:ns0="DAV:" xmlns:ns1="urn:ietf:params:xml:ns:carddav"><ns0:response><ns0:href>/b/a.vcf</ns0:href><ns0:propstat><ns0:prop><ns0:getetag>"1"</ns0:getetag><ns1:address-data>BEGIN:VCARD</ns1:address-data><ns0:displayname>x</ns0:displayname></ns0:prop><ns0:status>HTTP/1.1 200 OK</ns0:status></ns0:propstat><ns0:propstat><ns0:prop><ns0:getetag>"2"</ns0:getetag></ns0:prop><ns0:status>HTTP/1.1 404 Not Found</ns0:status></ns0:propstat></ns0:response><ns0:sync-token>t1</ns0:sync-token></ns0:multistatus>)",
    };
    for (const std::string& body : bodies) {
        const Read r = read(body);
        ASSERT_TRUE(r.ok) << r.error;
        ASSERT_EQ(r.responses.size(), 1u) << body;
        EXPECT_EQ(r.responses[0].href, "/b/a.vcf");
        EXPECT_EQ(r.responses[0].status, 200);
        EXPECT_EQ(r.responses[0].etag, "\"1\"");  // not the 404 propstat's
        EXPECT_EQ(r.responses[0].address_data, "BEGIN:VCARD");
        EXPECT_EQ(r.token, "t1");
    }
    // The same local names in another namespace are no WebDAV elements.
    const Read other = read(R"(<multistatus xmlns="urn:other"><response><href>/x</href></response></multistatus>)");
    EXPECT_TRUE(other.ok);
    EXPECT_TRUE(other.responses.empty());
}

TEST(Multistatus, StatusesFaultsAndRefusals) {
    const Read gone = read(R"(<d:multistatus xmlns:d="DAV:"><d:response><d:href>/b/</d:href><d:status>HTTP/1.1 507 Insufficient Storage</d:status></d:response></d:multistatus>)");
    ASSERT_EQ(gone.responses.size(), 1u);
    EXPECT_EQ(gone.responses[0].status, 507);
    EXPECT_TRUE(read(R"(<error xmlns="DAV:"><valid-sync-token/></error>)").refuses_token);

    const Read broken = read("<multistatus xmlns=\"DAV:\">\n<response></respons>");
    EXPECT_FALSE(broken.ok);
    EXPECT_NE(broken.error.find("line 2, column"), std::string::npos) << broken.error;
    const Read doctype = read("<!DOCTYPE m [<!ENTITY a \"b\">]><m>&a;</m>");
    EXPECT_FALSE(doctype.ok);
    EXPECT_NE(doctype.error.find("document type declaration"), std::string::npos) << doctype.error;
    const Read cut = read(R"(<d:multistatus xmlns:d="DAV:"><d:response><d:href>/b/a</d:href><d:status>HTTP/1.1 20</d:status></d:response></d:multistatus>)");
    ASSERT_EQ(cut.responses.size(), 1u);
    EXPECT_EQ(cut.responses[0].status, 0);  // a status line without three digits gives none
}

TEST(CardFolder, HrefKeysAndFileNames) {
    EXPECT_EQ(href_key("https://h:8443/b/J%C3%A1n%20N.vcf"), href_key("/b/J\xC3\xA1n N.vcf"));
    FolderState state;
    state.cards["/b/a.vcf"] = KeptCard{"/b/a.vcf", "1", "a.vcf"};
    FolderChanges changes = begin_folder_changes("folder", state);
    EXPECT_EQ(card_file_name("/b/A.VCF", changes), "A.vcf");
    EXPECT_EQ(card_file_name("/other/a.vcf", changes), "a-2.vcf");  // a.vcf is another card's
    EXPECT_EQ(card_file_name("/b/..", changes), "card...vcf");      // never hidden
    EXPECT_EQ(card_file_name("/b/x%2F..%2Fy", changes), "x%2F..%2Fy.vcf");
    EXPECT_EQ(card_file_name("/b/a\\b:c", changes), "a_b_c.vcf");
}

}  // namespace
}  // namespace quorlan
