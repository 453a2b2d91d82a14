// The main window as a careless installer uses it, against three emulated
// controllers whose rooms differ in every field: reads that lose a reply,
// list picks, typed addresses, a file of another room, the microphone dialog
// accepted or cancelled, a projector chosen, and Sets. Sequences are
// generated and shrunk by RapidCheck; the oracle speaks of rooms, not code:
//  - after a read, every part that came shows as that room holds it, and
//    every part that did not come shows empty;
//  - after a Set, the controller holds exactly what the window showed (by
//    meaning: a level lock has no time), no other controller changed, no two
//    share an address, and every part that was neither read nor chosen was
//    asked about first.
#include "IpAddressEdit.h"
#include "MainConfigDlg.h"
#include "MainConfigIds.h"
#include "MessageBox.h"
#include "ProgramValues.h"
#include "TestDatabase.h"

#include "Comparison.h"
#include "MicTable.h"
#include "PeerNetwork.h"
#include "codec/CodeBundle.h"
#include "codec/Reply.h"

#include <rapidcheck.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QtTest>

#include <deque>
#include <memory>
#include <ostream>
#include <vector>

using namespace mainid;

namespace {

constexpr int kRooms = 3;

std::vector<std::uint8_t> Bundle(const char* pszVideo, const char* pszVga) {
    const codec::ProjectorCodes codes{"9600", "无", pszVideo, pszVga, "505752204F4E0D", "505752204F46460D"};
    const std::string hex = codec::BuildCodeBundle(codes).bundle;
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return bytes;
}

// Three rooms; any two differ in every field a Set carries.
controller::ControllerState Room(int nRoom) {
    controller::ControllerState s = controller::DefaultState({10, 0, 0, 11});
    switch (nRoom) {
    case 0:
        s.address = {10, 0, 0, 11};
        s.server = {10, 0, 0, 1};
        s.mask = {255, 255, 255, 0};
        s.gateway = {10, 0, 0, 254};
        s.oneKey = {0xAA, 0xAA};
        s.lockType = 1;
        s.lockTime = 5;
        s.dome = 1, s.microphone = 2, s.keyboard = 1;
        for (std::size_t i = 0; i < s.mics.size(); ++i)
            s.mics[i] = {1, static_cast<std::uint8_t>(i + 1), 1, static_cast<std::uint8_t>(i + 2)};
        s.projectors = {Bundle("0A0B0C", "0D0E"), Bundle("1A1B", "1C1D1E")};
        break;
    case 1:
        s.address = {10, 0, 1, 12};
        s.server = {10, 0, 1, 2};
        s.mask = {255, 255, 0, 0};
        s.gateway = {10, 0, 0, 1};
        s.oneKey = {0xA0, 0xA0};
        s.lockType = 2;
        s.lockTime = 0;
        s.dome = 2, s.microphone = 1, s.keyboard = 2;
        s.projectors = {Bundle("2A2B2C2D", "2E"), {}};
        break;
    default:
        s.address = {10, 0, 2, 13};
        s.server = {10, 0, 2, 3};
        s.mask = {255, 0, 0, 0};
        s.gateway = {10, 0, 0, 2};
        s.oneKey = {0xAA, 0xAA};
        s.lockType = 1;
        s.lockTime = 30;
        s.dome = 1, s.microphone = 1, s.keyboard = 2;
        for (std::size_t i = 0; i < s.mics.size(); ++i)
            s.mics[i] = {2, 3, static_cast<std::uint8_t>(i % 2 + 1), 1};
        s.projectors = {Bundle("3A", "3B3C"), Bundle("4A4B4C", "4D")};
        break;
    }
    return s;
}

// What a controller holds, as the tool would read it whole.
session::SReadResult Holds(const controller::Peer& peer) {
    session::SReadResult result;
    for (const codec::Datagram& d : peer.Replies(controller::Faults{}))
        session::ApplyReply(codec::ReadReply(d.data(), d.size(), peer.Current()), result);
    return result;
}

// One action of the installer.
enum class EAction { Read, PickList, TypeAddress, LoadFile, MicDialog, ChooseProjector, Set };
struct SAction {
    EAction eAction = EAction::Read;
    int nRoom = 0; // the room read, whose file is loaded, whose address is typed, whose codes are chosen
    int nWhich =
        0; // Read: the reply lost (0 none, 1-4 its kind); PickList/TypeAddress/ChooseProjector: which control
    int nValue =
        0; // PickList: the item; TypeAddress: 0 another room's address, else a fresh one; MicDialog: 1 accept
};

const char* ActionName(EAction e) {
    switch (e) {
    case EAction::Read:
        return "Read";
    case EAction::PickList:
        return "PickList";
    case EAction::TypeAddress:
        return "TypeAddress";
    case EAction::LoadFile:
        return "LoadFile";
    case EAction::MicDialog:
        return "MicDialog";
    case EAction::ChooseProjector:
        return "ChooseProjector";
    case EAction::Set:
        return "Set";
    }
    return "?";
}

std::ostream& operator<<(std::ostream& os, const SAction& a) {
    return os << ActionName(a.eAction) << "(room " << a.nRoom << ", " << a.nWhich << ", " << a.nValue << ")";
}

bool SamePart(std::size_t nPart, const session::SControllerSettings& a,
              const session::SControllerSettings& b) {
    switch (nPart) {
    case session::kPartProjector1:
    case session::kPartProjector2:
        return QString::fromStdString(a.projectors[nPart].strCode)
                   .compare(QString::fromStdString(b.projectors[nPart].strCode), Qt::CaseInsensitive) == 0;
    case session::kPartNetwork:
        return a.serverIp == b.serverIp && a.controllerIp == b.controllerIp && a.maskIp == b.maskIp &&
               a.gatewayIp == b.gatewayIp && a.bOneKey == b.bOneKey && a.nLockType == b.nLockType &&
               (a.nLockType == 1 || a.nLockTime == b.nLockTime);
    default:
        return a.nDome == b.nDome && a.nMic == b.nMic && a.nKeyboard == b.nKeyboard && a.mics == b.mics;
    }
}

// One run: a fresh data.mdb, the window on an in-process transport, three controllers.
class CBench {
public:
    CBench() {
        ResetProgramValues();
        SetMessageRecorder([this](const QString& s) { m_messages << s; });
        SetQuestionRecorder([this](const QString& s) {
            m_questions << s;
            return true;
        });
        InstallMessageSink();
        for (int i = 0; i < kRooms; ++i)
            m_peers.emplace_back(Room(i));
        CMainConfigDlg::STiming timing;
        timing.nTimerPeriodMs = 3600 * 1000;
        timing.nPauseDivisor = 1000;
        m_pWindow = std::make_unique<CMainConfigDlg>(timing);
        m_pWindow->UseTransport([this](const codec::Datagram& d, const codec::Ip4& to) {
            m_outbox.push_back({d, to});
        });
        m_pWindow->m_pfnRunChildDialog = [this](CMainConfigDlg::EChildDialog which) {
            if (which != CMainConfigDlg::EChildDialog::MicSettings || !m_bAcceptMic)
                return int(QDialog::Rejected);
            // What the installer saved in the microphone dialog.
            std::array<session::SMicEntry, codec::kMicEntries> rows;
            for (std::size_t i = 0; i < rows.size(); ++i)
                rows[i] = {"0", std::to_string(i % 4), "1", std::to_string(i % 3)};
            session::StoreMicTable(rows);
            return int(QDialog::Accepted);
        };
        m_pWindow->OnInitDialog();
    }
    ~CBench() {
        m_pWindow.reset();
        SetMessageRecorder({});
        SetQuestionRecorder({});
    }

    void Run(const SAction& a) {
        switch (a.eAction) {
        case EAction::Read:
            Read(a.nRoom, a.nWhich % 5);
            break;
        case EAction::PickList: {
            const std::array<int, 5> ids{kDome, kMic, kKeyboard, kLockType, kLockTime};
            const int nId = ids[static_cast<std::size_t>(a.nWhich % 5)];
            auto* pCombo = W().ControlAs<QComboBox>(nId);
            if (!pCombo->isEnabled() || pCombo->count() == 0)
                break;
            const int nItem = a.nValue % pCombo->count();
            pCombo->setCurrentIndex(nItem);
            emit pCombo->activated(nItem);
            m_known[nId == kLockType || nId == kLockTime ? session::kPartNetwork : session::kPartDevices] =
                true;
            break;
        }
        case EAction::TypeAddress: {
            const std::array<int, 4> ids{kServerIp, kControllerIp, kMask, kGateway};
            const int nId = ids[static_cast<std::size_t>(a.nWhich % 4)];
            CIpAddressEdit* pIp = W().IpControl(nId);
            if (!pIp->isEnabled())
                break;
            QString strText;
            if (nId == kMask)
                strText = QStringList{"255.255.255.0", "255.255.0.0", "255.0.0.0"}[a.nValue % 3];
            else if (nId == kControllerIp && a.nValue % 2 == 0)
                strText = QString::fromStdString(codec::BytesToAddress(Peer(a.nRoom).Current()));
            else
                strText = QStringLiteral("10.0.%1.%2").arg(nId == kGateway ? 0 : 7).arg(50 + a.nValue % 40);
            pIp->SetText(strText);
            emit pIp->Edited();
            m_known[session::kPartNetwork] = true;
            break;
        }
        case EAction::LoadFile: {
            // A file saved from another room: all of it is the installer's choice.
            const session::SReadResult file = Holds(Peer(a.nRoom));
            W().LoadSettings(file.settings, false, file.received);
            m_known = {true, true, true, true};
            break;
        }
        case EAction::MicDialog:
            if (!W().IsItemEnabled(kMicSettings))
                break;
            m_bAcceptMic = a.nValue % 2 == 1;
            W().OnMicSettings();
            if (m_bAcceptMic)
                m_known[session::kPartDevices] = true;
            break;
        case EAction::ChooseProjector: {
            if (!W().IsItemEnabled(kSelect1))
                break;
            const int nSlot = a.nWhich % 2;
            const session::SReadResult codes = Holds(Peer(a.nRoom));
            const auto& slot = codes.settings.projectors[static_cast<std::size_t>(1 - nSlot)];
            if (slot.strCode.empty())
                break;
            g_nProjectorSlot = nSlot + 1;
            g_strChosenCode = slot.strCode;
            g_strChosenModel = "Model of room " + std::to_string(a.nRoom);
            g_bProjectorChosen = true;
            W().FireTimer(kTimerTakeOver);
            m_known[static_cast<std::size_t>(nSlot)] = true;
            break;
        }
        case EAction::Set:
            Set();
            break;
        }
    }

private:
    struct SOut {
        codec::Datagram bytes;
        codec::Ip4 to;
    };

    CMainConfigDlg& W() { return *m_pWindow; }
    controller::Peer& Peer(int nRoom) { return m_peers[static_cast<std::size_t>(nRoom % kRooms)]; }

    // Carries every datagram to the controller at its address and every
    // answer back, until nothing is on the way; replies of kind nLose are lost.
    void Pump(int nLose = 0) {
        while (!m_outbox.empty() || !m_inbox.empty()) {
            while (!m_outbox.empty()) {
                const SOut out = m_outbox.front();
                m_outbox.pop_front();
                if (out.bytes.size() > 13 && out.bytes[13] >= 1 && out.bytes[13] <= 4)
                    ++m_nSettingsSent;
                for (const codec::Datagram& reply :
                     testsupport::CarryToPeers(m_peers, out.bytes, out.to, nLose))
                    m_inbox.push_back(reply);
            }
            if (!m_inbox.empty()) {
                const codec::Datagram reply = m_inbox.front();
                m_inbox.pop_front();
                W().ReceiveDatagram(reply.data(), reply.size());
            }
        }
    }

    void Tick(int nTimer) {
        W().PassTime(3600 * 1000);
        W().FireTimer(nTimer);
    }

    void Read(int nRoom, int nLose) {
        if (W().IsSending())
            return;
        controller::Peer& peer = Peer(nRoom);
        W().ReadController(peer.Current());
        Pump(nLose);
        for (int i = 0; i < CMainConfigDlg::kQueryWaitTicks && W().IsReading(); ++i)
            Tick(kTimerQuery);
        RC_ASSERT(!W().IsReading());
        const session::SReadResult held = Holds(peer);
        const session::SControllerSettings shown = W().CurrentSettings();
        for (std::size_t nPart = 0; nPart < session::kReplyParts; ++nPart) {
            const bool bCame = nLose != static_cast<int>(nPart) + 1;
            if (bCame)
                RC_ASSERT(SamePart(nPart, shown, held.settings));
            else
                RC_ASSERT(SamePart(nPart, shown, session::SControllerSettings{}));
            m_known[nPart] = bCame;
        }
    }

    void Set() {
        if (!W().IsItemEnabled(kSet))
            return;
        const session::SControllerSettings shown = W().CurrentSettings();
        std::vector<controller::ControllerState> before;
        for (const controller::Peer& peer : m_peers)
            before.push_back(peer.State());
        m_questions.clear();
        m_nSettingsSent = 0;
        W().OnSet();
        for (int i = 0; i < 20 && W().IsSending(); ++i) {
            Pump();
            if (W().IsSending())
                W().FireSetStep();
        }
        Pump();
        for (int i = 0; i < CMainConfigDlg::kSetWaitTicks; ++i)
            Tick(kTimerSet);
        if (m_nSettingsSent == 0) {
            for (std::size_t i = 0; i < m_peers.size(); ++i)
                RC_ASSERT(m_peers[i].State() == before[i]);
            return;
        }
        // Every part neither read nor chosen was asked about.
        const std::array<const char*, 4> words{"投影机1", "投影机2", "IP设置", "附加设置"};
        for (std::size_t nPart = 0; nPart < session::kReplyParts; ++nPart) {
            if (m_known[nPart])
                continue;
            const bool bAsked = std::any_of(m_questions.begin(), m_questions.end(), [&](const QString& q) {
                return q.startsWith(QString::fromUtf8(words[nPart]));
            });
            RC_ASSERT(bAsked);
        }
        // The controller at the address the window showed holds what it showed.
        std::size_t nTarget = m_peers.size();
        for (std::size_t i = 0; i < m_peers.size(); ++i)
            if (before[i].address == shown.initialIp)
                nTarget = i;
        RC_ASSERT(nTarget < m_peers.size());
        const auto fields = session::CompareFields(shown, Holds(m_peers[nTarget]));
        for (const session::SFieldResult& f : fields)
            RC_ASSERT(f.bEqual);
        for (std::size_t i = 0; i < m_peers.size(); ++i) {
            if (i != nTarget)
                RC_ASSERT(m_peers[i].State() == before[i]);
            for (std::size_t j = i + 1; j < m_peers.size(); ++j)
                RC_ASSERT(m_peers[i].Current() != m_peers[j].Current());
        }
        // What the window shows now is the read-back: all of it this room's.
        m_known = {true, true, true, true};
    }

    CTestDatabase m_db;
    std::vector<controller::Peer> m_peers;
    std::unique_ptr<CMainConfigDlg> m_pWindow;
    std::deque<SOut> m_outbox;
    std::deque<codec::Datagram> m_inbox;
    QStringList m_messages, m_questions;
    std::array<bool, session::kReplyParts> m_known{};
    bool m_bAcceptMic = false;
    int m_nSettingsSent = 0;
};

} // namespace

namespace rc {
template <> struct Arbitrary<SAction> {
    static Gen<SAction> arbitrary() {
        return gen::build<SAction>(
            gen::set(&SAction::eAction,
                     gen::element(EAction::Read, EAction::Read, EAction::Read, EAction::PickList,
                                  EAction::TypeAddress, EAction::LoadFile, EAction::MicDialog,
                                  EAction::MicDialog, EAction::ChooseProjector, EAction::Set, EAction::Set)),
            gen::set(&SAction::nRoom, gen::element(0, 1, 2)),
            gen::set(&SAction::nWhich, gen::element(0, 1, 2, 3, 4)),
            gen::set(&SAction::nValue, gen::element(0, 1, 2, 3, 4, 5, 6, 7)));
    }
};
} // namespace rc

class CWindowModelTest : public QObject {
    Q_OBJECT
private slots:
    void theWindowSendsExactlyWhatItShows() {
        const bool bOk =
            rc::check("the window sends exactly what it shows", [](const std::vector<SAction>& actions) {
                CBench bench;
                for (const SAction& a : actions)
                    bench.Run(a);
            });
        QVERIFY(bOk);
    }
};

QTEST_MAIN(CWindowModelTest)
#include "WindowModelTest.moc"
