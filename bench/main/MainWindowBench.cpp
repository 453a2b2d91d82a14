// Main window benchmarks; each figure is a ratio against a baseline measured
// in the same run.
//  1. Building and initialising the main window vs. a plain dialog with the
//     same number of ordinary widgets (target: at most 1.5).
//  2. The longest event-loop stall while a Set runs vs. the idle loop's
//     (target: under 100 ms).
//  3. A flood of 20,000 datagrams in 2 s: longest stall (target: under
//     100 ms) and resident memory growth (target: under 5 MB).
//  4. The same flood with the traffic log's dialog open vs. the flood again
//     without it (the log full in both): longest stall and memory growth.
#include "ControllerSocket.h"
#include "DialogBase.h"
#include "IpAddressEdit.h"
#include "MainConfigDlg.h"
#include "MainConfigIds.h"
#include "MessageBox.h"
#include "ReplyBuilder.h"
#include "ResidentMemory.h"
#include "RoomBar.h"
#include "TestDatabase.h"
#include "TrafficLogDlg.h"

#include "codec/Requests.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

namespace {

// Measures the longest gap between 5 ms ticks while the loop runs for nMs.
qint64 LongestStall(int nMs, const std::function<void(qint64)>& duringMs = nullptr) {
    QElapsedTimer clock;
    clock.start();
    qint64 nLast = 0, nLongest = 0;
    QTimer probe;
    probe.setInterval(5);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        qint64 nNow = clock.elapsed();
        nLongest = std::max(nLongest, nNow - nLast);
        nLast = nNow;
    });
    probe.start();
    while (clock.elapsed() < nMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
        if (duringMs)
            duringMs(clock.elapsed());
    }
    return nLongest;
}

double BuildMainWindows(int nRounds, std::uint16_t nPort) {
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < nRounds; ++i) {
        CMainConfigDlg::STiming timing;
        timing.nPort = nPort;
        CMainConfigDlg dialog(timing);
        dialog.OnInitDialog();
    }
    return double(clock.nsecsElapsed()) / nRounds;
}

// The baseline: one ordinary Qt widget per control of the main window's
// template, of the same kind (an editable combo where the window has one, a
// line edit for an address control), placed at fixed pixels.
// With bFieldsApart, an address control counts as what it is made of: four
// number fields in a frame.
double BuildPlainDialogs(int nRounds, const SDialogTemplate& layout, bool bFieldsApart = false) {
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < nRounds; ++i) {
        QDialog dialog;
        int n = 0;
        for (const auto& control : layout.controls) {
            QWidget* pWidget = nullptr;
            if (control.strKind == QLatin1String("combo")) {
                auto* pCombo = new QComboBox(&dialog);
                pCombo->setEditable(control.styles.contains(QLatin1String("dropdown")));
                pCombo->addItems(control.items);
                pWidget = pCombo;
            } else if (control.strKind == QLatin1String("button") ||
                       control.strKind == QLatin1String("defbutton")) {
                pWidget = new QPushButton(control.strText, &dialog);
            } else if (control.strKind == QLatin1String("check")) {
                pWidget = new QCheckBox(control.strText, &dialog);
            } else if (control.strKind == QLatin1String("ip") && bFieldsApart) {
                pWidget = new QFrame(&dialog);
                for (int nField = 0; nField < 4; ++nField)
                    new QLineEdit(pWidget);
            } else if (control.strKind == QLatin1String("ip") || control.strKind == QLatin1String("edit")) {
                pWidget = new QLineEdit(&dialog);
            } else {
                pWidget = new QLabel(control.strText, &dialog);
            }
            pWidget->setGeometry(n % 10 * 30, n / 10 * 20, 28, 18);
            pWidget->setVisible(control.bVisible);
            ++n;
        }
    }
    return double(clock.nsecsElapsed()) / nRounds;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("offscreen"));
    QApplication app(argc, argv);
    InstallFontSubstitutes();
    CTestDatabase db;
    SetMessageRecorder([](const QString&) {});
    SetQuestionRecorder([](const QString&) { return true; });

    // 1. Construction and initialisation.
    const int nRounds = 10;
    const SDialogTemplate layout = LoadDialogTemplate(102);
    BuildMainWindows(3, 0);
    BuildPlainDialogs(3, layout);
    // The best of several batches, so that other work on the machine weighs less.
    double nMain = 1e18, nPlain = 1e18, nPlainFields = 1e18;
    for (int nBatch = 0; nBatch < 7; ++nBatch) {
        nMain = std::min(nMain, BuildMainWindows(nRounds, 0));
        nPlain = std::min(nPlain, BuildPlainDialogs(nRounds, layout));
        nPlainFields = std::min(nPlainFields, BuildPlainDialogs(nRounds, layout, true));
    }
    std::printf(
        "main window build+init: %.2f ms; plain dialog with one ordinary widget per control (%zu): %.2f ms, "
        "ratio %.2f; the same with each address control as its four fields: %.2f ms, ratio %.2f "
        "(target <= 1.5)\n",
        nMain / 1e6, layout.controls.size(), nPlain / 1e6, nMain / nPlain, nPlainFields / 1e6,
        nMain / nPlainFields);

    // 2. A Set with the program's pauses cut to a tenth.
    CMainConfigDlg::STiming timing;
    timing.nPort = 0;
    timing.nPauseDivisor = 10;
    timing.nPeerPort = 9; // discard
    CMainConfigDlg dialog(timing);
    dialog.OnInitDialog();
    dialog.show();
    for (int nId :
         {mainid::kInitialIp, mainid::kServerIp, mainid::kControllerIp, mainid::kMask, mainid::kGateway})
        dialog.IpControl(nId)->SetText(QStringLiteral("127.0.0.1"));
    qint64 nIdle = LongestStall(500);
    dialog.OnSet();
    qint64 nSet = LongestStall(1200);
    std::printf("longest stall while a Set runs: %lld ms (idle loop %lld ms, ratio %.2f; target < 100 ms)\n",
                static_cast<long long>(nSet), static_cast<long long>(nIdle),
                double(nSet) / double(std::max<qint64>(nIdle, 1)));

    // 3. A flood: wrong address, 14-byte and valid kind 3 datagrams, 20,000 in 2 s.
    dialog.IpControl(mainid::kInitialIp)->SetText(QStringLiteral("127.0.0.1"));
    net::CUdpSocket flooder;
    std::string strError;
    flooder.Bind(net::Ip4{127, 0, 0, 1}, 0, net::CUdpSocket::EShare::Alone, strError);
    const std::uint16_t nTarget = dialog.Socket()->LocalPort();
    const codec::Datagram wrong = CReplyBuilder(3, {10, 0, 0, 1});
    const codec::Datagram query = CReplyBuilder(5, {127, 0, 0, 1});
    const codec::Datagram valid = CReplyBuilder(3, {127, 0, 0, 1}).Lock(1, 0);
    const codec::Datagram* kinds[3] = {&wrong, &query, &valid};
    int nSent = 0;
    // One flood: its longest stall, and the resident memory it added in kB.
    const auto flood = [&](long& nGrowthKb) {
        LongestStall(300);
        const long nBefore = ResidentKb();
        nSent = 0;
        const qint64 nStall = LongestStall(2300, [&](qint64 nNowMs) {
            // Keep pace with 10 datagrams per millisecond.
            while (nSent < 20000 && nSent < nNowMs * 10) {
                const codec::Datagram& d = *kinds[nSent % 3];
                flooder.Send(d.data(), d.size(), net::Ip4{127, 0, 0, 1}, nTarget);
                ++nSent;
            }
        });
        nGrowthKb = ResidentKb() - nBefore;
        return nStall;
    };
    long nGrowth = 0;
    const qint64 nFlood = flood(nGrowth);
    std::printf(
        "flood of %d datagrams: longest stall %lld ms (idle loop %lld ms, ratio %.2f; target < 100 ms), "
        "resident memory %+ld kB (target < 5120 kB)\n",
        nSent, static_cast<long long>(nFlood), static_cast<long long>(nIdle),
        double(nFlood) / double(std::max<qint64>(nIdle, 1)), nGrowth);

    // 4. The flood again, the log already full: without, then with 通信记录 open.
    long nGrowthPlain = 0, nGrowthLog = 0;
    const qint64 nPlainFlood = flood(nGrowthPlain);
    dialog.RoomBar()->OnTrafficLog();
    LongestStall(300);
    const qint64 nLogFlood = flood(nGrowthLog);
    const int nRows = dialog.RoomBar()->TrafficLogDialog()->Model()->rowCount();
    flooder.Close();
    std::printf(
        "flood with the traffic log open (%d rows): longest stall %lld ms vs %lld ms without it (ratio %.2f; "
        "target < 100 ms), resident memory %+ld kB vs %+ld kB (difference %+ld kB; target growth < 5120 "
        "kB)\n",
        nRows, static_cast<long long>(nLogFlood), static_cast<long long>(nPlainFlood),
        double(nLogFlood) / double(std::max<qint64>(nPlainFlood, 1)), nGrowthLog, nGrowthPlain,
        nGrowthLog - nGrowthPlain);
    SetMessageRecorder(nullptr);
    return 0;
}
