#pragma once

#include <atomic>
#include <cstdint>

// Result of the last echo attempt: 1 when it got an answer, 0 when it timed out, initially 0.
// Written only by the probe on the ping worker thread; any thread may read it.
extern std::atomic<std::uint8_t> g_bPingReply;
