// Feeds arbitrary datagrams to the reply reader. The bytes come in a buffer
// of exactly their length, so any read past it is caught by AddressSanitizer;
// the checks below catch results that break the reader's own promises.

#include "codec/Reply.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

void Check(bool condition) {
    if (!condition)
        std::abort();
}

void CheckProjector(const codec::ProjectorReply& p) {
    std::size_t codeChars = 0;
    for (std::size_t b = 0; b < 4; ++b) {
        // n is at most 49, so a block's short text is 6 to 104 characters and
        // its filled text always 104.
        Check(p.shortText[b].size() >= 6 && p.shortText[b].size() <= 104 && p.shortText[b].size() % 2 == 0);
        Check(p.filledText[b].size() == 104);
        Check(p.filledText[b].compare(0, p.shortText[b].size(), p.shortText[b]) == 0);
        codeChars += p.shortText[b].size();
    }
    Check(p.codeText.size() == codeChars);
    Check(p.storedBundle.size() == 416);
    Check(codec::VideoTextFromCode(p.codeText).size() <= p.codeText.size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The window's address comes from the input too, so matching datagrams are
    // reachable: the first four bytes are the address, the rest the datagram.
    codec::Ip4 window{0xC0, 0xA8, 0x01, 0x64};
    if (size >= 4) {
        window = {data[0], data[1], data[2], data[3]};
        data += 4;
        size -= 4;
    }
    const codec::Reply reply = codec::ReadReply(data, size, window);
    switch (reply.outcome) {
    case codec::ReplyOutcome::Dropped:
        break;
    case codec::ReplyOutcome::OtherKind:
        Check(size >= 14);
        break;
    case codec::ReplyOutcome::ReceptionError:
        Check(reply.kind >= 1 && reply.kind <= 4);
        break;
    case codec::ReplyOutcome::Projector:
        Check(size >= 222 && (reply.kind == 1 || reply.kind == 2));
        CheckProjector(reply.projector);
        break;
    case codec::ReplyOutcome::IpSettings:
        Check(size >= 40 && reply.kind == 3);
        break;
    case codec::ReplyOutcome::Additional:
        Check(size >= 104 && reply.kind == 4);
        break;
    }
    return 0;
}
