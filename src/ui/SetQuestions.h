#pragma once

// What the window asks before a Set sends anything.

#include "ControllerSettings.h"
#include "SessionObserver.h"

#include <QString>

#include <array>

// Asks about each part that was neither read from this controller nor
// chosen by the installer (projector codes, addresses, devices); false as
// soon as one answer is No. Addresses and devices default to No: they could
// move the controller onto another room's address or change its devices.
bool AskAboutUnreadParts(const std::array<bool, session::kReplyParts>& known, const QString& strCode1,
                         const QString& strCode2);
// The values pass the rules every Velmora program uses, or the installer
// says go on (a gateway outside the subnet); false: nothing is sent.
bool AskAboutValues(const session::SControllerSettings& settings);
