#pragma once

// Controller replies as the controller writes them, byte by byte from the
// written layouts, for the main window's tests.

#include <QString>

#include <algorithm>
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
    Bytes bytes(nLength, 0);
    const char* pszPrefix = "KVMPRH";
    for (int i = 0; i < 6; ++i)
        bytes[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(pszPrefix[i]);
    bytes[6] = static_cast<std::uint8_t>(pszMarker[0]);
    bytes[7] = static_cast<std::uint8_t>(pszMarker[1]);
    for (std::size_t i = 0; i < 4; ++i)
        bytes[8 + i] = address[i];
    bytes[13] = nKind;
    return bytes;
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
    Bytes bytes = Header(222, nKind, address);
    const Bytes other = FromHex("0102");
    for (int block = 0; block < 4; ++block) {
        const Bytes& code = block == 0 ? video : other;
        std::size_t at = 14 + 52 * static_cast<std::size_t>(block);
        std::fill(bytes.begin() + static_cast<long>(at), bytes.begin() + static_cast<long>(at + 52), 0xFF);
        bytes[at] = 0xF4;
        bytes[at + 1] = static_cast<std::uint8_t>(block + 1);
        bytes[at + 2] = static_cast<std::uint8_t>(code.size() + 1);
        std::copy(code.begin(), code.end(), bytes.begin() + static_cast<long>(at + 3));
        bytes[at + 3 + code.size()] = 0x00;
    }
    return bytes;
}

// VIDEO codes of the shipped library: one shared by four Epson rows, one of Sharp XG-NV6XU alone.
inline const Bytes kEpsonVideo = FromHex("534F555243452034310D");
inline const Bytes kSharpVideo = FromHex("49564544202020310D");

inline Bytes IpReply(std::array<std::uint8_t, 4> controller = {127, 0, 0, 1}, std::uint8_t nOneKeyA = 0xAA,
                     std::uint8_t nOneKeyB = 0xAA, std::uint8_t nLockType = 1, std::uint8_t nLockTime = 5,
                     std::array<std::uint8_t, 4> address = {127, 0, 0, 1}) {
    Bytes bytes = Header(40, 3, address);
    const std::array<std::array<std::uint8_t, 4>, 4> addresses{
        {{10, 0, 0, 9}, controller, {255, 255, 255, 0}, {10, 0, 0, 1}}};
    for (std::size_t a = 0; a < 4; ++a)
        for (std::size_t i = 0; i < 4; ++i)
            bytes[14 + 4 * a + i] = addresses[a][i];
    bytes[36] = nOneKeyA;
    bytes[37] = nOneKeyB;
    bytes[38] = nLockType;
    bytes[39] = nLockTime;
    return bytes;
}

inline Bytes AdditionalReply(std::array<std::uint8_t, 4> address = {127, 0, 0, 1}) {
    Bytes bytes = Header(184, 4, address);
    bytes[14] = 2;
    bytes[15] = 1;
    bytes[16] = 2;
    std::fill(bytes.begin() + 17, bytes.begin() + 24, 0xFF);
    std::fill(bytes.begin() + 104, bytes.end(), 0xFF);
    // Microphone 0: camera type 1, channel 17, dome 4, preset 255 (none).
    bytes[24] = 1;
    bytes[25] = 17;
    bytes[26] = 4;
    bytes[27] = 255;
    return bytes;
}
