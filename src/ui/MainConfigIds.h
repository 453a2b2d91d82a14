#pragma once

// Control identifiers of the main window, as its template names them; the
// room bar, the scan and the tests reach the controls through these.
namespace mainid {
enum : int {
    kProjector1 = 1000,
    kProjector2 = 1002,
    kSelect1 = 1003,
    kSelect2 = 1005,
    kControllerIp = 1007,
    kDome = 1008,
    kMic = 1009,
    kKeyboard = 1010,
    kSet = 1011,
    kGet = 1012,
    kCode1 = 1013,
    kCode2 = 1014,
    kServerIp = 1015,
    kMask = 1019,
    kGateway = 1020,
    kInitialIp = 1021,
    kMicSettings = 1028,
    kLockType = 1032,
    kLockTime = 1034,
    kPing = 1036,
    kProgress = 1038,
    kHelp = 1039,
    kOneKey = 1040,
    kPassword = 1041,
};

// The window's one-second timers: 1 takes over a projector chosen in the
// code dialog, 3 paces a read, 7 paces a Set's read-back.
enum : int { kTimerTakeOver = 1, kTimerQuery = 3, kTimerSet = 7 };
} // namespace mainid
