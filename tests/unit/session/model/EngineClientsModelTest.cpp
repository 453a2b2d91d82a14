// One engine with three faces as its clients (the window, the batch, the
// scan), against three emulated controllers whose rooms differ, driven by
// generated sequences of reads, writes, lost replies, cancels and the
// passing of time. The oracle speaks of controllers and faces:
//  - the setting datagrams of two Sets never interleave at one controller;
//  - a write a face is told was confirmed left the controller holding what
//    it sent, and each exchange is told once, to the face that started it.
#include "ControllerSettings.h"
#include "SessionEngine.h"

#include "Comparison.h"
#include "PeerNetwork.h"
#include "codec/Reply.h"

#include <rapidcheck.h>

#include <deque>
#include <map>
#include <ostream>
#include <vector>

namespace {

using session::ClientId;
using session::ExchangeId;
using session::TimeMs;

constexpr int kRooms = 3;
constexpr int kFaces = 3;

controller::ControllerState Room(int nRoom) {
    const std::uint8_t n = static_cast<std::uint8_t>(nRoom);
    controller::ControllerState s = controller::DefaultState({10, 0, n, static_cast<std::uint8_t>(11 + n)});
    s.server = {10, 0, n, static_cast<std::uint8_t>(1 + n)};
    s.lockType = static_cast<std::uint8_t>(1 + nRoom % 2);
    s.dome = static_cast<std::uint8_t>(1 + nRoom % 2);
    return s;
}

session::SReadResult Holds(const controller::Peer& peer) {
    session::SReadResult result;
    for (const codec::Datagram& d : peer.Replies(controller::Faults{}))
        session::ApplyReply(codec::ReadReply(d.data(), d.size(), peer.Current()), result);
    return result;
}

enum class EAction { Read, Write, Deliver, Lose, Pass, Cancel };
struct SAction {
    EAction eAction = EAction::Read;
    int nFace = 0;
    int nRoom = 0;
    int nValue = 0;
};

std::ostream& operator<<(std::ostream& os, const SAction& a) {
    static const char* const kNames[] = {"Read", "Write", "Deliver", "Lose", "Pass", "Cancel"};
    return os << kNames[static_cast<int>(a.eAction)] << "(face " << a.nFace << ", room " << a.nRoom << ", "
              << a.nValue << ")";
}

struct SFace : session::ISessionObserver {
    std::map<ExchangeId, int>* pOwner = nullptr; // exchange -> face that started it
    int nFace = 0;
    std::map<ExchangeId, int> told; // how often each exchange was told it ended
    std::map<ExchangeId, session::SWriteResult> writes;
    std::vector<std::pair<ExchangeId, bool>>* pConfirmed = nullptr; // (write, its room holds what it sent)
    std::vector<controller::Peer>* pPeers = nullptr;

    void Ended(ExchangeId id) {
        RC_ASSERT(pOwner->count(id) == 0 || pOwner->at(id) == nFace);
        ++told[id];
    }
    void OnReadDone(ExchangeId id, const session::SReadResult&) override { Ended(id); }
    void OnNotRun(ExchangeId id) override { Ended(id); }
    void OnWriteDone(ExchangeId id, const session::SWriteResult& r) override {
        Ended(id);
        writes[id] = r;
        if (r.eOutcome != session::EWriteOutcome::Confirmed)
            return;
        for (const controller::Peer& peer : *pPeers)
            if (peer.Current() == r.sent.initialIp) {
                const auto fields = session::CompareFields(r.sent, Holds(peer));
                pConfirmed->push_back({id, session::AllEqual(fields)});
            }
    }
};

class CBench : public session::IDatagramTransport {
public:
    CBench() : m_engine(*this, m_faces[0], Timing(0)) {
        m_engine.SetModelLookup([](const std::string&) { return session::SModelLookup{}; });
        for (int i = 0; i < kRooms; ++i)
            m_peers.emplace_back(Room(i));
        for (int f = 0; f < kFaces; ++f) {
            m_faces[f].pOwner = &m_owner;
            m_faces[f].nFace = f;
            m_faces[f].pConfirmed = &m_confirmed;
            m_faces[f].pPeers = &m_peers;
        }
        m_clients[0] = session::kFirstClient;
        for (int f = 1; f < kFaces; ++f)
            m_clients[f] = m_engine.AddClient(m_faces[f], Timing(f));
    }

    void SendTo(const codec::Datagram& datagram, const codec::Ip4& address) override {
        m_outbox.push_back({datagram, address});
        // A setting datagram (kinds 1 to 4) continues the Set under way at
        // its controller, or starts one with kind 1.
        const int nKind = datagram.size() > 13 ? datagram[13] : 0;
        if (nKind >= 1 && nKind <= 4) {
            int& nLast = m_lastSetting[address];
            const bool bInOrder = nKind == 1 ? (nLast == 0 || nLast == 4) : nKind == nLast + 1;
            RC_ASSERT(bInOrder);
            nLast = nKind;
        }
    }

    void Run(const SAction& a) {
        const int nFace = a.nFace % kFaces;
        controller::Peer& peer = m_peers[static_cast<std::size_t>(a.nRoom % kRooms)];
        switch (a.eAction) {
        case EAction::Read:
            m_owner[m_engine.StartRead(m_clients[nFace], peer.Current(), m_now)] = nFace;
            break;
        case EAction::Write: {
            session::SWriteRequest request;
            request.settings = Holds(peer).settings;
            request.settings.initialIp = request.settings.controllerIp = peer.Current();
            request.settings.serverIp = {10, 9, static_cast<std::uint8_t>(nFace),
                                         static_cast<std::uint8_t>(a.nValue)};
            request.settings.nKeyboard = 1 + a.nValue % 2;
            request.bReadFirst = a.nValue % 3 != 0;
            // The id is known after StartWrite returns; a write may end inside it.
            m_owner[m_engine.StartWrite(m_clients[nFace], request, m_now)] = nFace;
            break;
        }
        case EAction::Deliver:
            Deliver(0);
            break;
        case EAction::Lose:
            Deliver(1 + a.nValue % 4);
            break;
        case EAction::Pass:
            m_now += 100 * (1 + a.nValue);
            m_engine.Advance(m_now);
            break;
        case EAction::Cancel:
            m_engine.CancelNotStarted(m_clients[nFace]);
            break;
        }
    }

    // Time passes and everything arrives until no exchange is left; then
    // every exchange was told once, to its own face, and each write told it
    // was confirmed left its room holding what it sent.
    void Finish() {
        for (int i = 0; i < 400 && !m_engine.Idle(); ++i) {
            Deliver(0);
            m_now += 250;
            m_engine.Advance(m_now);
        }
        RC_ASSERT(m_engine.Idle());
        for (const auto& [id, nFace] : m_owner) {
            int nTold = 0;
            for (const SFace& face : m_faces)
                nTold += face.told.count(id) ? face.told.at(id) : 0;
            RC_ASSERT(nTold == 1);
            RC_ASSERT(m_faces[nFace].told.count(id) == 1u);
        }
        for (const auto& [id, bHolds] : m_confirmed)
            RC_ASSERT(bHolds);
    }

private:
    static session::SSessionTiming Timing(int nFace) {
        session::SSessionTiming t;
        t.nTickMs = 100;
        t.dPauseScale = 0.1;
        t.nReadAttempts = nFace == 1 ? 2 : 1;
        t.nMaxRunning = nFace == 1 ? 2 : 16;
        t.nStartIntervalMs = nFace == 2 ? 30 : 0;
        return t;
    }

    // Every datagram on the way reaches its controller and every answer
    // comes back, replies of kind nLose lost.
    void Deliver(int nLose) {
        while (!m_outbox.empty()) {
            const auto [bytes, to] = m_outbox.front();
            m_outbox.pop_front();
            for (const codec::Datagram& reply : testsupport::CarryToPeers(m_peers, bytes, to, nLose))
                m_engine.OnDatagram(reply.data(), reply.size(), m_now);
        }
    }

    std::vector<controller::Peer> m_peers;
    SFace m_faces[kFaces];
    ClientId m_clients[kFaces] = {};
    session::CSessionEngine m_engine;
    std::deque<std::pair<codec::Datagram, codec::Ip4>> m_outbox;
    std::map<codec::Ip4, int> m_lastSetting;
    std::map<ExchangeId, int> m_owner;
    std::vector<std::pair<ExchangeId, bool>> m_confirmed;
    TimeMs m_now = 0;
};

} // namespace

namespace rc {
template <> struct Arbitrary<SAction> {
    static Gen<SAction> arbitrary() {
        return gen::build<SAction>(
            gen::set(&SAction::eAction, gen::element(EAction::Read, EAction::Write, EAction::Write,
                                                     EAction::Deliver, EAction::Deliver, EAction::Lose,
                                                     EAction::Pass, EAction::Pass, EAction::Cancel)),
            gen::set(&SAction::nFace, gen::inRange(0, kFaces)),
            gen::set(&SAction::nRoom, gen::inRange(0, kRooms)),
            gen::set(&SAction::nValue, gen::inRange(0, 8)));
    }
};
} // namespace rc

int main() {
    const bool bOk = rc::check("one exchange per controller across the faces of one engine",
                               [](const std::vector<SAction>& actions) {
                                   CBench bench;
                                   for (const SAction& a : actions)
                                       bench.Run(a);
                                   bench.Finish();
                               });
    return bOk ? 0 : 1;
}
