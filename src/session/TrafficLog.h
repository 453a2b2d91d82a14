#pragma once

// Every controller datagram the program sent and received, for a support
// call: a bounded store of the newest ones, each kept as it was on the wire
// with the time, the direction and the peer's address. Recording copies the
// bytes and nothing more; what a datagram is and the text line both faces
// write are worked out only when somebody looks. The store may be fed from
// several threads (the diagnosis queries on a thread of its own).

#include "SessionObserver.h"
#include "codec/Address.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace session {

enum class ETrafficDirection { Sent, Received };

struct STrafficEntry {
    std::uint64_t nSeq = 0; // 0 for the first datagram the store took, counting on across drops
    TimeMs nTimeMs = 0;     // since the program started
    ETrafficDirection eDirection = ETrafficDirection::Sent;
    codec::Ip4 address{};            // where it went, or where it came from
    std::size_t nLength = 0;         // on the wire
    std::vector<std::uint8_t> bytes; // its first kKeptBytes bytes
};
using TrafficEntryPtr = std::shared_ptr<const STrafficEntry>;

// What a logged datagram is: the kind in byte 13 and, for one received,
// whether a reader takes it or why it would be dropped.
enum class ETrafficNote {
    Request,      // a datagram this program sent
    Accepted,     // a reply a reader takes
    CutShort,     // shorter than a header or than its kind needs
    WrongPrefix,  // not "KVMPRH" with the reply marker
    OtherAddress, // it carries another address than the one it came from
    OtherKind,    // byte 12 or 13 is outside the reply kinds
    BadBlock,     // a projector block that claims more bytes than it holds
};

// A face's words for the parts of a line; the defaults are the command line's.
struct STrafficWords {
    const char* pszSent = "sent";
    const char* pszReceived = "received";
    const char* pszUnit = "ms";
    // Kinds 1 to 5, then any other.
    const char* kinds[6] = {"projector 1", "projector 2", "network", "devices", "query", "kind"};
    const char* pszCutShort = "cut short: %1 of %2 bytes";
    const char* pszWrongPrefix = "dropped: wrong prefix";
    const char* pszOtherAddress = "dropped: carries another address, %1";
    const char* pszOtherKind = "dropped: not a reply kind";
    const char* pszBadBlock = "dropped: a code block overruns";
    const char* pszCode = "code %1";
    const char* pszNetwork = "server %1, controller %2, mask %3, gateway %4, one-key %5";
    const char* pszOn = "on";
    const char* pszOff = "off";
    const char* pszDevices = "dome %1, microphone %2, keyboard %3";
    const char* pszDroppedOlder = "%1 older datagrams were dropped";
};

struct STrafficDecoding {
    int nKind = 0; // byte 13, 0 when there is no header
    ETrafficNote eNote = ETrafficNote::Request;
    std::string strKind; // the kind in words
    std::string strText; // one line: what it carries, or why it is dropped
};

// Decodes a logged datagram in a face's words. A sent datagram reads as the
// request it is; a received one as a reader would take it from its sender.
STrafficDecoding DecodeTraffic(const STrafficEntry& entry, const STrafficWords& words = {});

// The one text line of an entry, fields separated by tabs: time, direction,
// address, kind, length, decoding, and with bHex the bytes in hex.
std::string TrafficLine(const STrafficEntry& entry, const STrafficWords& words = {}, bool bHex = false);

// The bytes kept of an entry in hex, pairs separated by blanks.
std::string TrafficHex(const STrafficEntry& entry);

// Replaces %1, %2, ... in a word pattern.
std::string FillWords(const char* pszPattern, const std::vector<std::string>& values);

class CTrafficLog {
public:
    static constexpr std::size_t kDefaultCapacity = 10000;
    // No datagram of a controller is longer; a longer one keeps its start.
    static constexpr std::size_t kKeptBytes = 256;
    using ClockFn = std::function<TimeMs()>;
    using SinkFn = std::function<void(const STrafficEntry&)>;

    // clock: ms since the program started (default: the steady clock).
    explicit CTrafficLog(std::size_t nCapacity = kDefaultCapacity, ClockFn clock = {});

    void Record(ETrafficDirection eDirection, const codec::Ip4& address, const std::uint8_t* pData,
                std::size_t nLength);
    void RecordAt(TimeMs nTimeMs, ETrafficDirection eDirection, const codec::Ip4& address,
                  const std::uint8_t* pData, std::size_t nLength);

    // Entries with a sequence number from nSeq on, oldest first, appended to out.
    void EntriesFrom(std::uint64_t nSeq, std::vector<TrafficEntryPtr>& out) const;
    std::size_t Size() const;
    std::uint64_t Dropped() const; // entries pushed out by newer ones since the last Clear
    std::uint64_t NextSeq() const; // the number the next entry gets
    std::size_t Capacity() const { return m_nCapacity; }
    void Clear();

    // Also hands each entry to `sink` as it is recorded (the command line's
    // file); the sink runs on the recording thread, outside the lock.
    void SetSink(SinkFn sink);

private:
    std::size_t m_nCapacity;
    ClockFn m_clock;
    mutable std::mutex m_mutex;
    std::deque<TrafficEntryPtr> m_entries;
    std::uint64_t m_nNextSeq = 0;
    std::uint64_t m_nDropped = 0;
    std::shared_ptr<SinkFn> m_pSink;
};

// The milliseconds since the program started, as the log counts them.
TimeMs ProgramMs();

} // namespace session
