#pragma once

// Field overrides of a Set (command-line options or plan columns): checked
// and resolved before anything is sent, then laid over the settings.

#include "ControllerSettings.h"
#include "ModelRules.h"
#include "SettingsCheck.h"
#include "Snapshot.h"

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

// Why a value was refused, for a face to say in its own words.
enum class EValueProblem {
    None,
    NotAnAddress,       // strValue is no dotted quad
    BrokenRule,         // eRule: a rule of SettingsCheck
    NotPulseOrLevel,    // lock type
    BadLockTime,        // not 0.5 or 1 to 120
    NotOnOrOff,         // one-key
    NoSuchModel,        // strValue is not in the library
    LibraryRowRule,     // eLibraryRule: the row would not be saved by the code dialog
    CodesTooLong,       // the row's codes do not fit a block
    LibraryUnreadable,  // the database failed (strDetail)
    SnapshotUnreadable, // snapshot: the loader's reason
    SnapshotIncomplete, // missingParts: the parts it lacks
    TooManyCells,       // a plan row longer than its header: strValue its cells, strDetail the header's
};
struct SValueProblem {
    EValueProblem eProblem = EValueProblem::None;
    std::string strField = {}; // the plan column ("mask", "projector1", "snapshot")
    std::string strValue = {};
    std::string strDetail = {};
    ESettingProblem eRule = ESettingProblem::None;
    library::ERuleFailure eLibraryRule = library::ERuleFailure::None;
    std::vector<EReplyPart> missingParts = {};
    SSnapshotError snapshot = {};
};

// Checks every text and looks the projector models up in data.mdb. On
// failure *pProblem says why and nothing is resolved.
bool ResolveOverrides(const SOverrideTexts& texts, SOverrides& out, SValueProblem* pProblem = nullptr);

void ApplyOverrides(const SOverrides& overrides, SControllerSettings& settings);

// A library model's code bundle; false with a reason when it is not in DATA
// or its codes do not fit.
bool ProjectorFromLibrary(const std::string& strModel, SProjectorSlot& slot,
                          SValueProblem* pProblem = nullptr);

} // namespace session
