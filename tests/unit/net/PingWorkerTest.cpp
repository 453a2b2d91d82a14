#include "PingWorker.h"
#include "FakeSocketApi.h"
#include "PingReply.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class PingWorkerTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_nEchoId = g_nEchoSeq = 1;
        g_bPingReply = 1;
    }
    CFakeSocketApi m_api;
};

TEST_F(PingWorkerTest, StopWhileWaitingEndsAtOnce) {
    const auto start = Clock::now();
    { CPingWorker worker(m_api, 0ms); }
    EXPECT_LT(Clock::now() - start, 500ms);
    EXPECT_EQ(m_api.m_nOpens, 0);
}

TEST_F(PingWorkerTest, RequestsDuringAProbeAddUpToOneMoreProbe) {
    // The first wait holds the probe until the test lets it go; later waits time out at once.
    auto pRelease = std::make_shared<CEvent>(CEvent::EReset::Manual);
    m_api.m_selectHook = [pRelease, pnWaits = std::make_shared<int>(0)](auto) {
        if (++*pnWaits == 1) {
            pRelease->Wait();
        }
        return 0;
    };
    CPingWorker worker(m_api, 0ms);
    worker.Request("192.0.2.1", 1);
    ASSERT_TRUE(m_api.WaitForSends(1));
    worker.Request("192.0.2.2", 1);
    worker.Request("192.0.2.2", 1);
    pRelease->Set();

    ASSERT_TRUE(m_api.WaitForSends(2));
    std::this_thread::sleep_for(200ms); // a third probe would follow at once
    const auto sent = m_api.Sent();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[1].nAddress, Address(192, 0, 2, 2));
    EXPECT_EQ(Field16(sent[1].bytes, 4), 2);
}

// Real time: the probe in progress finishes its three one-second waits, then the stop wins over
// the request still pending.
TEST_F(PingWorkerTest, StopDuringSilentProbeWaitsForItThenWinsOverAPendingRequest) {
    m_api.m_selectHook = [](std::chrono::milliseconds timeout) {
        std::this_thread::sleep_for(timeout);
        return 0;
    };
    auto pWorker = std::make_unique<CPingWorker>(m_api);
    pWorker->Request("192.0.2.1", 3);
    ASSERT_TRUE(m_api.WaitForSends(1));
    const auto start = Clock::now();
    pWorker->Request("192.0.2.1", 3);
    pWorker.reset();
    const auto elapsed = Clock::now() - start;

    EXPECT_GE(elapsed, 1900ms);
    EXPECT_LT(elapsed, 3500ms);
    EXPECT_EQ(m_api.Sent().size(), 3u);
    EXPECT_EQ(m_api.m_nCloses, 1);
    EXPECT_EQ(g_bPingReply.load(), 0);
}

} // namespace
