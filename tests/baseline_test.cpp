// Baseline files: for a few real exports of tests/data/vcards, what `--init`, a run,
// `--explain` and `--init --for` each family print and write, kept as one transcript per
// export under tests/data/baselines and compared byte for byte. After an intended change,
// scripts/update-baselines rewrites them; the diff is what a reviewer reads.
#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>
#include <string>
#include <vector>

#include "e2e_support.h"

namespace {

using e2e::Folder;
using e2e::read_file;
using e2e::RunResult;

// Exports chosen for what they exercise: Apple labels and photos, vCard 2.1 with
// quoted-printable and charsets, Cyrillic text, a UTF-16 file, a book of many cards.
const std::array<const char*, 5> kExports = {
    "mangstadt-ez-vcard/John_Doe_IPHONE.vcf",
    "LineageOS-android_frameworks_opt_vcard/v21_complicated.vcf",
    "FolkerKinzel-VCards/Ukrainian.vcf",
    "roundcube-roundcubemail/utf-16_sample.vcf",
    "pohly-syncevolution/Google-CardDAV.vcf",
};

const std::array<const char*, 6> kFamilies = {"yealink", "cisco", "grandstream", "snom", "fritzbox", "polycom"};

// Appends one step of the transcript: the command, its status, what it printed, and the
// files it left that were not there before it, in name order.
void record_step(std::string& transcript, const Folder& folder, const std::string& arguments) {
    const std::vector<std::string> before = folder.names();
    const RunResult r = folder.run(arguments);
    transcript += "$ quorlan" + (arguments.empty() ? "" : " " + arguments) + "\nstatus " +
                  std::to_string(r.status) + "\n";
    if (!r.out.empty()) transcript += "--- standard output\n" + r.out;
    if (!r.err.empty()) transcript += "--- standard error\n" + r.err;
    for (const std::string& name : folder.names()) {
        if (std::find(before.begin(), before.end(), name) == before.end()) {
            transcript += "--- file " + name + "\n" + folder.read(name);
        }
    }
    transcript += "\n";
}

std::string transcript_of(const std::string& card_path) {
    const fs::path source = fs::path(QUORLAN_TEST_DATA) / "vcards" / card_path;
    const std::string card_file = source.filename().string();
    std::string transcript;
    auto steps = [&](const std::string& init_arguments) {
        Folder f;
        f.write(card_file, read_file(source));
        record_step(transcript, f, init_arguments + card_file);
        record_step(transcript, f, "");
        record_step(transcript, f, "--explain");
    };
    steps("--init ");
    {
        // The exact reading, which --init never writes: bytes as they stand, folded to ASCII.
        Folder f;
        f.write(card_file, read_file(source));
        const std::string ini = card_file + "\r\nphonebook.xml\r\nASCII=1\r\nNAME*=N:\r\nFULL=FN\r\n"
                                "MOBILE#=TEL;CELL\r\nPHONE#=TEL\r\nMAIL=EMAIL\r\nNOTE=NOTE\r\n";
        f.write("quorlan.ini", ini);
        transcript += "--- quorlan.ini as the test writes it\n" + ini + "\n";
        record_step(transcript, f, "");
        record_step(transcript, f, "--explain");
    }
    for (const char* family : kFamilies) steps(std::string("--init --for ") + family + " ");
    return transcript;
}

class Baseline : public ::testing::TestWithParam<const char*> {};

TEST_P(Baseline, ReportsAndDocumentsAsStored) {
    // The Windows build's console ends lines with CR LF and its charsets are the code
    // pages Windows has, so its reports differ by nature; the files are Linux's.
    if (e2e::windows_build()) GTEST_SKIP() << "baselines hold the Linux build's reports";
    const std::string path = GetParam();
    const fs::path stored =
        fs::path(QUORLAN_TEST_DATA) / "baselines" / (fs::path(path).stem().string() + ".txt");
    const std::string transcript = transcript_of(path);
    if (std::getenv("QUORLAN_UPDATE_BASELINES") != nullptr) {
        fs::create_directories(stored.parent_path());
        e2e::write_file(stored, transcript);
    }
    ASSERT_TRUE(fs::exists(stored)) << stored << ": run scripts/update-baselines";
    const std::string expected = read_file(stored);
    if (transcript == expected) return;
    // Name the first line that differs; the whole diff is for `git diff` after an update.
    std::size_t line = 1, at = 0;
    while (at < transcript.size() && at < expected.size() && transcript[at] == expected[at]) {
        if (transcript[at++] == '\n') ++line;
    }
    const auto line_at = [](const std::string& text, std::size_t from) {
        const std::size_t start = text.rfind('\n', from == 0 ? 0 : from - 1);
        const std::size_t begin = start == std::string::npos ? 0 : start + 1;
        return text.substr(begin, text.find('\n', begin) - begin);
    };
    ADD_FAILURE() << stored << " differs from line " << line << ":\n  stored: " << line_at(expected, at)
                  << "\n  now:    " << line_at(transcript, at);
}

std::string export_name(const ::testing::TestParamInfo<const char*>& param) {
    std::string name = fs::path(param.param).stem().string();
    for (char& c : name) {
        if (std::isalnum(static_cast<unsigned char>(c)) == 0) c = '_';
    }
    return name;
}

INSTANTIATE_TEST_SUITE_P(Exports, Baseline, ::testing::ValuesIn(kExports), export_name);

}  // namespace
