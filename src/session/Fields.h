#pragma once

// The fields of a controller's settings, listed once: each with its key, the
// reply part that carries it, how to copy and clear it on a settings value,
// its text as people read it, and when two values of it mean the same.
// Comparison, the window's clearing of a lost part, snapshots and inventories
// go through this one list, so no field is ever forgotten by one of them.

#include "ControllerSettings.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace session {

struct SFieldDef {
    std::string strKey; // controller_ip, server_ip, mask, gateway, one_key, lock_type, lock_time,
                        // dome, microphone, keyboard, projector1, projector2, mic1 … mic20
    std::size_t nPart = 0;
    std::function<void(const SControllerSettings& from, SControllerSettings& to)> pfnCopy;
    std::function<void(SControllerSettings& s)> pfnClear;
    std::function<std::string(const SControllerSettings& s)> pfnText;
    // Two values that mean the same (projector codes ignore letter case).
    std::function<bool(const SControllerSettings& a, const SControllerSettings& b)> pfnSame;
};

// Every field, in the order the per-field table shows them.
const std::vector<SFieldDef>& Fields();
// The field with this key, or nullptr.
const SFieldDef* FindField(std::string_view key);

// Copies every field that reply part nPart carries from `from` into `to`.
void TakePart(const SControllerSettings& from, std::size_t nPart, SControllerSettings& to);
// Empties every field of reply part nPart (no selection, blank addresses,
// empty codes, microphone rows without choices).
void ClearPart(std::size_t nPart, SControllerSettings& to);

} // namespace session
