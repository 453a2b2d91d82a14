#include "Firewall.h"

// Winsock before the other system headers that use its types.
#include <winsock2.h>

#include <windows.h>

#include <netfw.h>
#include <oleauto.h>

#include <cwchar>
#include <string>

namespace net {
namespace {

// The firewall's policy object and its interfaces, named here so the build
// needs no import library of GUIDs.
const CLSID kPolicyClass = {0xE2B3C97F, 0x6AE1, 0x41AC, {0x81, 0x7A, 0xF6, 0xF9, 0x21, 0x66, 0xD7, 0xDD}};
const IID kPolicyInterface = {0x98325047, 0xC671, 0x4174, {0x8D, 0x81, 0xDE, 0xFC, 0xD3, 0xF0, 0x31, 0x86}};
const IID kRuleInterface = {0xAF230D27, 0xBABA, 0x4E42, {0xAC, 0xED, 0xF5, 0x24, 0xF2, 0x2C, 0xFC, 0xE2}};

// A rule for every protocol (the API's "any", which the MinGW header lacks).
constexpr long kAnyProtocol = 256;

std::string ProfileNames(long nProfiles) {
    std::string strText;
    const auto add = [&strText](const char* pszName) {
        strText += (strText.empty() ? "" : "+") + std::string(pszName);
    };
    if (nProfiles & NET_FW_PROFILE2_DOMAIN)
        add("Domain");
    if (nProfiles & NET_FW_PROFILE2_PRIVATE)
        add("Private");
    if (nProfiles & NET_FW_PROFILE2_PUBLIC)
        add("Public");
    return strText;
}

// Whether a rule's local ports ("*", "1550", "1500-1600,2000") include the port.
bool PortListHolds(const wchar_t* pszPorts, std::uint16_t nPort) {
    if (!pszPorts || !*pszPorts)
        return true;
    std::wstring strList(pszPorts);
    std::size_t nStart = 0;
    while (nStart <= strList.size()) {
        std::size_t nComma = strList.find(L',', nStart);
        if (nComma == std::wstring::npos)
            nComma = strList.size();
        const std::wstring strItem = strList.substr(nStart, nComma - nStart);
        if (strItem == L"*")
            return true;
        const std::size_t nDash = strItem.find(L'-');
        const long nFirst = std::wcstol(strItem.c_str(), nullptr, 10);
        const long nLast =
            nDash == std::wstring::npos ? nFirst : std::wcstol(strItem.c_str() + nDash + 1, nullptr, 10);
        if (nPort >= nFirst && nPort <= nLast)
            return true;
        nStart = nComma + 1;
    }
    return false;
}

bool RuleLetsIn(INetFwRule* pRule, long nProfiles, std::uint16_t nPort, const std::wstring& strProgram) {
    NET_FW_RULE_DIRECTION eDirection = NET_FW_RULE_DIR_OUT;
    NET_FW_ACTION eAction = NET_FW_ACTION_BLOCK;
    VARIANT_BOOL bEnabled = VARIANT_FALSE;
    long nRuleProfiles = 0, nProtocol = 0;
    if (FAILED(pRule->get_Direction(&eDirection)) || eDirection != NET_FW_RULE_DIR_IN ||
        FAILED(pRule->get_Action(&eAction)) || eAction != NET_FW_ACTION_ALLOW ||
        FAILED(pRule->get_Enabled(&bEnabled)) || bEnabled == VARIANT_FALSE ||
        FAILED(pRule->get_Profiles(&nRuleProfiles)) || (nRuleProfiles & nProfiles) == 0 ||
        FAILED(pRule->get_Protocol(&nProtocol)) ||
        (nProtocol != NET_FW_IP_PROTOCOL_UDP && nProtocol != kAnyProtocol))
        return false;
    BSTR pszPorts = nullptr, pszApplication = nullptr;
    bool bPort = false, bApplication = false;
    if (SUCCEEDED(pRule->get_LocalPorts(&pszPorts)))
        bPort = PortListHolds(pszPorts, nPort);
    if (SUCCEEDED(pRule->get_ApplicationName(&pszApplication)))
        bApplication =
            !pszApplication || !*pszApplication || _wcsicmp(pszApplication, strProgram.c_str()) == 0;
    ::SysFreeString(pszPorts);
    ::SysFreeString(pszApplication);
    return bPort && bApplication;
}

} // namespace

SFirewallCheck CheckFirewall(std::uint16_t nPort) {
    SFirewallCheck result;
    const HRESULT hInit = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    INetFwPolicy2* pPolicy = nullptr;
    if (FAILED(::CoCreateInstance(kPolicyClass, nullptr, CLSCTX_INPROC_SERVER, kPolicyInterface,
                                  reinterpret_cast<void**>(&pPolicy))) ||
        !pPolicy) {
        result.strError = "the firewall policy cannot be read";
        if (SUCCEEDED(hInit))
            ::CoUninitialize();
        return result;
    }
    result.bChecked = true;
    long nProfiles = 0;
    pPolicy->get_CurrentProfileTypes(&nProfiles);
    result.strProfile = ProfileNames(nProfiles);
    for (NET_FW_PROFILE_TYPE2 eProfile :
         {NET_FW_PROFILE2_DOMAIN, NET_FW_PROFILE2_PRIVATE, NET_FW_PROFILE2_PUBLIC}) {
        VARIANT_BOOL bOn = VARIANT_FALSE;
        if ((nProfiles & eProfile) && SUCCEEDED(pPolicy->get_FirewallEnabled(eProfile, &bOn)) &&
            bOn != VARIANT_FALSE)
            result.bEnabled = true;
    }
    wchar_t szProgram[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, szProgram, MAX_PATH);
    INetFwRules* pRules = nullptr;
    IUnknown* pEnumHolder = nullptr;
    IEnumVARIANT* pEnum = nullptr;
    if (SUCCEEDED(pPolicy->get_Rules(&pRules)) && pRules && SUCCEEDED(pRules->get__NewEnum(&pEnumHolder)) &&
        pEnumHolder &&
        SUCCEEDED(pEnumHolder->QueryInterface(IID_IEnumVARIANT, reinterpret_cast<void**>(&pEnum))) && pEnum) {
        result.eAllowed = ETriState::No;
        VARIANT item;
        ::VariantInit(&item);
        ULONG nFetched = 0;
        while (result.eAllowed == ETriState::No && pEnum->Next(1, &item, &nFetched) == S_OK &&
               nFetched == 1) {
            INetFwRule* pRule = nullptr;
            if (item.vt == VT_DISPATCH && item.pdispVal &&
                SUCCEEDED(item.pdispVal->QueryInterface(kRuleInterface, reinterpret_cast<void**>(&pRule))) &&
                pRule) {
                if (RuleLetsIn(pRule, nProfiles, nPort, szProgram))
                    result.eAllowed = ETriState::Yes;
                pRule->Release();
            }
            ::VariantClear(&item);
        }
    } else {
        result.strError = "the firewall rules cannot be read";
    }
    if (pEnum)
        pEnum->Release();
    if (pEnumHolder)
        pEnumHolder->Release();
    if (pRules)
        pRules->Release();
    pPolicy->Release();
    if (SUCCEEDED(hInit))
        ::CoUninitialize();
    return result;
}

} // namespace net
