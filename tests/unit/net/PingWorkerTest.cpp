#include "PingWorker.h"
#include "FakeSocketApi.h"
#include "PingReply.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <memory>
#include <thread>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class PingWorkerTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_nEchoId = 1;
        g_nEchoSeq = 1;
        g_bPingReply = 1;
    }

    CFakeSocketApi m_api;
};

TEST_F(PingWorkerTest, StopWhileWaitingEndsAtOnceWithoutProbing) {
    const auto start = Clock::now();
    { CPingWorker worker(m_api, 0ms); }
    EXPECT_LT(Clock::now() - start, 500ms);
    EXPECT_EQ(m_api.Opens(), 0);
    EXPECT_EQ(g_bPingReply.load(), 1);
}

TEST_F(PingWorkerTest, RequestRunsAProbeOnTheThread) {
    m_api.m_selectHook = [](std::chrono::milliseconds) { return 1; };
    m_api.m_nReplyTtl = 99;
    g_bPingReply = 0;
    CPingWorker worker(m_api, 0ms);
    worker.Request("192.0.2.9", 3);
    ASSERT_TRUE(m_api.WaitForSends(1));
    // The flag is written after the send; wait for the probe to close its socket.
    const auto deadline = Clock::now() + 5s;
    while (m_api.Closes() < 1 && Clock::now() < deadline) {
        std::this_thread::sleep_for(1ms);
    }
    EXPECT_EQ(g_bPingReply.load(), 1);
    EXPECT_EQ(m_api.Sent().at(0).nAddress, Address(192, 0, 2, 9));
    EXPECT_NE(worker.Pinger().StatusText().find("TTL=99"), std::string::npos);
}

TEST_F(PingWorkerTest, RequestsDuringAProbeAddUpToOneMoreProbe) {
    // The first wait holds the probe until the test lets it go; later waits time out at once.
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    auto nCalls = std::make_shared<std::atomic<int>>(0);
    m_api.m_selectHook = [released, nCalls](std::chrono::milliseconds) {
        if (++*nCalls == 1) {
            released.wait();
        }
        return 0;
    };

    CPingWorker worker(m_api, 0ms);
    worker.Request("192.0.2.1", 1);
    ASSERT_TRUE(m_api.WaitForSends(1));
    worker.Request("192.0.2.2", 1);
    worker.Request("192.0.2.2", 1);
    release.set_value();

    ASSERT_TRUE(m_api.WaitForSends(2));
    // A third probe would follow immediately; give it ample time to show up.
    std::this_thread::sleep_for(200ms);
    const auto sent = m_api.Sent();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(m_api.Opens(), 2);
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
    EXPECT_EQ(m_api.Closes(), 1);
    EXPECT_EQ(g_bPingReply.load(), 0);
}

} // namespace
