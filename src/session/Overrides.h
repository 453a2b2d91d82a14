#pragma once

// Field overrides of a Set (command-line options or plan columns): checked
// and resolved before anything is sent, then laid over the settings.

#include "ControllerSettings.h"

#include <optional>
#include <string>

namespace session {

// The texts as given; an absent field keeps what the settings hold.
struct SOverrideTexts {
    std::optional<std::string> controllerIp, serverIp, mask, gateway, lockType, lockTime, oneKey, projector1,
        projector2;
};

struct SOverrides {
    std::optional<codec::Ip4> controllerIp, serverIp, mask, gateway;
    std::optional<int> lockType, lockTime;
    std::optional<bool> oneKey;
    std::optional<SProjectorSlot> projectors[2];
};

// Checks every text and looks the projector models up in data.mdb. On
// failure `error` names the field ("lock_time: …") and nothing is resolved.
bool ResolveOverrides(const SOverrideTexts& texts, SOverrides& out, std::string& error);

void ApplyOverrides(const SOverrides& overrides, SControllerSettings& settings);

// A library model's code bundle; false with a reason when it is not in DATA
// or its codes do not fit.
bool ProjectorFromLibrary(const std::string& strModel, SProjectorSlot& slot, std::string& error);

} // namespace session
