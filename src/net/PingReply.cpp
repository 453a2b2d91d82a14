#include "PingReply.h"

std::atomic<std::uint8_t> g_bPingReply{0};
