#pragma once

// Controller replies for the main window's tests, in the words those tests
// use; the bytes come from the shared reply builder.

#include "ReplyBuilder.h"

#include <QString>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

inline const QString kGetDone = QStringLiteral("获取完成！");
inline const QString kNoAnswer = QStringLiteral("该中控无信息返回！");
inline const QString kSent = QStringLiteral("发送成功！");
inline const QString kWriteError = QStringLiteral("投影机写入出错！");
inline const QString kOnlyIpRead = QStringLiteral("未收到：投影机1代码、投影机2代码、附加设置");

// The reply header as the controller writes it: "KVMPRH", "FH", its address, 0, kind.
inline Bytes Header(std::size_t nLength, std::uint8_t nKind,
                    std::array<std::uint8_t, 4> address = {127, 0, 0, 1}, const char* pszMarker = "FH") {
    return CReplyBuilder(nKind, address, nLength).Marker(pszMarker);
}

inline Bytes FromHex(const char* pszHex) {
    Bytes bytes;
    for (std::size_t i = 0; pszHex[i] && pszHex[i + 1]; i += 2)
        bytes.push_back(static_cast<std::uint8_t>(std::stoi(std::string(pszHex + i, 2), nullptr, 16)));
    return bytes;
}

// A projector reply: four 52-byte blocks of baud code, command, n = k + 1,
// the k code bytes, parity, 0xFF fill.
inline Bytes ProjectorReply(std::uint8_t nKind, const Bytes& video,
                            std::array<std::uint8_t, 4> address = {127, 0, 0, 1}) {
    CReplyBuilder reply(nKind, address);
    const Bytes other = FromHex("0102");
    for (std::size_t nBlock = 0; nBlock < 4; ++nBlock)
        reply.Block(nBlock, 0xF4, static_cast<std::uint8_t>(nBlock + 1), nBlock == 0 ? video : other);
    return reply;
}

// VIDEO codes of the shipped library: one shared by four Epson rows, one of Sharp XG-NV6XU alone.
inline const Bytes kEpsonVideo = FromHex("534F555243452034310D");
inline const Bytes kSharpVideo = FromHex("49564544202020310D");

inline Bytes IpReply(std::array<std::uint8_t, 4> controller = {127, 0, 0, 1}, std::uint8_t nOneKeyA = 0xAA,
                     std::uint8_t nOneKeyB = 0xAA, std::uint8_t nLockType = 1, std::uint8_t nLockTime = 5,
                     std::array<std::uint8_t, 4> address = {127, 0, 0, 1}) {
    return CReplyBuilder(3, address)
        .Network({10, 0, 0, 9}, controller, {255, 255, 255, 0}, {10, 0, 0, 1})
        .OneKey(nOneKeyA, nOneKeyB)
        .Lock(nLockType, nLockTime);
}

// Dome 2, microphone 1, keyboard 2; microphone 0: camera type 1, channel 17,
// dome 4, preset 255 (none); the other entries zero.
inline Bytes AdditionalReply(std::array<std::uint8_t, 4> address = {127, 0, 0, 1}) {
    return CReplyBuilder(4, address).Devices(2, 1, 2).Padding().Mic(0, {1, 17, 4, 255});
}
