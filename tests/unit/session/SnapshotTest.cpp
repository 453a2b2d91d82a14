// Snapshot files: a written example is read as it says, what is written is
// read back whole, and damaged files are refused naming the field. The
// history keeps the newest twenty per controller and refuses to pretend.

#include "Snapshot.h"
#include "History.h"
#include "ReadOnlyView.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>

namespace {

namespace fs = std::filesystem;
using session::SSnapshot;

// The example of docs/snapshot.md, with two microphones shortened to the
// ones that matter and the rest filled in by MakeExample.
std::string MakeExample(const std::string& replace = "", const std::string& with = "") {
    std::string mics;
    for (int i = 0; i < 20; ++i) {
        if (i == 0)
            mics += R"({"camera_type": 1, "channel": 3, "dome": 16, "preset": -1})";
        else
            mics += R"(, {"camera_type": -1, "channel": -1, "dome": -1, "preset": -1})";
    }
    std::string text = R"({
  "format": "velmora-snapshot",
  "version": 1,
  "program": "Velmora 1.0",
  "time": "2026-12-08T22:40:05Z",
  "address": "192.168.1.100",
  "received": {"projector1": true, "projector2": true, "network": true, "devices": false},
  "settings": {
    "controller_ip": "192.168.1.101",
    "server_ip": "192.168.1.2",
    "mask": "255.255.255.0",
    "gateway": "192.168.1.1",
    "one_key": true,
    "lock_type": "pulse",
    "lock_time": "0.5",
    "dome": "sony",
    "microphone": "point-to-point",
    "keyboard": null,
    "projector1": {"model": "X", "code": "F40103AABB00"},
    "projector2": {"model": "", "code": ""},
    "microphones": [)" +
                       mics + R"(]
  }
})";
    if (!replace.empty()) {
        const auto at = text.find(replace);
        if (at == std::string::npos)
            throw std::logic_error("example has no " + replace);
        text.replace(at, replace.size(), with);
    }
    return text;
}

TEST(SnapshotTest, WrittenExampleReadsAsItSays) {
    SSnapshot s;
    std::string error;
    ASSERT_TRUE(session::ParseSnapshot(MakeExample(), s, error)) << error;
    EXPECT_EQ(s.strProgram, "Velmora 1.0");
    EXPECT_EQ(s.strTime, "2026-12-08T22:40:05Z");
    EXPECT_EQ(s.read.received, (std::array<bool, 4>{true, true, true, false}));
    const auto& v = s.read.settings;
    EXPECT_EQ(v.initialIp, (codec::Ip4{192, 168, 1, 100}));
    EXPECT_EQ(v.controllerIp, (codec::Ip4{192, 168, 1, 101}));
    EXPECT_EQ(v.maskIp, (codec::Ip4{255, 255, 255, 0}));
    EXPECT_TRUE(v.bOneKey);
    EXPECT_EQ(v.nLockType, 0);
    EXPECT_EQ(v.nLockTime, 0);
    EXPECT_EQ(v.nDome, 1);
    EXPECT_EQ(v.nMic, 1);
    EXPECT_EQ(v.nKeyboard, -1);
    EXPECT_EQ(v.projectors[0].strCode, "F40103AABB00");
    EXPECT_EQ(v.projectors[0].strModel, "X");
    EXPECT_EQ(v.mics[0], (session::SMicEntry{"1", "3", "16", "-1"}));
    EXPECT_EQ(v.mics[7], session::SMicEntry{});
}

TEST(SnapshotTest, WhatIsWrittenIsReadBackWhole) {
    SSnapshot s;
    std::string error;
    ASSERT_TRUE(session::ParseSnapshot(MakeExample(), s, error));
    s.read.settings.nLockType = 1;
    s.read.settings.nLockTime = 120;
    s.read.settings.projectors[1] = {std::string(416, 'f'), "未知投影机型号"};
    s.read.settings.mics[19] = {"2", "12", "0", "31"};
    SSnapshot back;
    ASSERT_TRUE(session::ParseSnapshot(session::FormatSnapshot(s), back, error)) << error;
    EXPECT_EQ(back.read.settings, s.read.settings);
    EXPECT_EQ(back.read.received, s.read.received);
    EXPECT_EQ(back.strTime, s.strTime);
}

struct Damage {
    const char* name;
    std::string text;
    const char* field; // the error must name this
};

class SnapshotRefusalTest : public ::testing::TestWithParam<Damage> {};

TEST_P(SnapshotRefusalTest, IsRefusedNamingTheField) {
    SSnapshot s;
    s.strTime = "untouched";
    std::string error;
    EXPECT_FALSE(session::ParseSnapshot(GetParam().text, s, error));
    EXPECT_NE(error.find(GetParam().field), std::string::npos) << error;
    EXPECT_EQ(s.strTime, "untouched");
}

INSTANTIATE_TEST_SUITE_P(
    Files, SnapshotRefusalTest,
    ::testing::Values(
        Damage{"truncated", MakeExample().substr(0, 300), "cut short"},
        Damage{"not_json", "{\"format\": velmora}", "corrupt"}, Damage{"empty", "", "cut short"},
        Damage{"array", "[1, 2]", "JSON object"},
        Damage{"version2", MakeExample("\"version\": 1", "\"version\": 2"), "version: 2 is not supported"},
        Damage{"version_text", MakeExample("\"version\": 1", "\"version\": \"1\""), "version"},
        Damage{"format", MakeExample("velmora-snapshot", "other"), "format"},
        Damage{"lock_time", MakeExample("\"0.5\"", "\"121\""), "settings.lock_time"},
        Damage{"lock_time_zero", MakeExample("\"0.5\"", "\"0\""), "settings.lock_time"},
        Damage{"lock_type", MakeExample("\"pulse\"", "\"magnetic\""), "settings.lock_type"},
        Damage{"mic_channel", MakeExample("\"channel\": 3", "\"channel\": 254"), "microphones[0].channel"},
        Damage{"mic_type", MakeExample("\"camera_type\": 1", "\"camera_type\": -2"),
               "microphones[0].camera_type"},
        Damage{"mic_preset_text", MakeExample("\"preset\": -1}", "\"preset\": \"1\"}"),
               "microphones[0].preset"},
        Damage{"address", MakeExample("\"192.168.1.101\"", "\"192.168.1.256\""), "settings.controller_ip"},
        Damage{"address_short", MakeExample("\"255.255.255.0\"", "\"255.255.255\""), "settings.mask"},
        Damage{"code_odd", MakeExample("F40103AABB00", "F40103AABB0"), "settings.projector1.code"},
        Damage{"code_not_hex", MakeExample("F40103AABB00", "F40103AABBZZ"), "settings.projector1.code"},
        Damage{"code_too_long", MakeExample("F40103AABB00", std::string(418, 'F')),
               "settings.projector1.code"},
        Damage{"missing_gateway", MakeExample("\"gateway\": \"192.168.1.1\",", ""),
               "settings.gateway: missing"},
        Damage{"missing_mics", MakeExample("\"microphones\"", "\"mics\""), "settings.microphones: missing"},
        Damage{"received", MakeExample("\"devices\": false", "\"devices\": 0"), "received.devices"}),
    [](const auto& info) { return info.param.name; });

class HistoryTest : public ::testing::Test {
protected:
    HistoryTest() { folder = MakeTempFolder("velmora-history-"); }
    ~HistoryTest() override {
        std::error_code ignored;
        fs::permissions(folder, fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(folder, ignored);
    }
    SSnapshot Snapshot(int lockTime) {
        SSnapshot s;
        std::string error;
        if (!session::ParseSnapshot(MakeExample(), s, error))
            throw std::logic_error(error);
        s.read.settings.nLockTime = lockTime;
        return s;
    }
    fs::path folder;
};

TEST_F(HistoryTest, KeepsTheNewestTwentyPerController) {
    session::CHistory history(folder);
    for (int i = 1; i <= 23; ++i) {
        std::string error;
        fs::path saved;
        ASSERT_TRUE(history.Save({Snapshot(i)}, error, &saved)) << error;
        EXPECT_EQ(saved.parent_path(), folder / "history" / "192.168.1.100");
        EXPECT_TRUE(
            std::regex_match(saved.filename().string(), std::regex(R"(\d{8}T\d{6}\.\d{3}Z(_\d+)?\.json)")))
            << saved;
    }
    const auto files = history.List({192, 168, 1, 100});
    ASSERT_EQ(files.size(), 20u);
    SSnapshot oldest, newest;
    std::string error;
    ASSERT_TRUE(session::LoadSnapshot(files.front(), oldest, error)) << error;
    ASSERT_TRUE(session::LoadSnapshot(files.back(), newest, error)) << error;
    EXPECT_EQ(oldest.read.settings.nLockTime, 4);
    EXPECT_EQ(newest.read.settings.nLockTime, 23);
}

TEST_F(HistoryTest, UnwritableFolderIsAFailureWithAReason) {
    if (!CanRevokeWriteRights())
        GTEST_SKIP() << "this process writes in a folder without write bits (root, or Windows)";
    fs::permissions(folder, fs::perms::owner_write, fs::perm_options::remove);
    session::CHistory history(folder);
    std::string error;
    EXPECT_FALSE(history.Save({Snapshot(1)}, error));
    EXPECT_NE(error.find("history"), std::string::npos) << error;
}

TEST_F(HistoryTest, HistoryPathTakenByAFileIsAFailure) {
    std::ofstream(folder / "history") << "not a folder";
    session::CHistory history(folder);
    std::string error;
    EXPECT_FALSE(history.Save({Snapshot(1)}, error));
    EXPECT_FALSE(error.empty());
}

} // namespace

namespace {

// The example in the format's documentation is a file the program accepts.
TEST(SnapshotTest, DocumentedExampleIsAccepted) {
    std::ifstream in(VELMORA_SNAPSHOT_DOC);
    const std::string doc((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto start = doc.find("```json\n");
    const auto end = doc.rfind("```");
    ASSERT_NE(start, std::string::npos);
    SSnapshot s;
    std::string error;
    ASSERT_TRUE(session::ParseSnapshot(doc.substr(start + 8, end - start - 8), s, error)) << error;
    EXPECT_EQ(s.read.settings.projectors[0].strModel, "BenQ SP920");
    EXPECT_EQ(s.read.settings.mics[1], (session::SMicEntry{"0", "0", "-1", "5"}));
}

} // namespace
