#pragma once

// What the engine reports to its owner. Every method has an empty default,
// so an owner implements only what it shows.

#include "Comparison.h"
#include "ControllerSettings.h"
#include "ModelLookup.h"
#include "codec/Reply.h"

#include <cstdint>
#include <string>
#include <vector>

namespace session {

using ExchangeId = std::uint32_t;
using TimeMs = std::int64_t;

// Where in an exchange a reply arrived.
enum class EStage {
    Unsolicited, // no exchange was waiting for it (a watched address)
    Read,        // the wait of a read, or the read before a write
    Sending,     // while the setting datagrams of a Set go out: it cannot confirm the Set
    ReadBack,    // after the Set's closing query
};

// One datagram that carried an address somebody listens for.
struct SReplyEvent {
    codec::Reply reply; // outcome Projector, IpSettings, Additional, OtherKind or ReceptionError
    EStage eStage = EStage::Unsolicited;
    // An accepted reply, decoded: the part it carries (kPartProjector1 …
    // kPartDevices; -1 for any other datagram) and its fields, set in
    // `values` (a projector's model is strModel). A face takes the part with
    // TakePart and decodes nothing itself.
    int nPart = -1;
    SControllerSettings values;
    // Projector replies: the model named by the bundle's VIDEO code ("" for
    // an empty slot), the rows found and the lookup's error text.
    std::string strModel;
    SModelLookup lookup;
    // Projector replies during a read-back: whether the model read back is
    // the one that was sent (an empty slot read back empty counts as good).
    bool bModelGood = false;
    TimeMs tArrived = 0;
};

enum class EWriteOutcome {
    Confirmed,  // every field read back as sent
    Different,  // the read-back differs in some field, or some part of it never came
    NoReadBack, // the Set went out but nothing answered its closing query
    NotSent,    // nothing of the Set was sent (no backup, a refused backup, cancelled)
};

// Why a write sent nothing; each program says it in its own words.
enum class EWriteStop {
    None,           // it was sent
    NoAnswer,       // the read before it brought no reply at all
    ReadIncomplete, // the read before it lacked replies (see present.received)
    Refused,        // the step before the Set refused it (strRefusal, or its owner's codes, say why)
    AddressTaken,   // another controller answered at the address it was to move to
    AddressInUse,   // another exchange was using the address it was to move to
};

struct SWriteResult {
    EWriteOutcome eOutcome = EWriteOutcome::NotSent;
    EWriteStop eStop = EWriteStop::None;
    std::string strRefusal;   // a refusing step's own reason (a backup not saved), when eStop is Refused
    SReadResult present;      // what the controller held before (when it was read)
    SControllerSettings sent; // what the Set sent
    SReadResult readBack;     // what came back after the closing query
    std::vector<SFieldResult> fields; // empty unless the read-back got some reply
    bool bSetStarted = false;         // the first setting datagram went out
};

class ISessionObserver {
public:
    virtual ~ISessionObserver() = default;
    // An exchange took its place among the running ones.
    virtual void OnStarted(ExchangeId) {}
    // A datagram for a listened address: accepted replies, wrong prefixes
    // (outcome ReceptionError) and other kinds, in the order of arrival.
    virtual void OnReply(ExchangeId, const SReplyEvent&) {}
    // The first datagram of a Set is about to go out; nothing stops the write
    // now. A record of the Set under way made here is on disk before the
    // controller has changed.
    virtual void OnSetStarting(ExchangeId) {}
    // A datagram of a Set went out: nSent is 1 to 5 (5 is the closing query).
    virtual void OnSetStep(ExchangeId, int /*nSent*/) {}
    // A read ended: all four replies arrived, or the wait ran out.
    virtual void OnReadDone(ExchangeId, const SReadResult&) {}
    virtual void OnWriteDone(ExchangeId, const SWriteResult&) {}
    // An exchange ended before its first setting datagram because it was cancelled.
    virtual void OnNotRun(ExchangeId) {}
};

} // namespace session
