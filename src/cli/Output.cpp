#include "Output.h"

#include "BatchPlan.h"
#include "Utf8Path.h"

#include <cstdio>

namespace cli {
namespace {

// Characters of a UTF-8 text; a Chinese character takes two columns on a terminal.
std::size_t Columns(const std::string& text) {
    std::size_t n = 0;
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const std::size_t len = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        n += len >= 3 ? 2 : 1;
        i += len;
    }
    return n;
}

std::string OrNone(const std::string& text) {
    return text.empty() ? "-" : text;
}

} // namespace

std::string Table(const std::vector<std::vector<std::string>>& rows) {
    std::vector<std::size_t> widths;
    for (const auto& row : rows)
        for (std::size_t i = 0; i < row.size(); ++i) {
            if (widths.size() <= i)
                widths.push_back(0);
            widths[i] = std::max(widths[i], Columns(row[i]));
        }
    std::string out;
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t i = 0; i < row.size(); ++i) {
            line += row[i];
            if (i + 1 < row.size())
                line += std::string(widths[i] - Columns(row[i]) + 2, ' ');
        }
        while (!line.empty() && line.back() == ' ')
            line.pop_back();
        out += line + "\n";
    }
    return out;
}

std::string SettingsTable(const session::SReadResult& read) {
    const session::SControllerSettings& s = read.settings;
    std::vector<std::vector<std::string>> rows{
        {"address", codec::BytesToAddress(s.initialIp)},
        {"controller_ip", codec::BytesToAddress(s.controllerIp)},
        {"server_ip", codec::BytesToAddress(s.serverIp)},
        {"mask", codec::BytesToAddress(s.maskIp)},
        {"gateway", codec::BytesToAddress(s.gatewayIp)},
        {"one_key", s.bOneKey ? "开" : "关"},
        {"lock_type", OrNone(session::LockTypeText(s.nLockType))},
        {"lock_time", OrNone(session::LockTimeText(s.nLockTime))},
        {"dome", OrNone(session::DomeText(s.nDome))},
        {"microphone", OrNone(session::MicSystemText(s.nMic))},
        {"keyboard", OrNone(session::KeyboardText(s.nKeyboard))},
        {"projector1", s.projectors[0].strModel.empty() ? "(空)" : s.projectors[0].strModel},
        {"projector2", s.projectors[1].strModel.empty() ? "(空)" : s.projectors[1].strModel},
    };
    for (std::size_t i = 0; i < s.mics.size(); ++i) {
        const auto& m = s.mics[i];
        rows.push_back({"mic" + std::to_string(i + 1),
                        m.strType + "," + m.strChannel + "," + m.strDome + "," + m.strPreset});
    }
    std::string out = Table(rows);
    if (!read.Complete())
        out += MissingPartsText(read.MissingParts()) + "\n";
    return out;
}

std::string FieldTable(const std::vector<session::SFieldResult>& fields) {
    std::vector<std::vector<std::string>> rows{{"field", "sent", "read back", ""}};
    for (const auto& f : fields)
        rows.push_back({f.strField, OrNone(f.strSent), OrNone(f.strRead), f.bEqual ? "ok" : "DIFFERENT"});
    return Table(rows);
}

nlohmann::json FieldsJson(const std::vector<session::SFieldResult>& fields) {
    nlohmann::json out = nlohmann::json::array();
    for (const auto& f : fields)
        out.push_back({{"field", f.strField}, {"sent", f.strSent}, {"read", f.strRead}, {"equal", f.bEqual}});
    return out;
}

std::string WriteMessage(const session::SWriteResult& result, const session::SWriteNotes& notes) {
    if (result.eOutcome == session::EWriteOutcome::Confirmed)
        return "every field read back as sent";
    if (result.eOutcome == session::EWriteOutcome::Different && !result.readBack.Complete())
        return "part of the read-back never came: " + session::DifferentFields(result.fields);
    return WriteOutcomeText(result, notes);
}

bool OutputAllowed(const std::string& strPath, const std::string& strDb,
                   const std::vector<std::string>& inputs) {
    base::COutputRule rule(PathFromUtf8(strDb));
    for (const std::string& strInput : inputs)
        if (!strInput.empty())
            rule.AddInput(PathFromUtf8(strInput));
    const base::EOutputRefusal eRefusal = rule.Check(PathFromUtf8(strPath));
    if (eRefusal == base::EOutputRefusal::None)
        return true;
    std::fprintf(stderr, "velmora-cli: %s\n", OutputRefusalText(eRefusal, strPath).c_str());
    return false;
}

} // namespace cli
