// The multistatus reader on arbitrary answers: never a crash, and the same responses,
// sync token and verdict whether the answer arrives whole or in pieces of any size, as
// it does from a network.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "carddav/multistatus.h"
#include "fuzz_support.h"

namespace {

using namespace quorlan;

struct Read {
    std::vector<std::string> responses;  // each response's fields, joined
    std::string token;
    bool well_formed = false;
    bool refuses_token = false;
};

std::string fields_of(const DavResponse& r) {
    return r.href + '\x01' + std::to_string(r.status) + '\x01' + r.etag + '\x01' + r.display_name + '\x01' +
        r.address_data + '\x01' + r.principal + '\x01' + r.home + (r.is_collection ? "C" : "") +
        (r.is_addressbook ? "A" : "");
}

Read read_in_pieces(std::string_view answer, std::size_t largest) {
    Read read;
    auto take = [&read](DavResponse& r) { read.responses.push_back(fields_of(r)); };
    MultistatusReader reader = make_multistatus_reader(take);
    bool fed = true;
    for (std::size_t calls = 0; fed && !answer.empty(); ++calls) {
        const std::size_t step = largest == 0 ? answer.size() : 1 + (calls * 7919) % largest;
        const std::size_t n = step < answer.size() ? step : answer.size();
        fed = feed_multistatus(reader, answer.substr(0, n));
        answer.remove_prefix(n);
    }
    read.well_formed = fed && finish_multistatus(reader);
    read.token = multistatus_sync_token(reader);
    read.refuses_token = multistatus_refuses_token(reader);
    if (!read.well_formed) FUZZ_CHECK(multistatus_error(reader).find("line ") != std::string::npos);
    return read;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view answer(reinterpret_cast<const char*>(data), size);
    const Read whole = read_in_pieces(answer, 0);
    const Read pieces = read_in_pieces(answer, 1 + size % 61);
    FUZZ_CHECK(whole.well_formed == pieces.well_formed);
    if (whole.well_formed) {
        FUZZ_CHECK(whole.responses == pieces.responses);
        FUZZ_CHECK(whole.token == pieces.token);
        FUZZ_CHECK(whole.refuses_token == pieces.refuses_token);
    }
    return 0;
}
