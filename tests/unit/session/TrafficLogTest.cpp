// The traffic log: what each datagram reads as, and the bound on what it keeps.

#include "TrafficLog.h"
#include "ReplyBuilder.h"

#include "codec/Layout.h"
#include "codec/Requests.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

using session::ETrafficDirection;
using session::ETrafficNote;
using Bytes = std::vector<std::uint8_t>;

const codec::Ip4 kRoom{10, 1, 2, 3};

struct SRow {
    const char* pszName;
    ETrafficDirection eDirection;
    codec::Ip4 from;
    Bytes bytes;
    ETrafficNote eNote;
    const char* pszKind;
    const char* pszText; // a part of the decoding
};

void PrintTo(const SRow& row, std::ostream* pOut) {
    *pOut << row.pszName;
}

Bytes Cut(Bytes bytes, std::size_t n) {
    bytes.resize(n);
    return bytes;
}

Bytes Prefix(Bytes bytes, std::uint8_t c) {
    bytes[0] = c;
    return bytes;
}

std::vector<SRow> Rows() {
    const Bytes network =
        CReplyBuilder(3, kRoom).Network({10, 1, 2, 1}, kRoom, {255, 255, 255, 0}, {10, 1, 2, 254});
    const Bytes devices = CReplyBuilder(4, kRoom).Devices(2, 1, 3).UnusedMics(0).Padding();
    const Bytes projector = CReplyBuilder(1, kRoom)
                                .Block(0, 3, 1, {0xAB})
                                .Block(1, 3, 1, {})
                                .Block(2, 3, 1, {})
                                .Block(3, 3, 1, {});
    const codec::Datagram query = codec::BuildQuery(kRoom);
    return {
        {"query sent", ETrafficDirection::Sent, kRoom, Bytes(query.begin(), query.end()),
         ETrafficNote::Request, "query", ""},
        {"network reply", ETrafficDirection::Received, kRoom, network, ETrafficNote::Accepted, "network",
         "server 10.1.2.1, controller 10.1.2.3, mask 255.255.255.0, gateway 10.1.2.254, one-key off"},
        {"devices reply", ETrafficDirection::Received, kRoom, devices, ETrafficNote::Accepted, "devices",
         "dome 2, microphone 1, keyboard 3"},
        {"projector reply", ETrafficDirection::Received, kRoom, projector, ETrafficNote::Accepted,
         "projector 1", "code 030102ab00"},
        {"header cut short", ETrafficDirection::Received, kRoom, Cut(network, 9), ETrafficNote::CutShort, "-",
         "cut short: 9 of 14 bytes"},
        {"body cut short", ETrafficDirection::Received, kRoom, Cut(network, 30), ETrafficNote::CutShort,
         "network", "cut short: 30 of 40 bytes"},
        {"wrong prefix", ETrafficDirection::Received, kRoom, Prefix(network, 'X'), ETrafficNote::WrongPrefix,
         "network", "wrong prefix"},
        {"another address",
         ETrafficDirection::Received,
         {10, 1, 2, 9},
         network,
         ETrafficNote::OtherAddress,
         "network",
         "another address, 10.1.2.3"},
        {"not a reply kind", ETrafficDirection::Received, kRoom, CReplyBuilder(7, kRoom, 14),
         ETrafficNote::OtherKind, "kind 7", "not a reply kind"},
    };
}

class CTrafficDecoding : public ::testing::TestWithParam<SRow> {};

TEST_P(CTrafficDecoding, SaysWhatItCarriesOrWhyItIsDropped) {
    const SRow& row = GetParam();
    session::CTrafficLog log(10, [] { return session::TimeMs{1234}; });
    log.Record(row.eDirection, row.from, row.bytes.data(), row.bytes.size());
    std::vector<session::TrafficEntryPtr> entries;
    log.EntriesFrom(0, entries);
    ASSERT_EQ(entries.size(), 1u);
    const session::STrafficDecoding d = session::DecodeTraffic(*entries[0]);
    EXPECT_EQ(d.eNote, row.eNote);
    EXPECT_EQ(d.strKind, row.pszKind);
    EXPECT_NE(d.strText.find(row.pszText), std::string::npos) << d.strText;
    // The one line: time, direction, address, kind, length, decoding; the bytes on request.
    const std::string strLine = session::TrafficLine(*entries[0]);
    EXPECT_EQ(strLine.rfind("1234 ms\t" +
                                std::string(row.eDirection == ETrafficDirection::Sent ? "sent" : "received") +
                                "\t" + codec::BytesToAddress(row.from) + "\t" + row.pszKind + "\t" +
                                std::to_string(row.bytes.size()) + "\t" + d.strText,
                            0),
              0u)
        << strLine;
    EXPECT_EQ(strLine.find('\n'), std::string::npos);
    const std::string strHex = session::TrafficLine(*entries[0], {}, true);
    EXPECT_EQ(strHex, strLine + "\t" + session::TrafficHex(*entries[0]));
    EXPECT_EQ(session::TrafficHex(*entries[0]).size(), row.bytes.size() * 3 - 1);
}

INSTANTIATE_TEST_SUITE_P(Datagrams, CTrafficDecoding, ::testing::ValuesIn(Rows()));

TEST(TrafficLog, KeepsTheNewestAndCountsTheDropped) {
    const Bytes query(14, 0);
    session::CTrafficLog log; // the program's bound
    for (std::size_t i = 0; i < session::CTrafficLog::kDefaultCapacity + 1; ++i)
        log.RecordAt(static_cast<session::TimeMs>(i), ETrafficDirection::Sent, kRoom, query.data(),
                     query.size());
    EXPECT_EQ(log.Size(), session::CTrafficLog::kDefaultCapacity);
    EXPECT_EQ(log.Dropped(), 1u);
    std::vector<session::TrafficEntryPtr> entries;
    log.EntriesFrom(0, entries);
    ASSERT_EQ(entries.size(), session::CTrafficLog::kDefaultCapacity);
    EXPECT_EQ(entries.front()->nSeq, 1u) << "the oldest went";
    EXPECT_EQ(entries.back()->nTimeMs, 10000);
    entries.clear();
    log.EntriesFrom(9998, entries);
    EXPECT_EQ(entries.size(), 3u) << "from a sequence number on";
    log.Clear();
    EXPECT_EQ(log.Size(), 0u);
    EXPECT_EQ(log.Dropped(), 0u);
}

TEST(TrafficLog, KeepsTheStartOfAnOverlongDatagramAndItsLength) {
    const Bytes big(9000, 0x41);
    session::CTrafficLog log(4);
    log.Record(ETrafficDirection::Received, kRoom, big.data(), big.size());
    std::vector<session::TrafficEntryPtr> entries;
    log.EntriesFrom(0, entries);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0]->nLength, 9000u);
    EXPECT_EQ(entries[0]->bytes.size(), session::CTrafficLog::kKeptBytes);
}

TEST(TrafficLog, TakesDatagramsFromSeveralThreads) {
    session::CTrafficLog log(100000);
    const Bytes query(14, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 5000; ++i)
                log.Record(ETrafficDirection::Sent, kRoom, query.data(), query.size());
        });
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(log.Size(), 20000u);
    EXPECT_EQ(log.NextSeq(), 20000u);
}

} // namespace
