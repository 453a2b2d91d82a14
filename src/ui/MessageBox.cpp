#include "MessageBox.h"

#include "Database.h"

#include <QApplication>
#include <QMessageBox>

#include <deque>

namespace {

MessageRecorder g_recorder;
int g_nOpenBoxes = 0;
std::deque<std::function<void()>> g_pending;
bool g_bDraining = false;

void DrainPending() {
    if (g_bDraining)
        return;
    g_bDraining = true;
    while (g_nOpenBoxes == 0 && !g_pending.empty()) {
        auto work = std::move(g_pending.front());
        g_pending.pop_front();
        work();
    }
    g_bDraining = false;
}

} // namespace

QString ProgramTitle() {
    return QStringLiteral("Velmora");
}

void MessageBoxShow(const QString& strText) {
    ++g_nOpenBoxes;
    if (g_recorder) {
        g_recorder(strText);
    } else {
        QMessageBox box(QMessageBox::NoIcon, ProgramTitle(), strText, QMessageBox::Ok,
                        QApplication::activeWindow());
        box.setAccessibleName(strText);
        box.exec();
    }
    --g_nOpenBoxes;
    if (g_nOpenBoxes == 0)
        DrainPending();
}

void SetMessageRecorder(MessageRecorder recorder) {
    g_recorder = std::move(recorder);
}

void InstallMessageSink() {
    SetMessageSink([](const std::string& strText) { MessageBoxShow(QString::fromStdString(strText)); });
}

bool IsMessageBoxOpen() {
    return g_nOpenBoxes > 0;
}

void RunOutsideMessageBox(std::function<void()> work) {
    if (g_nOpenBoxes == 0 && g_pending.empty() && !g_bDraining) {
        work();
        return;
    }
    g_pending.push_back(std::move(work));
    if (g_nOpenBoxes == 0)
        DrainPending();
}
