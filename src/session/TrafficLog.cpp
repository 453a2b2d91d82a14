#include "TrafficLog.h"

#include "codec/Layout.h"
#include "codec/Reply.h"

#include <algorithm>
#include <chrono>

namespace session {
namespace {

// Taken when the program's static values are made: the program's start.
const std::chrono::steady_clock::time_point g_start = std::chrono::steady_clock::now();

const char* KindWord(int nKind, const STrafficWords& words) {
    if (nKind >= 1 && nKind <= 5)
        return words.kinds[nKind - 1];
    return words.kinds[5];
}

std::string Address(const codec::Ip4& address) {
    return codec::BytesToAddress(address);
}

// What an accepted reply (or the request that mirrors it) carries.
std::string Carried(const codec::Reply& reply, const STrafficWords& words) {
    switch (reply.outcome) {
    case codec::ReplyOutcome::Projector:
        return FillWords(words.pszCode, {reply.projector.codeText});
    case codec::ReplyOutcome::IpSettings:
        return FillWords(words.pszNetwork,
                         {Address(reply.ip.server), Address(reply.ip.controller), Address(reply.ip.mask),
                          Address(reply.ip.gateway), reply.ip.oneKey ? words.pszOn : words.pszOff});
    case codec::ReplyOutcome::Additional:
        return FillWords(words.pszDevices, {std::to_string(reply.additional.domeIndex + 1),
                                            std::to_string(reply.additional.micIndex + 1),
                                            std::to_string(reply.additional.keyboardIndex + 1)});
    default:
        return {};
    }
}

} // namespace

TimeMs ProgramMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now() - g_start).count();
}

std::string FillWords(const char* pszPattern, const std::vector<std::string>& values) {
    std::string text;
    for (const char* p = pszPattern; *p; ++p) {
        if (p[0] == '%' && p[1] >= '1' && p[1] <= '9') {
            const std::size_t i = static_cast<std::size_t>(p[1] - '1');
            if (i < values.size())
                text += values[i];
            ++p;
            continue;
        }
        text += *p;
    }
    return text;
}

STrafficDecoding DecodeTraffic(const STrafficEntry& entry, const STrafficWords& words) {
    STrafficDecoding d;
    const std::vector<std::uint8_t>& bytes = entry.bytes;
    const bool bSent = entry.eDirection == ETrafficDirection::Sent;
    d.eNote = bSent ? ETrafficNote::Request : ETrafficNote::Accepted;
    if (entry.nLength < codec::kHeaderLength || bytes.size() < codec::kHeaderLength) {
        d.strKind = "-";
        d.eNote = ETrafficNote::CutShort;
        d.strText = FillWords(words.pszCutShort,
                              {std::to_string(entry.nLength), std::to_string(codec::kHeaderLength)});
        return d;
    }
    d.nKind = bytes[codec::kKindOffset];
    d.strKind = KindWord(d.nKind, words);
    if (d.nKind < 1 || d.nKind > 5)
        d.strKind += " " + std::to_string(d.nKind);
    if (bSent) {
        // A request mirrors the reply of its kind: read it as one, marker aside.
        if (d.nKind < codec::kKindProjector1 || d.nKind > codec::kKindDevice)
            return d;
        std::vector<std::uint8_t> copy = bytes;
        std::copy(codec::kReplyMarker.begin(), codec::kReplyMarker.end(),
                  copy.begin() + codec::kMarkerOffset);
        const codec::Ip4 carried{copy[8], copy[9], copy[10], copy[11]};
        d.strText = Carried(codec::ReadReply(copy.data(), copy.size(), carried), words);
        return d;
    }
    const codec::Reply reply = codec::ReadReply(bytes.data(), bytes.size(), entry.address);
    switch (reply.outcome) {
    case codec::ReplyOutcome::Dropped:
        d.eNote = ETrafficNote::OtherAddress;
        d.strText = FillWords(words.pszOtherAddress, {Address(reply.address)});
        break;
    case codec::ReplyOutcome::OtherKind:
        d.eNote = ETrafficNote::OtherKind;
        d.strText = words.pszOtherKind;
        break;
    case codec::ReplyOutcome::ReceptionError: {
        const auto text = [&bytes](std::size_t offset, std::string_view expected) {
            return std::equal(expected.begin(), expected.end(), bytes.begin() + static_cast<long>(offset));
        };
        if (!text(codec::kPrefixOffset, codec::kPrefix) || !text(codec::kMarkerOffset, codec::kReplyMarker)) {
            d.eNote = ETrafficNote::WrongPrefix;
            d.strText = words.pszWrongPrefix;
        } else if (entry.nLength < codec::ReplyNeededLength(d.nKind)) {
            d.eNote = ETrafficNote::CutShort;
            d.strText = FillWords(words.pszCutShort, {std::to_string(entry.nLength),
                                                      std::to_string(codec::ReplyNeededLength(d.nKind))});
        } else {
            d.eNote = ETrafficNote::BadBlock;
            d.strText = words.pszBadBlock;
        }
        break;
    }
    default:
        d.strText = Carried(reply, words);
        break;
    }
    return d;
}

std::string TrafficHex(const STrafficEntry& entry) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(entry.bytes.size() * 3);
    for (std::uint8_t b : entry.bytes) {
        if (!text.empty())
            text += ' ';
        text += kDigits[b >> 4];
        text += kDigits[b & 0x0F];
    }
    if (entry.bytes.size() < entry.nLength)
        text += " …";
    return text;
}

std::string TrafficLine(const STrafficEntry& entry, const STrafficWords& words, bool bHex) {
    const STrafficDecoding d = DecodeTraffic(entry, words);
    std::string line = std::to_string(entry.nTimeMs) + " " + words.pszUnit + "\t" +
                       (entry.eDirection == ETrafficDirection::Sent ? words.pszSent : words.pszReceived) +
                       "\t" + Address(entry.address) + "\t" + d.strKind + "\t" +
                       std::to_string(entry.nLength) + "\t" + d.strText;
    if (bHex)
        line += "\t" + TrafficHex(entry);
    return line;
}

CTrafficLog::CTrafficLog(std::size_t nCapacity, ClockFn clock)
    : m_nCapacity(std::max<std::size_t>(1, nCapacity)),
      m_clock(clock ? std::move(clock) : ClockFn(&ProgramMs)) {}

void CTrafficLog::Record(ETrafficDirection eDirection, const codec::Ip4& address, const std::uint8_t* pData,
                         std::size_t nLength) {
    RecordAt(m_clock(), eDirection, address, pData, nLength);
}

void CTrafficLog::RecordAt(TimeMs nTimeMs, ETrafficDirection eDirection, const codec::Ip4& address,
                           const std::uint8_t* pData, std::size_t nLength) {
    auto pEntry = std::make_shared<STrafficEntry>();
    pEntry->nTimeMs = nTimeMs;
    pEntry->eDirection = eDirection;
    pEntry->address = address;
    pEntry->nLength = nLength;
    if (pData)
        pEntry->bytes.assign(pData, pData + std::min(nLength, kKeptBytes));
    std::shared_ptr<SinkFn> pSink;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        pEntry->nSeq = m_nNextSeq++;
        m_entries.push_back(pEntry);
        if (m_entries.size() > m_nCapacity) {
            m_entries.pop_front();
            ++m_nDropped;
        }
        pSink = m_pSink;
    }
    if (pSink && *pSink)
        (*pSink)(*pEntry);
}

void CTrafficLog::EntriesFrom(std::uint64_t nSeq, std::vector<TrafficEntryPtr>& out) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_entries.empty())
        return;
    const std::uint64_t nFirst = m_entries.front()->nSeq;
    const std::size_t nSkip = nSeq > nFirst ? static_cast<std::size_t>(nSeq - nFirst) : 0;
    if (nSkip >= m_entries.size())
        return;
    out.insert(out.end(), m_entries.begin() + static_cast<long>(nSkip), m_entries.end());
}

std::size_t CTrafficLog::Size() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_entries.size();
}

std::uint64_t CTrafficLog::Dropped() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_nDropped;
}

std::uint64_t CTrafficLog::NextSeq() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_nNextSeq;
}

void CTrafficLog::Clear() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_entries.clear();
    m_nDropped = 0;
}

void CTrafficLog::SetSink(SinkFn sink) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_pSink = sink ? std::make_shared<SinkFn>(std::move(sink)) : nullptr;
}

} // namespace session
