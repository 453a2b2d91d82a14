#pragma once

// What a Set sent against what the controller reported back, field by field.

#include "ControllerSettings.h"

#include <string>
#include <vector>

namespace session {

// What a field of a part that never came back reads.
inline constexpr const char* kNotReceivedText = "(未收到)";

struct SFieldResult {
    std::string strField; // controller_ip, server_ip, mask, gateway, one_key, lock_type, lock_time,
                          // dome, microphone, keyboard, projector1, projector2, mic1 … mic20
    std::string strSent;
    std::string strRead;
    bool bEqual = false;
};

// What a faithful controller reports after taking these settings: each
// setting datagram of the Set is read back through the reply reader, so a
// value the wire cannot carry (a lock time for the level lock, an unknown
// list item) compares as what the controller would really hold. Model names
// are taken from `sent`.
SControllerSettings ExpectedReadBack(const SControllerSettings& sent);

// One row per field. A field of a part that never came back reads
// "(未收到)" and is not equal. Projectors compare by their bundles (so an
// empty slot that reads back empty is equal); their texts are the model names.
std::vector<SFieldResult> CompareFields(const SControllerSettings& sent, const SReadResult& readBack);

bool AllEqual(const std::vector<SFieldResult>& fields);

// The names of the fields that differ, joined with ";".
std::string DifferentFields(const std::vector<SFieldResult>& fields);

} // namespace session
