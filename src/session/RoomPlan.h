#pragma once

// One room to write, from the command line or a plan row: where it is, the
// snapshot it takes, the fields laid over it, and the write request that
// backs it up first.

#include "History.h"
#include "Overrides.h"
#include "SessionEngine.h"
#include "SettingsCheck.h"
#include "Snapshot.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace session {

struct SRoomPlan {
    std::string strRoom;
    codec::Ip4 address{};
    std::optional<SSnapshot> snapshot;
    SOverrides overrides;
    // Write even when the read before the Set lacks replies; the parts that
    // did not come cannot be backed up and must come from the snapshot or be
    // given whole by the overrides.
    bool bForce = false;
    // A restore's backup is marked so, and a room that already holds what
    // the restore would write is left alone.
    bool bRestore = false;
};

// What a write reports besides the engine's result.
struct SWriteNotes {
    std::filesystem::path backup;        // the history file of what the controller held, when one was saved
    std::vector<EReplyPart> notBackedUp; // with --force: the parts not backed up (all four: none came)
    // A forced write stopped with nothing sent: this part did not come, and
    // neither a snapshot nor the overrides give all of it.
    std::optional<EReplyPart> unknownPart;
    bool bRefused = false;             // a value broke a rule: bad input, nothing sent
    bool bAlreadySo = false;           // a restore found the room as it would write it: nothing sent
    std::vector<SSettingIssue> issues; // the rules it broke, when refused
};

// Checks everything before anything is sent: the address, the snapshot
// (refused when damaged or when it lacks a part of the controller's
// settings) and the overrides. False with the reason in *pProblem.
bool PrepareRoom(const std::string& strAddress, const std::string& strSnapshot, const SOverrideTexts& texts,
                 SRoomPlan& out, SValueProblem* pProblem = nullptr);

// Where the plan moves the controller: its controller_ip override, or the
// address setting of a snapshot taken from this very address; nothing when
// it stays where it is.
std::optional<codec::Ip4> PlannedAddress(const SRoomPlan& plan);

// The settings the write sends, from what the controller holds now: the
// snapshot's, or what it holds, with the overrides laid over them. A
// snapshot taken from another address does not move this controller: its
// own address is kept unless controller_ip is overridden.
SControllerSettings PlannedSettings(const SRoomPlan& plan, const SReadResult& present);

// The rules the planned settings break. The address rules apply when the
// address, mask or gateway changes, the lock-time rule when the lock time is set.
std::vector<SSettingIssue> PlanIssues(const SRoomPlan& plan, const SReadResult& present,
                                      const SControllerSettings& planned);

// The write: the controller is read first; the planned settings are
// checked; when it is to move, its new address is queried (an answer there
// stops the write); only then is what it held saved in the history (nothing
// is sent when that fails, and nothing is saved for a write that sends
// nothing), and the settings are sent. A write this step stops ends
// Refused, the notes saying why (unknownPart, bRefused, bAlreadySo).
//
// With saveLater the backup is not saved inside the engine's call: it is
// handed to saveLater with the write's id while the write waits, nothing
// sent; the owner saves it (the history's Save, say on a worker thread) and
// calls ResumeWrite when it is on disk or failed. Without a backup to save
// (a forced write of which no reply came) the write goes on at once.
using SaveBackupFn = std::function<void(ExchangeId id, SBackup backup)>;
SWriteRequest MakeWriteRequest(const SRoomPlan& plan, std::shared_ptr<CHistory> history,
                               std::shared_ptr<SWriteNotes> notes, SaveBackupFn saveLater = {});

// The write of settings a face shows whole (the window's Set): they go as
// they are to settings.initialIp, without a read first (the face read the
// controller itself); a move onto an address where another controller
// answers stops it, nothing sent (AddressTaken), as for every other write.
SWriteRequest MakeShownWriteRequest(const SControllerSettings& shown);

// Whether the overrides give every field of a reply part, so a write may
// send that part although the controller's reply for it was lost.
bool OverridesSupplyPart(const SOverrides& overrides, std::size_t nPart);

// The folder that holds data.mdb (the history lives beside it).
std::filesystem::path DatabaseFolder(const std::string& strDb);

} // namespace session
