#include "RoomPlan.h"

#include "codec/AddressRange.h"

#include "Utf8Path.h"

namespace cli {

bool PrepareRoom(const std::string& strAddress, const std::string& strSnapshot, const SOverrideTexts& texts,
                 SRoomPlan& out, std::string& error) {
    SRoomPlan plan;
    if (!codec::ParseDottedQuad(strAddress, plan.address)) {
        error = "address: \"" + strAddress + "\" is not an IPv4 address a.b.c.d";
        return false;
    }
    if (!strSnapshot.empty()) {
        session::SSnapshot snapshot;
        if (!session::LoadSnapshot(PathFromUtf8(strSnapshot), snapshot, error))
            return false;
        if (!snapshot.read.Complete()) {
            error = strSnapshot + ": the snapshot lacks part of the settings (" +
                    snapshot.read.MissingText() + "); writing it would replace them with guesses";
            return false;
        }
        plan.snapshot = std::move(snapshot);
    }
    if (!ResolveOverrides(texts, plan.overrides, error))
        return false;
    plan.strRoom = out.strRoom;
    out = std::move(plan);
    return true;
}

session::SWriteRequest MakeWriteRequest(const SRoomPlan& plan, std::shared_ptr<session::CHistory> history,
                                        std::shared_ptr<std::filesystem::path> pSaved) {
    session::SWriteRequest request;
    request.settings.initialIp = plan.address;
    request.settings.controllerIp = plan.address;
    request.bReadFirst = true;
    request.pfnBeforeSend = [plan, history, pSaved](const session::SReadResult& present,
                                                    session::SControllerSettings& settings) -> std::string {
        session::SSnapshot backup;
        backup.read = present;
        backup.read.settings.initialIp = plan.address;
        backup.strTime = session::UtcNowText();
        backup.strProgram = session::ProgramVersion();
        std::string error;
        if (!history->Save(backup, error, pSaved.get()))
            return error + "; nothing was sent";
        settings = plan.snapshot ? plan.snapshot->read.settings : present.settings;
        if (plan.snapshot && plan.snapshot->read.settings.initialIp != plan.address)
            settings.controllerIp = present.settings.controllerIp;
        ApplyOverrides(plan.overrides, settings);
        settings.initialIp = plan.address;
        return {};
    };
    return request;
}

std::filesystem::path DatabaseFolder(const std::string& strDb) {
    std::error_code ignored;
    const std::filesystem::path full = std::filesystem::absolute(PathFromUtf8(strDb), ignored);
    return full.parent_path();
}

} // namespace cli
