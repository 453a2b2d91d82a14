// The field table against the wire: each field is filed under the reply that
// really carries it, and taking or clearing a part touches that part alone.
#include "Fields.h"

#include "codec/CodeBundle.h"
#include "codec/Reply.h"

#include <gtest/gtest.h>

namespace {

// Settings that differ from an empty value in every field.
session::SControllerSettings Full() {
    session::SControllerSettings s;
    s.initialIp = s.controllerIp = {10, 1, 2, 3};
    s.serverIp = {10, 1, 2, 9};
    s.maskIp = {255, 255, 255, 0};
    s.gatewayIp = {10, 1, 2, 254};
    s.bOneKey = true;
    s.nLockType = 0;
    s.nLockTime = 7;
    s.nDome = 1, s.nMic = 0, s.nKeyboard = 1;
    for (std::size_t p = 0; p < 2; ++p) {
        const codec::ProjectorCodes codes{"9600", "无", p == 0 ? "0A0B" : "1C1D", "0E", "0F", "10"};
        s.projectors[p].strCode = codec::BuildCodeBundle(codes).bundle;
    }
    for (std::size_t i = 0; i < s.mics.size(); ++i)
        s.mics[i] = {"1", std::to_string(i % 3), "0", "2"};
    return s;
}

TEST(FieldsTest, EachFieldIsCarriedByTheReplyItIsFiledUnder) {
    const session::SControllerSettings full = Full();
    const session::SControllerSettings empty;
    const auto steps = codec::BuildSetSequence(session::ToSetValues(full), session::ToMicRows(full));
    for (std::size_t nPart = 0; nPart < session::kReplyParts; ++nPart) {
        // The setting datagram of this part, read back as its reply alone.
        codec::Datagram d = steps[nPart].datagram;
        d[6] = 'F';
        d[7] = 'H';
        session::SReadResult one;
        session::ApplyReply(codec::ReadReply(d.data(), d.size(), full.initialIp), one);
        for (const session::SFieldDef& f : session::Fields()) {
            const bool bCarried = !f.pfnSame(one.settings, empty);
            EXPECT_EQ(bCarried, f.nPart == nPart) << f.strKey << " in reply " << nPart + 1;
        }
    }
}

TEST(FieldsTest, TakingOrClearingAPartTouchesThatPartAlone) {
    const session::SControllerSettings full = Full();
    EXPECT_EQ(session::Fields().size(), 12u + codec::kMicEntries);
    for (std::size_t nPart = 0; nPart < session::kReplyParts; ++nPart) {
        session::SControllerSettings cleared = full;
        session::ClearPart(nPart, cleared);
        session::SControllerSettings taken;
        session::TakePart(full, nPart, taken);
        for (const session::SFieldDef& f : session::Fields()) {
            const bool bInPart = f.nPart == nPart;
            EXPECT_EQ(f.pfnSame(cleared, full), !bInPart) << f.strKey;
            EXPECT_EQ(f.pfnSame(taken, full), bInPart) << f.strKey;
        }
        session::TakePart(full, nPart, cleared);
        EXPECT_EQ(cleared, full);
    }
}

} // namespace
