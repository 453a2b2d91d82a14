// 批量设置 benchmarks; each figure is a ratio against a baseline measured in
// the same run, against the emulator standing in for 100 rooms on loopback.
//  1. 100 rooms written from the dialog, 100 at a time, vs. one room's Set
//     from the same dialog (target: at most 1.3; the rooms' waits overlap).
//  2. The longest event-loop stall during the 100-room run, beside the idle
//     loop's (target: under 100 ms).
//  3. Resident memory growth over the 100-room run vs. the one-room run's
//     (target: at most twice the one room's plus 1 MB).
//  4. 400 rooms, 100 at a time, vs. four times the 100-room run (target: at
//     most 1.3), its longest stall (under 100 ms) and its memory growth
//     against the 100 rooms' (at most four times plus 1 MB).
#include "BatchDlg.h"
#include "MainConfigDlg.h"
#include "MessageBox.h"
#include "ResidentMemory.h"
#include "TestDatabase.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QProcess>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <fstream>
#include <string>

namespace {

// Runs the event loop until bDone, measuring the longest gap between 5 ms
// ticks; returns the elapsed milliseconds.
qint64 RunUntil(const bool& bDone, qint64& nLongest, int nLimitMs = 120000) {
    QElapsedTimer clock;
    clock.start();
    qint64 nLast = 0;
    nLongest = 0;
    QTimer probe;
    probe.setInterval(5);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const qint64 nNow = clock.elapsed();
        nLongest = std::max(nLongest, nNow - nLast);
        nLast = nNow;
    });
    probe.start();
    while (!bDone && clock.elapsed() < nLimitMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
    return clock.elapsed();
}

// One run of the dialog over `nRooms` rooms; returns its milliseconds.
qint64 WriteRooms(CMainConfigDlg& window, int nRooms, const QString& strResults, qint64& nStall,
                  long& nGrowthKb) {
    CBatchDlg::SOptions options;
    options.nTickMs = 200;
    options.dPauseScale = 0.1;
    options.nPollMs = 5;
    CBatchDlg dialog(window, options);
    dialog.show();
    for (int n = 1; n <= nRooms; ++n)
        dialog.AddRoom({}, QStringLiteral("127.65.%1.%2").arg((n + 10) / 256).arg((n + 10) % 256));
    dialog.FieldTick(CBatchDlg::kServerIp)->setChecked(true);
    static_cast<QLineEdit*>(dialog.FieldEditor(CBatchDlg::kServerIp))->setText(QStringLiteral("10.5.5.5"));
    dialog.ParallelSpin()->setValue(100);
    dialog.ResultsEdit()->setText(strResults);
    bool bDone = false;
    QObject::connect(&dialog, &CBatchDlg::RunEnded, [&] { bDone = true; });
    const long nBefore = ResidentKb();
    if (!dialog.StartRun())
        return -1;
    const qint64 nMs = RunUntil(bDone, nStall);
    nGrowthKb = ResidentKb() - nBefore;
    std::size_t nOk = 0;
    for (const auto& room : dialog.Rooms())
        nOk += room.eOutcome == session::EBatchOutcome::Ok;
    if (nOk != static_cast<std::size_t>(nRooms))
        std::printf("warning: %zu of %d rooms ok\n", nOk, nRooms);
    return nMs;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("offscreen"));
    QApplication app(argc, argv);
    CTestDatabase db;
    SetMessageRecorder([](const QString& strText) { std::printf("message: %s\n", qPrintable(strText)); });

    QTemporaryDir folder;
    QProcess emulator;
    emulator.setProgram(QStringLiteral(VELMORA_CONTROLLER));
    emulator.setArguments({QStringLiteral("--addresses"), QStringLiteral("127.65.0.10-127.65.1.169"),
                           QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--state-dir"),
                           folder.filePath(QStringLiteral("states"))});
    emulator.start();
    std::uint16_t nPort = 0;
    QElapsedTimer wait;
    wait.start();
    while (!nPort && wait.elapsed() < 5000) {
        if (emulator.canReadLine()) {
            const QString strLine = QString::fromUtf8(emulator.readLine()).trimmed();
            if (strLine.startsWith(QStringLiteral("listening on ")))
                nPort = static_cast<std::uint16_t>(strLine.section(QLatin1Char(':'), -1).toUInt());
        } else {
            emulator.waitForReadyRead(100);
        }
    }
    if (!nPort) {
        std::printf("the emulator did not start\n");
        return 1;
    }
    CMainConfigDlg::STiming timing;
    timing.nPort = 0;
    timing.nPeerPort = nPort;
    CMainConfigDlg window(timing);
    window.OnInitDialog();
    window.show();

    bool bNever = false;
    qint64 nIdle = 0;
    RunUntil(bNever, nIdle, 500);
    qint64 nOneStall = 0, nManyStall = 0;
    long nOneKb = 0, nManyKb = 0;
    const qint64 nOne = WriteRooms(window, 1, folder.filePath(QStringLiteral("one.csv")), nOneStall, nOneKb);
    const qint64 nMany =
        WriteRooms(window, 100, folder.filePath(QStringLiteral("many.csv")), nManyStall, nManyKb);
    const double dRatio = double(nMany) / double(std::max<qint64>(nOne, 1));
    constexpr double kMaxRatio = 1.3;
    std::printf("time:   100 rooms at 100 in parallel %lld ms, one room's Set %lld ms, ratio %.2f "
                "(target <= %.1f) %s\n",
                static_cast<long long>(nMany), static_cast<long long>(nOne), dRatio, kMaxRatio,
                dRatio <= kMaxRatio ? "ok" : "MISSED");
    constexpr qint64 kMaxStallMs = 100;
    std::printf("stall:  longest during the 100 rooms %lld ms (one room %lld ms, idle loop %lld ms) "
                "(target < %lld ms) %s\n",
                static_cast<long long>(nManyStall), static_cast<long long>(nOneStall),
                static_cast<long long>(nIdle), static_cast<long long>(kMaxStallMs),
                nManyStall < kMaxStallMs ? "ok" : "MISSED");
    const long nMaxKb = 2 * std::max(nOneKb, 0L) + 1024;
    std::printf("memory: growth over the 100 rooms %+ld kB, over one room %+ld kB, ratio %.2f "
                "(target <= 2 x one room + 1024 kB = %ld kB) %s\n",
                nManyKb, nOneKb, double(nManyKb) / double(std::max(nOneKb, 1L)), nMaxKb,
                nManyKb <= nMaxKb ? "ok" : "MISSED");
    qint64 nBigStall = 0;
    long nBigKb = 0;
    const qint64 nBig =
        WriteRooms(window, 400, folder.filePath(QStringLiteral("big.csv")), nBigStall, nBigKb);
    const double dBigRatio = double(nBig) / double(std::max<qint64>(4 * nMany, 1));
    std::printf("400:    400 rooms at 100 in parallel %lld ms, four times the 100 rooms %lld ms, ratio %.2f "
                "(target <= %.1f) %s\n",
                static_cast<long long>(nBig), static_cast<long long>(4 * nMany), dBigRatio, kMaxRatio,
                dBigRatio <= kMaxRatio ? "ok" : "MISSED");
    std::printf("400:    longest stall %lld ms (target < %lld ms) %s; memory growth %+ld kB against the 100 "
                "rooms' %+ld kB (target <= 4 x + 1024 kB = %ld kB) %s\n",
                static_cast<long long>(nBigStall), static_cast<long long>(kMaxStallMs),
                nBigStall < kMaxStallMs ? "ok" : "MISSED", nBigKb, nManyKb, 4 * std::max(nManyKb, 0L) + 1024,
                nBigKb <= 4 * std::max(nManyKb, 0L) + 1024 ? "ok" : "MISSED");
    emulator.kill();
    emulator.waitForFinished(3000);
    SetMessageRecorder(nullptr);
    return 0;
}
