#pragma once

// The controller emulator as a child process of a Qt test: started with the
// test's arguments on a free port (or a given one), its state and log in a
// folder of its own, killed when the test is done. Start() again restarts
// it, keeping that folder.

#include <QElapsedTimer>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <cstdint>

class CEmulatorProcess {
public:
    explicit CEmulatorProcess(QString strProgram) : m_strProgram(std::move(strProgram)) {}
    ~CEmulatorProcess() { Stop(); }
    CEmulatorProcess(const CEmulatorProcess&) = delete;
    CEmulatorProcess& operator=(const CEmulatorProcess&) = delete;

    // True once the emulator says where it listens.
    bool Start(const QStringList& args, std::uint16_t nPort = 0) {
        Stop();
        m_process.setProgram(m_strProgram);
        m_process.setArguments(
            QStringList{QStringLiteral("--port"), QString::number(nPort), QStringLiteral("--log"), Log()} +
            args);
        m_process.start();
        if (!m_process.waitForStarted())
            return false;
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < 5000) {
            if (m_process.canReadLine()) {
                const QString strLine = QString::fromUtf8(m_process.readLine()).trimmed();
                if (strLine.startsWith(QStringLiteral("listening on "))) {
                    m_nPort = static_cast<std::uint16_t>(strLine.section(QLatin1Char(':'), -1).toUInt());
                    return true;
                }
            } else {
                m_process.waitForReadyRead(100);
            }
        }
        return false;
    }
    void Stop() {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.kill();
        m_process.waitForFinished(3000);
    }
    std::uint16_t Port() const { return m_nPort; }
    QString Folder(const QString& strName) const { return m_folder.filePath(strName); }
    QString Log() const { return Folder(QStringLiteral("log.txt")); }

private:
    QString m_strProgram;
    QTemporaryDir m_folder;
    QProcess m_process;
    std::uint16_t m_nPort = 0;
};
