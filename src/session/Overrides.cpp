#include "Overrides.h"

#include "Database.h"
#include "ModelRules.h"
#include "RoomPlan.h"
#include "SettingsCheck.h"
#include "Statements.h"
#include "codec/AddressRange.h"
#include "codec/CodeBundle.h"

namespace session {
namespace {

void Tell(SValueProblem* pProblem, EValueProblem eProblem, std::string strField, std::string strValue = {},
          std::string strDetail = {}) {
    if (!pProblem)
        return;
    *pProblem = {};
    pProblem->eProblem = eProblem;
    pProblem->strField = std::move(strField);
    pProblem->strValue = std::move(strValue);
    pProblem->strDetail = std::move(strDetail);
}

void TellRule(SValueProblem* pProblem, const char* field, ESettingProblem eRule) {
    Tell(pProblem, EValueProblem::BrokenRule, field);
    if (pProblem)
        pProblem->eRule = eRule;
}

bool Address(const std::optional<std::string>& text, const char* field, std::optional<codec::Ip4>& out,
             SValueProblem* pProblem) {
    if (!text)
        return true;
    codec::Ip4 a{};
    if (!codec::ParseDottedQuad(*text, a)) {
        Tell(pProblem, EValueProblem::NotAnAddress, field, *text);
        return false;
    }
    out = a;
    return true;
}

} // namespace

bool ProjectorFromLibrary(const std::string& strModel, SProjectorSlot& slot, SValueProblem* pProblem) {
    try {
        auto pRecords = CDatabase::OpenRead(stmt::SelectModel(strModel));
        if (pRecords->AtEnd()) {
            Tell(pProblem, EValueProblem::NoSuchModel, {}, strModel);
            return false;
        }
        const library::SModelRecord record{strModel,
                                           pRecords->FieldOr("波特率", ""),
                                           pRecords->FieldOr("校验", ""),
                                           pRecords->FieldOr("VGA", ""),
                                           pRecords->FieldOr("VIDEO", ""),
                                           pRecords->FieldOr("POWER ON", ""),
                                           pRecords->FieldOr("POWER OFF", "")};
        pRecords.reset();
        // A row the code dialog would not save is not sent either: a code of
        // odd length or an unknown serial setting makes a misaligned block.
        if (const library::ERuleFailure eRule = library::CheckRecord(record);
            eRule != library::ERuleFailure::None) {
            Tell(pProblem, EValueProblem::LibraryRowRule, {}, strModel);
            if (pProblem)
                pProblem->eLibraryRule = eRule;
            return false;
        }
        const codec::ProjectorCodes codes{record.baud, record.parity,  record.video,
                                          record.vga,  record.powerOn, record.powerOff};
        const codec::BundleResult bundle = codec::BuildCodeBundle(codes);
        if (bundle.status != codec::BundleStatus::Ok) {
            Tell(pProblem, EValueProblem::CodesTooLong, {}, strModel);
            return false;
        }
        slot = {bundle.bundle, strModel};
        return true;
    } catch (const CDatabaseError& e) {
        Tell(pProblem, EValueProblem::LibraryUnreadable, {}, strModel, DatabaseErrorText(e.Code(), e.Text()));
        return false;
    }
}

bool ResolveOverrides(const SOverrideTexts& t, SOverrides& out, SValueProblem* pProblem) {
    SOverrides r;
    if (!Address(t.controllerIp, "controller_ip", r.controllerIp, pProblem) ||
        !Address(t.serverIp, "server_ip", r.serverIp, pProblem) ||
        !Address(t.mask, "mask", r.mask, pProblem) || !Address(t.gateway, "gateway", r.gateway, pProblem))
        return false;
    // The rules a value meets on its own; those that need the whole
    // settings (subnet, gateway, lock type) run once the controller is read.
    if (r.mask) {
        if (const auto e = CheckMask(*r.mask); e != ESettingProblem::None) {
            TellRule(pProblem, "mask", e);
            return false;
        }
    }
    if (r.controllerIp) {
        if (const auto e = CheckHostAddress(*r.controllerIp); e != ESettingProblem::None) {
            TellRule(pProblem, "controller_ip", e);
            return false;
        }
    }
    if (t.lockType) {
        const std::string& v = *t.lockType;
        if (v == "pulse" || v == "脉冲型")
            r.lockType = 0;
        else if (v == "level" || v == "电平型")
            r.lockType = 1;
        else {
            Tell(pProblem, EValueProblem::NotPulseOrLevel, "lock_type", v);
            return false;
        }
    }
    if (t.lockTime) {
        const std::string& v = *t.lockTime;
        int n = -1;
        if (v == "0.5")
            n = 0;
        else if (!v.empty() && v.size() <= 3 && v.find_first_not_of("0123456789") == std::string::npos &&
                 v[0] != '0')
            n = std::stoi(v);
        if (n < 0 || n > 120) {
            Tell(pProblem, EValueProblem::BadLockTime, "lock_time", v);
            return false;
        }
        r.lockTime = n;
        if (r.lockType == 1) {
            TellRule(pProblem, "lock_time", ESettingProblem::LockTimeWithLevelLock);
            return false;
        }
    }
    if (t.oneKey) {
        const std::string& v = *t.oneKey;
        if (v == "on" || v == "yes" || v == "true" || v == "1" || v == "开")
            r.oneKey = true;
        else if (v == "off" || v == "no" || v == "false" || v == "0" || v == "关")
            r.oneKey = false;
        else {
            Tell(pProblem, EValueProblem::NotOnOrOff, "one_key", v);
            return false;
        }
    }
    const std::optional<std::string>* models[2] = {&t.projector1, &t.projector2};
    for (std::size_t p = 0; p < 2; ++p) {
        if (!*models[p])
            continue;
        SProjectorSlot slot;
        if (!ProjectorFromLibrary(**models[p], slot, pProblem)) {
            if (pProblem)
                pProblem->strField = p == 0 ? "projector1" : "projector2";
            return false;
        }
        r.projectors[p] = slot;
    }
    out = std::move(r);
    return true;
}

void ApplyOverrides(const SOverrides& o, SControllerSettings& s) {
    if (o.controllerIp)
        s.controllerIp = *o.controllerIp;
    if (o.serverIp)
        s.serverIp = *o.serverIp;
    if (o.mask)
        s.maskIp = *o.mask;
    if (o.gateway)
        s.gatewayIp = *o.gateway;
    if (o.lockType)
        s.nLockType = *o.lockType;
    if (o.lockTime)
        s.nLockTime = *o.lockTime;
    if (o.oneKey)
        s.bOneKey = *o.oneKey;
    for (std::size_t p = 0; p < 2; ++p)
        if (o.projectors[p])
            s.projectors[p] = *o.projectors[p];
}

} // namespace session
