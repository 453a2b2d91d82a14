#pragma once

// The subcommands of velmora-cli. Each adds itself to the program's command
// line; its callback runs it and leaves its exit status in *pnExitCode.

#include "Overrides.h"
#include "RoomPlan.h"
#include "Runner.h"

#include <CLI/CLI.hpp>

namespace cli {

// The room plans and field overrides live in the session core; the
// subcommands name them as their own.
using session::ApplyOverrides;
using session::DatabaseFolder;
using session::MakeWriteRequest;
using session::PrepareRoom;
using session::SOverrides;
using session::SOverrideTexts;
using session::SRoomPlan;
using session::SWriteNotes;

// The field options shared by set (and named alike by batch's columns).
void AddOverrideOptions(CLI::App& command, SOverrideTexts& overrides);

void AddGetCommand(CLI::App& app, int* pnExitCode);
void AddSetCommand(CLI::App& app, int* pnExitCode);
void AddScanCommand(CLI::App& app, int* pnExitCode);
void AddBatchCommand(CLI::App& app, int* pnExitCode);
void AddRestoreCommand(CLI::App& app, int* pnExitCode);
void AddDiagnoseCommand(CLI::App& app, int* pnExitCode);

// Writes one room over an open runner, backed up and read back, and prints
// the outcome; Ctrl+C lets the Set under way finish, a second one stops at
// once. Returns the exit status.
int WriteRoom(CRunner& runner, const SRoomPlan& plan, const std::string& strAddress);

} // namespace cli
