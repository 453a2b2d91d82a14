#pragma once

// One room to write, from the command line or a plan row: where it is, the
// snapshot it takes, the fields laid over it, and the write request that
// backs it up first.

#include "History.h"
#include "Overrides.h"
#include "SessionEngine.h"
#include "Snapshot.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace cli {

struct SRoomPlan {
    std::string strRoom;
    codec::Ip4 address{};
    std::optional<session::SSnapshot> snapshot;
    SOverrides overrides;
};

// Checks everything before anything is sent: the address, the snapshot
// (refused when damaged or when it lacks a part of the controller's
// settings) and the overrides. False with the reason.
bool PrepareRoom(const std::string& strAddress, const std::string& strSnapshot, const SOverrideTexts& texts,
                 SRoomPlan& out, std::string& error);

// The write: the controller is read first; what it held is saved in the
// history (nothing is sent when that fails); the settings are the
// snapshot's, or what it holds, with the overrides laid over them. A
// snapshot taken from another address does not move this controller: its
// own address is kept unless controller_ip is overridden. `pSaved` receives
// the history file.
session::SWriteRequest MakeWriteRequest(const SRoomPlan& plan, std::shared_ptr<session::CHistory> history,
                                        std::shared_ptr<std::filesystem::path> pSaved);

// The folder that holds data.mdb (the history lives beside it).
std::filesystem::path DatabaseFolder(const std::string& strDb);

} // namespace cli
