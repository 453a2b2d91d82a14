// The engine against a scripted transport and clock: reads complete and
// partial, the Set's schedule, read-back with match, mismatch and give-up,
// an address move, and many controllers at once.

#include "SessionFakes.h"

#include <gtest/gtest.h>

namespace {

using namespace sessiontest;
using session::CSessionEngine;
using session::EStage;
using session::EWriteOutcome;
using session::SControllerSettings;
using session::SWriteRequest;

const Ip4 kHere{10, 1, 2, 50};
const Ip4 kThere{10, 1, 2, 60};

// What NetworkReply/DeviceReply/Bundle describe, as settings to send.
SControllerSettings Settings(const Ip4& from, const Ip4& to) {
    SControllerSettings s;
    s.initialIp = from;
    s.controllerIp = to;
    s.serverIp = {10, 1, 2, 3};
    s.maskIp = {255, 255, 254, 0};
    s.gatewayIp = {10, 1, 2, 254};
    s.bOneKey = true;
    s.nLockType = 0;
    s.nLockTime = 30;
    s.nDome = 1;
    s.nMic = 0;
    s.nKeyboard = 1;
    s.projectors[0] = {Bundle("0A1B2C3D"), "X"};
    s.projectors[1] = {"", ""};
    s.mics[0] = {"1", "3", "16", "-1"};
    return s;
}

class SessionEngineTest : public ::testing::Test {
protected:
    SessionEngineTest() { transport.pNow = &now; }

    std::unique_ptr<CSessionEngine> Make(session::SSessionTiming timing = {}) {
        auto engine = std::make_unique<CSessionEngine>(transport, recorder, timing);
        engine->SetModelLookup([](const std::string& video) {
            session::SModelLookup found;
            if (video == "0a1b2c3d")
                found.models = {"W", "X"};
            return found;
        });
        return engine;
    }

    void Feed(CSessionEngine& e, const codec::Datagram& d) { e.OnDatagram(d.data(), d.size(), now); }
    void RunTo(CSessionEngine& e, TimeMs t) {
        while (auto next = e.NextDeadline()) {
            if (*next > t)
                break;
            now = std::max(now, *next);
            e.Advance(now);
        }
        now = t;
        e.Advance(now);
    }
    void FeedReadBack(CSessionEngine& e, const Ip4& at) {
        Feed(e, ProjectorReply(1, at, Bundle("0A1B2C3D")));
        Feed(e, EmptyProjectorReply(2, at));
        Feed(e, NetworkReply(at, at));
        Feed(e, DeviceReply(at));
    }
    SWriteRequest Write(const Ip4& from, const Ip4& to) {
        SWriteRequest r;
        r.settings = Settings(from, to);
        r.bReadFirst = false;
        return r;
    }

    TimeMs now = 0;
    CFakeTransport transport;
    CRecorder recorder;
};

TEST_F(SessionEngineTest, ReadSendsTheQueryAndGathersAllFourReplies) {
    auto engine = Make();
    const auto id = engine->StartRead({192, 168, 1, 100}, now);
    ASSERT_EQ(transport.sent.size(), 1u);
    EXPECT_EQ(transport.sent[0].datagram, testbytes::Hex("4B564D505248 535A C0A80164 00 05"));
    EXPECT_EQ(transport.sent[0].to, (Ip4{192, 168, 1, 100}));

    const Ip4 a{192, 168, 1, 100};
    now = 120;
    Feed(*engine, DeviceReply(a));
    Feed(*engine, NetworkReply(a, a, 0x00));
    Feed(*engine, ProjectorReply(1, a, Bundle("0A1B2C3D")));
    EXPECT_TRUE(recorder.reads.empty());
    Feed(*engine, ProjectorReply(2, a, Bundle("77")));
    ASSERT_EQ(recorder.reads.count(id), 1u);
    const auto& r = recorder.reads[id];
    EXPECT_TRUE(r.Complete());
    EXPECT_TRUE(r.MissingParts().empty());
    EXPECT_EQ(r.nAnswerMs, 120);
    const auto& s = r.settings;
    EXPECT_EQ(s.serverIp, (Ip4{10, 1, 2, 3}));
    EXPECT_EQ(s.maskIp, (Ip4{255, 255, 254, 0}));
    EXPECT_EQ(s.gatewayIp, (Ip4{10, 1, 2, 254}));
    EXPECT_TRUE(s.bOneKey);
    EXPECT_EQ(s.nLockType, 0);
    EXPECT_EQ(s.nLockTime, 0);
    EXPECT_EQ(s.nDome, 1);
    EXPECT_EQ(s.nMic, 0);
    EXPECT_EQ(s.nKeyboard, 1);
    EXPECT_EQ(s.mics[0], (session::SMicEntry{"1", "3", "16", "-1"}));
    EXPECT_EQ(s.mics[19], (session::SMicEntry{"-1", "-1", "-1", "-1"}));
    // The last of two matching rows names the model; an unknown code is said so.
    EXPECT_EQ(s.projectors[0].strModel, "X");
    EXPECT_EQ(s.projectors[1].strModel, "未知投影机型号");
    EXPECT_EQ(s.projectors[0].strCode, "f401050a1b2c3d00" + testbytes::Repeat("FF", 44) +
                                           testbytes::Repeat("f4020100" + testbytes::Repeat("FF", 48), 1) +
                                           "f4030100" + testbytes::Repeat("FF", 48) + "f4040100" +
                                           testbytes::Repeat("FF", 48));
    EXPECT_TRUE(engine->Idle());
}

struct PartialCase {
    const char* name;
    std::vector<int> kinds; // replies that arrive
    std::vector<session::EReplyPart> missing;
};

class ReadPartialTest : public SessionEngineTest, public ::testing::WithParamInterface<PartialCase> {};

TEST_P(ReadPartialTest, EndsAtTheThirdTickNamingWhatIsMissing) {
    auto engine = Make();
    const auto id = engine->StartRead(kHere, now);
    now = 500;
    for (int kind : GetParam().kinds) {
        if (kind <= 2)
            Feed(*engine, ProjectorReply(kind, kHere, Bundle("0A1B2C3D")));
        else if (kind == 3)
            Feed(*engine, NetworkReply(kHere, kHere));
        else
            Feed(*engine, DeviceReply(kHere));
    }
    RunTo(*engine, 2999);
    EXPECT_TRUE(recorder.reads.empty());
    RunTo(*engine, 3000);
    ASSERT_EQ(recorder.reads.count(id), 1u);
    const auto& r = recorder.reads[id];
    EXPECT_FALSE(r.Complete());
    EXPECT_EQ(r.MissingParts(), GetParam().missing);
    for (int kind = 1; kind <= 4; ++kind) {
        const bool arrived =
            std::find(GetParam().kinds.begin(), GetParam().kinds.end(), kind) != GetParam().kinds.end();
        EXPECT_EQ(r.received[static_cast<std::size_t>(kind - 1)], arrived) << kind;
    }
    EXPECT_EQ(transport.sent.size(), 1u) << "one attempt asks once";
}

INSTANTIATE_TEST_SUITE_P(
    Parts, ReadPartialTest,
    ::testing::Values(PartialCase{"projector2", {1, 3, 4}, {session::kPartProjector2}},
                      PartialCase{"devices", {1, 2, 3}, {session::kPartDevices}},
                      PartialCase{"two", {2, 4}, {session::kPartProjector1, session::kPartNetwork}},
                      PartialCase{"none",
                                  {},
                                  {session::kPartProjector1, session::kPartProjector2, session::kPartNetwork,
                                   session::kPartDevices}}),
    [](const auto& info) { return info.param.name; });

// Datagrams that must not count as replies: they leave a read empty.
struct NotAReply {
    const char* name;
    codec::Datagram datagram;
};

class NotAReplyTest : public SessionEngineTest, public ::testing::WithParamInterface<NotAReply> {};

TEST_P(NotAReplyTest, LeavesTheReadWithoutAnswer) {
    auto engine = Make();
    const auto id = engine->StartRead(kHere, now);
    Feed(*engine, GetParam().datagram);
    RunTo(*engine, 3000);
    ASSERT_EQ(recorder.reads.count(id), 1u);
    EXPECT_FALSE(recorder.reads[id].Any());
    EXPECT_EQ(recorder.reads[id].nAnswerMs, -1);
}

codec::Datagram WrongPrefix() {
    auto d = NetworkReply(kHere, kHere);
    d[5] = 'X';
    return d;
}

codec::Datagram RequestMarker() {
    auto d = NetworkReply(kHere, kHere);
    d[6] = 'S';
    d[7] = 'Z';
    return d;
}

INSTANTIATE_TEST_SUITE_P(Datagrams, NotAReplyTest,
                         ::testing::Values(NotAReply{"other_address", NetworkReply(kThere, kThere)},
                                           NotAReply{"wrong_prefix", WrongPrefix()},
                                           NotAReply{"request_marker", RequestMarker()},
                                           NotAReply{"header_only", ReplyHead(3, kHere, 14)},
                                           NotAReply{"short_kind3", ReplyHead(3, kHere, 39)},
                                           NotAReply{"kind5", ReplyHead(5, kHere, 40)},
                                           NotAReply{"too_short", testbytes::Hex("4B564D505248")}),
                         [](const auto& info) { return info.param.name; });

TEST_F(SessionEngineTest, WrongPrefixIsReportedAsAReceptionError) {
    auto engine = Make();
    const auto id = engine->StartRead(kHere, now);
    Feed(*engine, WrongPrefix());
    ASSERT_EQ(recorder.replies.size(), 1u);
    EXPECT_EQ(recorder.replies[0].first, id);
    EXPECT_EQ(recorder.replies[0].second.reply.outcome, codec::ReplyOutcome::ReceptionError);
    EXPECT_EQ(recorder.replies[0].second.reply.kind, 3);
}

TEST_F(SessionEngineTest, SecondAttemptAsksAgainAndKeepsWhatCameBefore) {
    session::SSessionTiming timing;
    timing.nReadAttempts = 2;
    auto engine = Make(timing);
    const auto id = engine->StartRead(kHere, now);
    Feed(*engine, ProjectorReply(1, kHere, Bundle("0A1B2C3D")));
    Feed(*engine, NetworkReply(kHere, kHere));
    Feed(*engine, DeviceReply(kHere));
    RunTo(*engine, 3000);
    ASSERT_EQ(transport.sent.size(), 2u);
    EXPECT_EQ(transport.sent[1].tAt, 3000);
    EXPECT_TRUE(recorder.reads.empty());
    now = 3100;
    Feed(*engine, ProjectorReply(2, kHere, Bundle("77")));
    ASSERT_EQ(recorder.reads.count(id), 1u);
    EXPECT_TRUE(recorder.reads[id].Complete());
}

TEST_F(SessionEngineTest, SetGoesOutInOrderWithItsRealPauses) {
    auto engine = Make();
    const auto id = engine->StartWrite(Write(kHere, kThere), now);
    RunTo(*engine, 20000);
    ASSERT_EQ(transport.sent.size(), 5u);
    const std::vector<TimeMs> at{0, 2000, 4000, 6000, 10000};
    const std::vector<std::size_t> length{222, 222, 40, 184, 14};
    for (std::size_t i = 0; i < 5; ++i) {
        const SSent& s = transport.sent[i];
        EXPECT_EQ(s.tAt, at[i]) << i;
        EXPECT_EQ(s.datagram.size(), length[i]) << i;
        EXPECT_EQ(s.datagram[13], i + 1) << i;
        EXPECT_EQ(s.to, i < 4 ? kHere : kThere) << i;
    }
    // The closing query names the new address.
    EXPECT_EQ(transport.sent[4].datagram, testbytes::Hex("4B564D505248 535A 0A01023C 00 05"));
    // Network settings: server, new controller address, mask, gateway, one-key, pulse lock of 30 s.
    std::vector<std::uint8_t> network(40, 0);
    testbytes::Place(network, 0, "4B564D505248 535A 0A010232 00 03 0A010203 0A01023C FFFFFE00 0A0102FE");
    testbytes::Place(network, 36, "AAAA 01 1E");
    EXPECT_EQ(transport.sent[2].datagram, network);
    // Device settings: SONY, daisy chain, wireless keyboard; mic 1 as 02 04 11 FF, the rest FF.
    std::vector<std::uint8_t> device(184, 0xFF);
    testbytes::Place(device, 0, "4B564D505248 535A 0A010232 00 04 020102");
    testbytes::Place(device, 24, "020411FF");
    EXPECT_EQ(transport.sent[3].datagram, device);
    ASSERT_EQ(recorder.steps.size(), 5u);
    EXPECT_EQ(recorder.steps.back(), std::make_pair(id, 5));
}

TEST_F(SessionEngineTest, ScaledPausesKeepTheirProportions) {
    session::SSessionTiming timing;
    timing.dPauseScale = 0.01;
    auto engine = Make(timing);
    engine->StartWrite(Write(kHere, kHere), now);
    RunTo(*engine, 1000);
    ASSERT_GE(transport.sent.size(), 5u);
    EXPECT_EQ(transport.sent[1].tAt, 20);
    EXPECT_EQ(transport.sent[3].tAt, 60);
    EXPECT_EQ(transport.sent[4].tAt, 100);
}

TEST_F(SessionEngineTest, ReadBackThatMatchesConfirmsWithEveryFieldEqual) {
    auto engine = Make();
    const auto id = engine->StartWrite(Write(kHere, kHere), now);
    RunTo(*engine, 10000);
    now = 10200;
    FeedReadBack(*engine, kHere);
    ASSERT_EQ(recorder.writes.count(id), 1u);
    const auto& w = recorder.writes[id];
    EXPECT_EQ(w.eOutcome, EWriteOutcome::Confirmed);
    EXPECT_EQ(w.eStop, session::EWriteStop::None);
    EXPECT_EQ(w.fields.size(), 32u);
    for (const auto& f : w.fields)
        EXPECT_TRUE(f.bEqual) << f.strField << ": " << f.strSent << " / " << f.strRead;
    // The empty projector 2 slot read back empty is a match.
    EXPECT_EQ(w.fields[11].strField, "projector2");
    EXPECT_EQ(w.fields[11].strSent, "(空)");
    EXPECT_EQ(w.fields[10].strRead, "X");
}

struct MismatchCase {
    const char* name;
    std::function<void(SControllerSettings&)> change; // what was sent differently from the read-back
    const char* field;
    const char* sent;
    const char* read;
};

class ReadBackMismatchTest : public SessionEngineTest, public ::testing::WithParamInterface<MismatchCase> {};

TEST_P(ReadBackMismatchTest, NamesExactlyTheFieldThatDiffers) {
    auto engine = Make();
    SWriteRequest request = Write(kHere, kHere);
    GetParam().change(request.settings);
    const auto id = engine->StartWrite(request, now);
    RunTo(*engine, 10000);
    FeedReadBack(*engine, kHere);
    ASSERT_EQ(recorder.writes.count(id), 1u);
    const auto& w = recorder.writes[id];
    EXPECT_EQ(w.eOutcome, EWriteOutcome::Different);
    EXPECT_EQ(session::DifferentFields(w.fields), GetParam().field);
    for (const auto& f : w.fields) {
        if (f.strField != GetParam().field)
            continue;
        EXPECT_EQ(f.strSent, GetParam().sent);
        EXPECT_EQ(f.strRead, GetParam().read);
    }
    EXPECT_EQ(session::DifferentFields(w.fields), GetParam().field);
}

INSTANTIATE_TEST_SUITE_P(
    Fields, ReadBackMismatchTest,
    ::testing::Values(
        MismatchCase{"lock_time", [](SControllerSettings& s) { s.nLockTime = 0; }, "lock_time", "0.5", "30"},
        MismatchCase{"server",
                     [](SControllerSettings& s) {
                         s.serverIp = {10, 1, 2, 4};
                     },
                     "server_ip", "10.1.2.4", "10.1.2.3"},
        MismatchCase{"one_key", [](SControllerSettings& s) { s.bOneKey = false; }, "one_key", "关", "开"},
        MismatchCase{"keyboard", [](SControllerSettings& s) { s.nKeyboard = 0; }, "keyboard", "普通键盘",
                     "无线触摸键盘"},
        MismatchCase{"mic20",
                     [](SControllerSettings& s) {
                         s.mics[19] = {"2", "0", "-1", "5"};
                     },
                     "mic20", "2,0,-1,5", "-1,-1,-1,-1"},
        MismatchCase{"projector2_not_empty",
                     [](SControllerSettings& s) {
                         s.projectors[1] = {Bundle("0A1B2C3D"), "X"};
                     },
                     "projector2", "X", "(空)"}),
    [](const auto& info) { return info.param.name; });

TEST_F(SessionEngineTest, LevelLockSendsNoTimeSoAnyTimeSentStillMatches) {
    auto engine = Make();
    SWriteRequest request = Write(kHere, kHere);
    request.settings.nLockType = 1;
    request.settings.nLockTime = 77;
    const auto id = engine->StartWrite(request, now);
    RunTo(*engine, 10000);
    EXPECT_EQ(transport.sent[2].datagram[38], 0x02);
    EXPECT_EQ(transport.sent[2].datagram[39], 0xFF);
    auto network = NetworkReply(kHere, kHere, 0xFF);
    network[38] = 0x02;
    Feed(*engine, ProjectorReply(1, kHere, Bundle("0A1B2C3D")));
    Feed(*engine, EmptyProjectorReply(2, kHere));
    Feed(*engine, network);
    Feed(*engine, DeviceReply(kHere));
    EXPECT_EQ(recorder.writes[id].eOutcome, EWriteOutcome::Confirmed);
}

TEST_F(SessionEngineTest, GivesUpFiveTicksAfterTheClosingQuery) {
    auto engine = Make();
    const auto id = engine->StartWrite(Write(kHere, kHere), now);
    RunTo(*engine, 14999);
    EXPECT_TRUE(recorder.writes.empty());
    RunTo(*engine, 15000);
    ASSERT_EQ(recorder.writes.count(id), 1u);
    EXPECT_EQ(recorder.writes[id].eOutcome, EWriteOutcome::NoReadBack);
    EXPECT_TRUE(recorder.writes[id].fields.empty());
    EXPECT_TRUE(recorder.writes[id].fields.empty());
}

TEST_F(SessionEngineTest, RepliesWhileSendingCannotConfirm) {
    auto engine = Make();
    const auto id = engine->StartWrite(Write(kHere, kHere), now);
    RunTo(*engine, 5000);
    // A late answer to an earlier query, naming exactly what is being sent.
    FeedReadBack(*engine, kHere);
    ASSERT_EQ(recorder.replies.size(), 4u);
    for (const auto& [replyId, e] : recorder.replies) {
        EXPECT_EQ(replyId, id);
        EXPECT_EQ(e.eStage, EStage::Sending);
    }
    RunTo(*engine, 15000);
    EXPECT_EQ(transport.sent.size(), 5u);
    ASSERT_EQ(recorder.writes.count(id), 1u);
    EXPECT_EQ(recorder.writes[id].eOutcome, EWriteOutcome::NoReadBack);
}

TEST_F(SessionEngineTest, PartialReadBackIsNotAConfirmation) {
    auto engine = Make();
    const auto id = engine->StartWrite(Write(kHere, kHere), now);
    RunTo(*engine, 10000);
    Feed(*engine, ProjectorReply(1, kHere, Bundle("0A1B2C3D")));
    Feed(*engine, NetworkReply(kHere, kHere));
    Feed(*engine, DeviceReply(kHere));
    RunTo(*engine, 15000);
    const auto& w = recorder.writes[id];
    EXPECT_EQ(w.eOutcome, EWriteOutcome::Different);
    EXPECT_EQ(w.readBack.MissingParts(), std::vector<session::EReplyPart>{session::kPartProjector2});
    EXPECT_EQ(session::DifferentFields(w.fields), "projector2");
    EXPECT_EQ(w.fields[11].strRead, "(未收到)");
}

TEST_F(SessionEngineTest, MovedControllerIsReadBackAtItsNewAddress) {
    auto engine = Make();
    const auto id = engine->StartWrite(Write(kHere, kThere), now);
    RunTo(*engine, 10000);
    // Answers from the old address no longer belong to this Set.
    FeedReadBack(*engine, kHere);
    EXPECT_TRUE(recorder.writes.empty());
    Feed(*engine, ProjectorReply(1, kThere, Bundle("0A1B2C3D")));
    Feed(*engine, EmptyProjectorReply(2, kThere));
    Feed(*engine, NetworkReply(kThere, kThere));
    Feed(*engine, DeviceReply(kThere));
    ASSERT_EQ(recorder.writes.count(id), 1u);
    EXPECT_EQ(recorder.writes[id].eOutcome, EWriteOutcome::Confirmed);
    EXPECT_EQ(recorder.writes[id].readBack.settings.initialIp, kThere);
}

TEST_F(SessionEngineTest, ProjectorReadBackReportsWhetherTheSentModelCameBack) {
    auto engine = Make();
    SWriteRequest request = Write(kHere, kHere);
    request.settings.projectors[1] = {Bundle("0A1B2C3D"), "W"};
    engine->StartWrite(request, now);
    RunTo(*engine, 10000);
    Feed(*engine, ProjectorReply(1, kHere, Bundle("55")));
    Feed(*engine, ProjectorReply(2, kHere, Bundle("0A1B2C3D")));
    ASSERT_EQ(recorder.replies.size(), 2u);
    // Projector 1 names an unknown model instead of X; projector 2's code names W and X.
    EXPECT_EQ(recorder.replies[0].second.strModel, "未知投影机型号");
    EXPECT_FALSE(recorder.replies[0].second.bModelGood);
    EXPECT_EQ(recorder.replies[1].second.strModel, "X");
    EXPECT_TRUE(recorder.replies[1].second.bModelGood);
}

TEST_F(SessionEngineTest, BackupReadComesFirstAndItsRefusalSendsNothing) {
    auto engine = Make();
    SWriteRequest request = Write(kHere, kHere);
    request.bReadFirst = true;
    session::SReadResult seen;
    request.pfnBeforeSend = [&](const session::SReadResult& present, SControllerSettings&) {
        seen = present;
        return false;
    };
    const auto id = engine->StartWrite(request, now);
    FeedReadBack(*engine, kHere);
    ASSERT_EQ(recorder.writes.count(id), 1u);
    EXPECT_EQ(recorder.writes[id].eOutcome, EWriteOutcome::NotSent);
    EXPECT_EQ(recorder.writes[id].eStop, session::EWriteStop::Refused);
    EXPECT_TRUE(recorder.writes[id].strRefusal.empty());
    EXPECT_FALSE(recorder.writes[id].bSetStarted);
    EXPECT_TRUE(seen.Complete());
    EXPECT_EQ(seen.settings.projectors[0].strModel, "X");
    ASSERT_EQ(transport.sent.size(), 1u);
    EXPECT_EQ(transport.sent[0].datagram.size(), 14u);
}

TEST_F(SessionEngineTest, IncompleteBackupReadSendsNothing) {
    auto engine = Make();
    SWriteRequest request = Write(kHere, kHere);
    request.bReadFirst = true;
    bool called = false;
    request.pfnBeforeSend = [&](const session::SReadResult&, SControllerSettings&) {
        called = true;
        return true;
    };
    const auto id = engine->StartWrite(request, now);
    Feed(*engine, ProjectorReply(1, kHere, Bundle("0A1B2C3D")));
    RunTo(*engine, 20000);
    EXPECT_FALSE(called);
    EXPECT_EQ(recorder.writes[id].eOutcome, EWriteOutcome::NotSent);
    EXPECT_EQ(recorder.writes[id].eStop, session::EWriteStop::ReadIncomplete);
    EXPECT_EQ(recorder.writes[id].present.MissingParts(),
              (std::vector<session::EReplyPart>{session::kPartProjector2, session::kPartNetwork,
                                                session::kPartDevices}));
    EXPECT_EQ(transport.sent.size(), 1u);
}

TEST_F(SessionEngineTest, BeforeSendCompletesTheSettingsFromThePresentOnes) {
    auto engine = Make();
    SWriteRequest request = Write(kHere, kHere);
    request.bReadFirst = true;
    request.pfnBeforeSend = [](const session::SReadResult& present, SControllerSettings& s) {
        s = present.settings;
        s.nLockTime = 5;
        return true;
    };
    const auto id = engine->StartWrite(request, now);
    FeedReadBack(*engine, kHere);
    RunTo(*engine, 10000);
    ASSERT_EQ(transport.sent.size(), 6u);
    EXPECT_EQ(transport.sent[3].datagram[39], 5);
    EXPECT_EQ(transport.sent[1].tAt, 0);
    FeedReadBack(*engine, kHere);
    EXPECT_EQ(session::DifferentFields(recorder.writes[id].fields), "lock_time");
}

// A write whose work before the Set is done by the owner (the backup on a
// worker thread) waits for it with nothing sent, then sends or stops.
TEST_F(SessionEngineTest, AWriteWaitingForItsOwnerSendsOnlyAfterResumeWrite) {
    auto engine = Make();
    SWriteRequest request = Write(kHere, kHere);
    request.bReadFirst = true;
    std::vector<session::ExchangeId> awaited;
    request.pfnAwaitBeforeSend = [&](session::ExchangeId id) {
        awaited.push_back(id);
        return true;
    };
    const auto id = engine->StartWrite(request, now);
    const auto second = engine->StartWrite(Write(kHere, kHere), now);
    FeedReadBack(*engine, kHere);
    EXPECT_EQ(awaited, std::vector<session::ExchangeId>{id});
    // No wait of its own runs out: it waits as long as the owner takes,
    // keeping its address from the write queued behind it.
    EXPECT_EQ(engine->NextDeadline(), std::nullopt);
    RunTo(*engine, 60000);
    EXPECT_EQ(transport.sent.size(), 1u);
    EXPECT_FALSE(engine->SetStarted(id));
    EXPECT_TRUE(recorder.writes.empty());
    EXPECT_EQ(engine->WaitingCount(), 1u);

    engine->ResumeWrite(id, {}, now);
    EXPECT_TRUE(engine->SetStarted(id));
    ASSERT_EQ(transport.sent.size(), 2u);
    EXPECT_EQ(transport.sent[1].tAt, 60000);
    RunTo(*engine, 70000);
    FeedReadBack(*engine, kHere);
    ASSERT_EQ(recorder.writes.count(id), 1u);
    EXPECT_EQ(recorder.writes[id].eOutcome, EWriteOutcome::Confirmed);
    // A second resume of a write that has gone on does nothing.
    engine->ResumeWrite(id, "late", now);
    EXPECT_EQ(recorder.writes[id].eOutcome, EWriteOutcome::Confirmed);
    EXPECT_TRUE(engine->SetStarted(second));
}

TEST_F(SessionEngineTest, AWaitingWriteEndsUnsentOnAnErrorOrACancel) {
    auto engine = Make();
    const Ip4 a{10, 0, 0, 1}, b{10, 0, 0, 2}, c{10, 0, 0, 3};
    std::map<Ip4, session::ExchangeId> ids;
    for (const Ip4& at : {a, b, c}) {
        SWriteRequest request = Write(at, at);
        request.bReadFirst = true;
        // The third has nothing for its owner to do and goes on at once.
        request.pfnAwaitBeforeSend = [at, c](session::ExchangeId) { return at != c; };
        ids[at] = engine->StartWrite(request, now);
    }
    for (const Ip4& at : {a, b, c})
        FeedReadBack(*engine, at);
    EXPECT_TRUE(engine->SetStarted(ids[c]));
    EXPECT_FALSE(engine->SetStarted(ids[a]));

    engine->ResumeWrite(ids[a], "cannot save the history: disk full", now);
    ASSERT_EQ(recorder.writes.count(ids[a]), 1u);
    EXPECT_EQ(recorder.writes[ids[a]].eOutcome, EWriteOutcome::NotSent);
    EXPECT_EQ(recorder.writes[ids[a]].strRefusal, "cannot save the history: disk full");
    EXPECT_FALSE(recorder.writes[ids[a]].bSetStarted);

    EXPECT_EQ(engine->CancelNotStarted(), 1u);
    EXPECT_EQ(recorder.notRun, std::vector<session::ExchangeId>{ids[b]});
    // The owner's work ending after the cancel sends nothing.
    engine->ResumeWrite(ids[b], {}, now);
    EXPECT_EQ(recorder.writes.count(ids[b]), 0u);
    for (const auto& s : transport.sent)
        EXPECT_TRUE((s.to != a && s.to != b) || s.datagram.size() == 14u);
}

TEST_F(SessionEngineTest, ManyControllersRunSideBySideEachOnItsOwnSchedule) {
    session::SSessionTiming timing;
    timing.nMaxRunning = 2;
    auto engine = Make(timing);
    const Ip4 a{10, 0, 0, 1}, b{10, 0, 0, 2}, c{10, 0, 0, 3};
    const auto wa = engine->StartWrite(Write(a, a), now);
    now = 500;
    const auto wb = engine->StartWrite(Write(b, b), now);
    const auto rc = engine->StartRead(c, now);
    EXPECT_EQ(engine->RunningCount(), 2u);
    EXPECT_EQ(engine->WaitingCount(), 1u);
    RunTo(*engine, 10000);
    // b's datagrams keep b's own times.
    std::vector<TimeMs> bTimes;
    for (const auto& s : transport.sent)
        if (s.to == b)
            bTimes.push_back(s.tAt);
    EXPECT_EQ(bTimes, (std::vector<TimeMs>{500, 2500, 4500, 6500}));
    // Interleaved answers, told apart by their address.
    Feed(*engine, ProjectorReply(1, a, Bundle("0A1B2C3D")));
    Feed(*engine, EmptyProjectorReply(2, a));
    Feed(*engine, NetworkReply(a, a));
    RunTo(*engine, 10500);
    Feed(*engine, ProjectorReply(1, b, Bundle("0A1B2C3D")));
    Feed(*engine, DeviceReply(a));
    ASSERT_EQ(recorder.writes.count(wa), 1u);
    EXPECT_EQ(recorder.writes[wa].eOutcome, EWriteOutcome::Confirmed);
    // a's place went to the read of c.
    EXPECT_EQ(engine->RunningCount(), 2u);
    EXPECT_EQ(transport.sent.back().to, c);
    Feed(*engine, EmptyProjectorReply(2, b));
    Feed(*engine, NetworkReply(b, b, 0x05));
    Feed(*engine, DeviceReply(b));
    EXPECT_EQ(session::DifferentFields(recorder.writes[wb].fields), "lock_time");
    RunTo(*engine, 30000);
    ASSERT_EQ(recorder.reads.count(rc), 1u);
    EXPECT_FALSE(recorder.reads[rc].Any());
    EXPECT_TRUE(engine->Idle());
}

TEST_F(SessionEngineTest, TwoExchangesForOneAddressTakeTurns) {
    auto engine = Make();
    const auto first = engine->StartRead(kHere, now);
    const auto second = engine->StartRead(kHere, now);
    EXPECT_EQ(engine->RunningCount(), 1u);
    FeedReadBack(*engine, kHere);
    EXPECT_EQ(recorder.reads.count(first), 1u);
    EXPECT_EQ(recorder.reads.count(second), 0u);
    EXPECT_EQ(transport.sent.size(), 2u);
}

TEST_F(SessionEngineTest, PacedStartsKeepTheirInterval) {
    session::SSessionTiming timing;
    timing.nMaxRunning = 100;
    timing.nStartIntervalMs = 5;
    auto engine = Make(timing);
    for (std::uint8_t i = 1; i <= 10; ++i)
        engine->StartRead({10, 0, 0, i}, now);
    RunTo(*engine, 100);
    ASSERT_EQ(transport.sent.size(), 10u);
    for (std::size_t i = 0; i < 10; ++i)
        EXPECT_EQ(transport.sent[i].tAt, static_cast<TimeMs>(5 * i));
}

TEST_F(SessionEngineTest, CancelEndsOnlyWhatHasNotStartedItsSet) {
    session::SSessionTiming timing;
    timing.nMaxRunning = 2;
    auto engine = Make(timing);
    const Ip4 a{10, 0, 0, 1}, b{10, 0, 0, 2}, c{10, 0, 0, 3};
    const auto wa = engine->StartWrite(Write(a, a), now);
    SWriteRequest reading = Write(b, b);
    reading.bReadFirst = true;
    const auto wb = engine->StartWrite(reading, now);
    const auto wc = engine->StartWrite(Write(c, c), now);
    EXPECT_TRUE(engine->SetStarted(wa));
    EXPECT_EQ(engine->CancelNotStarted(), 2u);
    EXPECT_EQ(recorder.notRun, (std::vector<session::ExchangeId>{wc, wb}));
    RunTo(*engine, 16000);
    EXPECT_EQ(recorder.writes.count(wa), 1u);
    std::size_t toA = 0;
    for (const auto& s : transport.sent)
        toA += s.to == a;
    EXPECT_EQ(toA, 5u);
}

TEST_F(SessionEngineTest, WatchedAddressReportsRepliesNoExchangeWaitsFor) {
    auto engine = Make();
    engine->SetWatchedAddress(kHere);
    Feed(*engine, NetworkReply(kHere, kHere));
    Feed(*engine, NetworkReply(kThere, kThere));
    ASSERT_EQ(recorder.replies.size(), 1u);
    EXPECT_EQ(recorder.replies[0].first, 0u);
    EXPECT_EQ(recorder.replies[0].second.eStage, EStage::Unsolicited);
    EXPECT_EQ(recorder.replies[0].second.reply.outcome, codec::ReplyOutcome::IpSettings);
}

TEST_F(SessionEngineTest, AWriteDoesNotTakeTheAddressAnotherExchangeWaitsOn) {
    auto engine = Make();
    const auto read = engine->StartRead(kThere, now);
    // The write learns only before its Set that it is to move onto kThere.
    SWriteRequest moving = Write(kHere, kHere);
    moving.pfnBeforeSend = [](const session::SReadResult&, SControllerSettings& s) {
        s.controllerIp = kThere;
        return true;
    };
    const auto write = engine->StartWrite(moving, now);
    ASSERT_EQ(recorder.writes.count(write), 1u);
    EXPECT_EQ(recorder.writes[write].eOutcome, session::EWriteOutcome::NotSent);
    EXPECT_EQ(recorder.writes[write].eStop, session::EWriteStop::AddressInUse);
    EXPECT_FALSE(recorder.writes[write].bSetStarted);
    FeedReadBack(*engine, kThere);
    ASSERT_EQ(recorder.reads.count(read), 1u);
    EXPECT_TRUE(recorder.reads[read].Complete());
}

class ProbeTest : public SessionEngineTest, public ::testing::WithParamInterface<bool> {};

TEST_P(ProbeTest, AMovingControllerIsWrittenOnlyWhenNothingAnswersAtItsNewAddress) {
    const bool bTaken = GetParam();
    auto engine = Make();
    SWriteRequest moving = Write(kHere, kThere);
    moving.bProbeNewAddress = true;
    const auto write = engine->StartWrite(moving, now);
    ASSERT_EQ(transport.sent.size(), 1u);
    EXPECT_EQ(transport.sent[0].to, kThere);
    EXPECT_EQ(transport.sent[0].datagram, codec::BuildQuery(kThere));
    if (bTaken)
        Feed(*engine, NetworkReply(kThere, kThere));
    RunTo(*engine, 2999);
    EXPECT_EQ(transport.sent.size(), 1u) << "nothing is set while the new address is being asked";
    RunTo(*engine, 3000 + 11000);
    if (bTaken) {
        ASSERT_EQ(recorder.writes.count(write), 1u);
        EXPECT_EQ(recorder.writes[write].eStop, session::EWriteStop::AddressTaken);
        EXPECT_FALSE(recorder.writes[write].bSetStarted);
        EXPECT_EQ(transport.sent.size(), 1u);
    } else {
        EXPECT_EQ(transport.sent.size(), 6u);
        EXPECT_EQ(transport.sent[1].to, kHere);
    }
}

INSTANTIATE_TEST_SUITE_P(NewAddress, ProbeTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "taken" : "free"; });

struct SRateCase {
    double dRate;
    TimeMs tStep; // how often the owner wakes up
};

class RateTest : public SessionEngineTest, public ::testing::WithParamInterface<SRateCase> {};

TEST_P(RateTest, PacedStartsKeepTheRateHoweverTheOwnerWakesUp) {
    session::SSessionTiming timing;
    timing.nMaxRunning = 4096;
    timing.dStartsPerSecond = GetParam().dRate;
    auto engine = Make(timing);
    for (int i = 0; i < 3000; ++i)
        engine->StartRead({10, static_cast<std::uint8_t>(i / 250), static_cast<std::uint8_t>(i % 250), 1},
                          now);
    while (now < 2000) {
        now += GetParam().tStep;
        engine->Advance(now);
    }
    std::size_t nFirstSecond = 0;
    for (const auto& s : transport.sent)
        nFirstSecond += s.tAt < 1000;
    EXPECT_NEAR(static_cast<double>(nFirstSecond), GetParam().dRate, GetParam().dRate * 0.05);
}

INSTANTIATE_TEST_SUITE_P(Rates, RateTest,
                         ::testing::Values(SRateCase{200, 1}, SRateCase{200, 3}, SRateCase{200, 7},
                                           SRateCase{1000, 1}, SRateCase{1000, 3}, SRateCase{333, 2}),
                         [](const auto& info) {
                             return std::to_string(static_cast<int>(info.param.dRate)) + "_every_" +
                                    std::to_string(info.param.tStep) + "ms";
                         });

} // namespace

namespace {

// Two faces of one program (the batch and the window) on one engine: a
// controller that one of them is writing is never written by the other at
// the same time; the second write waits its turn and then goes whole, each
// face told of its own write only, each keeping its own waits.
TEST_F(SessionEngineTest, ClientsOfOneEngineNeverInterleaveTwoSetsOfOneController) {
    auto engine = Make();
    CRecorder windowRecorder;
    session::SSessionTiming windowTiming;
    windowTiming.nReadBackTicks = 2;
    const session::ClientId window = engine->AddClient(windowRecorder, windowTiming);
    const session::ExchangeId first = engine->StartWrite(Write(kHere, kHere), now);
    RunTo(*engine, 3000); // two setting datagrams are out
    const session::ExchangeId second = engine->StartWrite(window, Write(kHere, kHere), now);
    EXPECT_FALSE(engine->Idle(window));
    auto done = [&] { return recorder.writes.count(first) && windowRecorder.writes.count(second); };
    for (TimeMs t = now; t <= 40000 && !done(); t += 500) {
        RunTo(*engine, t);
        if (!transport.sent.empty() && transport.sent.back().datagram[13] == 5)
            FeedReadBack(*engine, kHere);
    }
    ASSERT_TRUE(done());
    // The setting datagrams in order of sending: 1 2 3 4 5, then 1 2 3 4 5.
    std::vector<int> kinds;
    for (const SSent& s : transport.sent)
        kinds.push_back(s.datagram[13]);
    EXPECT_EQ(kinds, (std::vector<int>{1, 2, 3, 4, 5, 1, 2, 3, 4, 5}));
    EXPECT_EQ(recorder.writes[first].eOutcome, EWriteOutcome::Confirmed);
    EXPECT_EQ(windowRecorder.writes[second].eOutcome, EWriteOutcome::Confirmed);
    EXPECT_EQ(recorder.writes.count(second) + windowRecorder.writes.count(first), 0u);
    EXPECT_TRUE(engine->Idle(window));
}

// A paced client (a scan) keeps its pace while another client's exchanges
// start at once; removing a client drops its exchanges without a word and
// frees its controllers for the others.
TEST_F(SessionEngineTest, AClientKeepsItsOwnPaceAndItsRemovalFreesItsControllers) {
    auto engine = Make();
    CRecorder scanRecorder;
    session::SSessionTiming scanTiming;
    scanTiming.nMaxRunning = 100;
    scanTiming.nStartIntervalMs = 100;
    const session::ClientId scan = engine->AddClient(scanRecorder, scanTiming);
    for (std::uint8_t n = 10; n < 20; ++n)
        engine->StartRead(scan, codec::Ip4{10, 0, 0, n}, now);
    engine->StartRead(codec::Ip4{10, 0, 0, 12}, now); // the window asks one the scan will ask later
    const session::ExchangeId mine = engine->StartRead(kThere, now);
    EXPECT_EQ(scanRecorder.started.size(), 1u);
    EXPECT_EQ(recorder.started.size(), 2u);
    RunTo(*engine, 250);
    EXPECT_EQ(scanRecorder.started.size(), 3u); // 10.0.0.12 waits for the window's read
    engine->RemoveClient(scan);
    EXPECT_TRUE(engine->Idle(scan));
    Feed(*engine, NetworkReply(kThere, kThere));
    RunTo(*engine, 10000);
    EXPECT_TRUE(scanRecorder.reads.empty());
    EXPECT_EQ(recorder.reads.count(mine), 1u);
    EXPECT_TRUE(engine->Idle());
}

} // namespace

namespace {

// A write asks the address it moves to as a read (and so the batch's check)
// would: a controller that answers there only to the second query still
// stops the move, nothing sent.
TEST_F(SessionEngineTest, TheNewAddressIsAskedAsOftenAsAReadAsksAndALateAnswerStopsTheMove) {
    session::SSessionTiming timing;
    timing.nReadAttempts = 2;
    auto engine = Make(timing);
    SWriteRequest request = Write(kHere, kThere);
    request.bProbeNewAddress = true;
    const session::ExchangeId id = engine->StartWrite(request, now);
    RunTo(*engine, 4500); // past the first query's wait of three seconds
    ASSERT_EQ(transport.sent.size(), 2u);
    for (const SSent& s : transport.sent) {
        EXPECT_EQ(s.datagram[13], 5);
        EXPECT_EQ(s.to, kThere);
    }
    Feed(*engine, NetworkReply(kThere, kThere));
    ASSERT_EQ(recorder.writes.count(id), 1u);
    EXPECT_EQ(recorder.writes[id].eStop, session::EWriteStop::AddressTaken);
    RunTo(*engine, 20000);
    EXPECT_EQ(transport.sent.size(), 2u);
}

} // namespace
