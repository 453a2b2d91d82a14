#include "RoomPlan.h"

#include "Comparison.h"
#include "codec/AddressRange.h"

#include "Utf8Path.h"

namespace session {

bool PrepareRoom(const std::string& strAddress, const std::string& strSnapshot, const SOverrideTexts& texts,
                 SRoomPlan& out, SValueProblem* pProblem) {
    auto tell = [pProblem](EValueProblem eProblem, const char* field, std::string strValue,
                           std::string strDetail) {
        if (pProblem)
            *pProblem = {eProblem, field, std::move(strValue), std::move(strDetail)};
    };
    SRoomPlan plan;
    if (!codec::ParseDottedQuad(strAddress, plan.address)) {
        tell(EValueProblem::NotAnAddress, "address", strAddress, {});
        return false;
    }
    if (!strSnapshot.empty()) {
        SSnapshot snapshot;
        SSnapshotError error;
        if (!LoadSnapshot(PathFromUtf8(strSnapshot), snapshot, error)) {
            tell(EValueProblem::SnapshotUnreadable, "snapshot", strSnapshot, {});
            if (pProblem)
                pProblem->snapshot = std::move(error);
            return false;
        }
        if (!snapshot.read.Complete()) {
            tell(EValueProblem::SnapshotIncomplete, "snapshot", strSnapshot, {});
            if (pProblem)
                pProblem->missingParts = snapshot.read.MissingParts();
            return false;
        }
        plan.snapshot = std::move(snapshot);
    }
    if (!ResolveOverrides(texts, plan.overrides, pProblem))
        return false;
    plan.strRoom = out.strRoom;
    plan.bForce = out.bForce;
    plan.bRestore = out.bRestore;
    out = std::move(plan);
    return true;
}

std::optional<codec::Ip4> PlannedAddress(const SRoomPlan& plan) {
    std::optional<codec::Ip4> to;
    if (plan.overrides.controllerIp)
        to = plan.overrides.controllerIp;
    else if (plan.snapshot && plan.snapshot->read.settings.initialIp == plan.address)
        to = plan.snapshot->read.settings.controllerIp;
    if (to && *to == plan.address)
        to.reset();
    return to;
}

SControllerSettings PlannedSettings(const SRoomPlan& plan, const SReadResult& present) {
    SControllerSettings settings = plan.snapshot ? plan.snapshot->read.settings : present.settings;
    // Where nothing says otherwise the controller stays at the address it answers at.
    if ((plan.snapshot && plan.snapshot->read.settings.initialIp != plan.address) ||
        (!plan.snapshot && !present.received[kPartNetwork]))
        settings.controllerIp = present.received[kPartNetwork] ? present.settings.controllerIp : plan.address;
    ApplyOverrides(plan.overrides, settings);
    settings.initialIp = plan.address;
    return settings;
}

std::vector<SSettingIssue> PlanIssues(const SRoomPlan& plan, const SReadResult& present,
                                      const SControllerSettings& planned) {
    const SControllerSettings& now = present.settings;
    const bool bNetworkKnown = present.received[kPartNetwork];
    // Without the controller's network reply and without a snapshot the
    // network settings are unknown: there is nothing to judge.
    const bool bNetworkChanges = bNetworkKnown
                                     ? planned.controllerIp != now.controllerIp ||
                                           planned.maskIp != now.maskIp || planned.gatewayIp != now.gatewayIp
                                     : plan.snapshot.has_value();
    std::vector<SSettingIssue> issues;
    for (const SSettingIssue& issue : CheckSettings(planned, plan.overrides.lockTime.has_value())) {
        if (issue.strField != "lock_time" && !bNetworkChanges)
            continue;
        issues.push_back(issue);
    }
    return issues;
}

namespace {

// What every write shares, whichever face asks for it: a controller that is
// to move is first asked at its new address, and an answer there stops it.
SWriteRequest NewWriteRequest(const SControllerSettings& settings, bool bReadFirst) {
    SWriteRequest request;
    request.settings = settings;
    request.bReadFirst = bReadFirst;
    request.bProbeNewAddress = true;
    return request;
}

} // namespace

SWriteRequest MakeShownWriteRequest(const SControllerSettings& shown) {
    return NewWriteRequest(shown, false);
}

SWriteRequest MakeWriteRequest(const SRoomPlan& plan, std::shared_ptr<CHistory> history,
                               std::shared_ptr<SWriteNotes> notes, SaveBackupFn saveLater) {
    SControllerSettings target;
    target.initialIp = plan.address;
    target.controllerIp = PlannedAddress(plan).value_or(plan.address);
    SWriteRequest request = NewWriteRequest(target, true);
    request.bAllowIncompleteRead = plan.bForce;
    // The backup waiting for saveLater, between the two calls of the engine.
    auto pending = std::make_shared<std::optional<SBackup>>();
    request.pfnBeforeSend = [plan, notes, pending](const SReadResult& present,
                                                   SControllerSettings& settings) {
        if (!present.Complete()) {
            // Forced: a part that did not come can neither be backed up nor
            // kept, so the snapshot or the overrides must give all of it.
            if (!plan.snapshot)
                for (std::size_t nPart = 0; nPart < kReplyParts; ++nPart)
                    if (!present.received[nPart] && !OverridesSupplyPart(plan.overrides, nPart)) {
                        notes->unknownPart = static_cast<EReplyPart>(nPart);
                        return false;
                    }
            notes->notBackedUp = present.MissingParts();
        }
        settings = PlannedSettings(plan, present);
        const std::vector<SSettingIssue> issues = PlanIssues(plan, present, settings);
        if (!issues.empty()) {
            notes->bRefused = true;
            notes->issues = issues;
            return false;
        }
        if (plan.bRestore && present.Complete() && AllEqual(CompareFields(settings, present))) {
            notes->bAlreadySo = true;
            return false;
        }
        // What came is backed up, the parts a forced write lacks named in the file.
        if (present.Any()) {
            SBackup backup;
            backup.snapshot.read = present;
            backup.snapshot.read.settings.initialIp = plan.address;
            backup.snapshot.strTime = UtcNowText();
            backup.snapshot.strProgram = ProgramVersion();
            backup.addressAfter = settings.controllerIp;
            backup.eKind = plan.bRestore ? EBackupKind::BeforeRestore : EBackupKind::BeforeWrite;
            *pending = std::move(backup);
        }
        return true;
    };
    // Saved once nothing else can stop the write, so a write that sends
    // nothing keeps no backup.
    if (!saveLater)
        request.pfnLastBeforeSend = [history, notes, pending]() -> std::string {
            if (!*pending)
                return {};
            std::string error;
            const bool bSaved = history->Save(**pending, error, &notes->backup);
            pending->reset();
            return bSaved ? std::string() : error + "; nothing was sent";
        };
    if (saveLater)
        request.pfnAwaitBeforeSend = [pending, saveLater](ExchangeId id) {
            if (!*pending)
                return false;
            SBackup backup = std::move(**pending);
            pending->reset();
            saveLater(id, std::move(backup));
            return true;
        };
    return request;
}

bool OverridesSupplyPart(const SOverrides& o, std::size_t nPart) {
    switch (nPart) {
    case kPartProjector1:
    case kPartProjector2:
        return o.projectors[nPart].has_value();
    case kPartNetwork:
        // The controller's own address defaults to where it answers; a level
        // lock has no lock time.
        return o.serverIp && o.mask && o.gateway && o.oneKey && o.lockType &&
               (o.lockTime || *o.lockType == 1);
    default:
        // The device types and the microphone table have no options.
        return false;
    }
}

std::filesystem::path DatabaseFolder(const std::string& strDb) {
    std::error_code ignored;
    const std::filesystem::path full = std::filesystem::absolute(PathFromUtf8(strDb), ignored);
    return full.parent_path();
}

} // namespace session
