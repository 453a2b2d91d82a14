#include "MessageBox.h"

#include "Database.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

#include <map>

namespace {

MessageRecorder g_recorder;
QuestionRecorder g_questionRecorder;
OfferRecorder g_offerRecorder;
int g_nOpenBoxes = 0;
int g_nNextListenerKey = 1;
std::map<int, BoxesClosedListener> g_listeners;

// Counts a box as open for as long as it lives, and tells the listeners when
// the last one has closed.
class CBoxScope {
public:
    CBoxScope() { ++g_nOpenBoxes; }
    ~CBoxScope() {
        if (--g_nOpenBoxes > 0)
            return;
        // A listener may remove itself (or others) while being told.
        const auto listeners = g_listeners;
        for (const auto& [nKey, listener] : listeners)
            if (g_listeners.count(nKey))
                listener();
    }
    CBoxScope(const CBoxScope&) = delete;
    CBoxScope& operator=(const CBoxScope&) = delete;
};

int RunBox(const QString& strText, QMessageBox::StandardButtons buttons,
           QMessageBox::StandardButton eDefault = QMessageBox::NoButton) {
    QMessageBox box(QMessageBox::NoIcon, ProgramTitle(), strText, buttons, QApplication::activeWindow());
    box.setAccessibleName(strText);
    if (eDefault != QMessageBox::NoButton)
        box.setDefaultButton(eDefault);
    return box.exec();
}

} // namespace

QString ProgramTitle() {
    return QStringLiteral("Velmora");
}

void MessageBoxShow(const QString& strText) {
    CBoxScope scope;
    if (g_recorder)
        g_recorder(strText);
    else
        RunBox(strText, QMessageBox::Ok);
}

bool MessageBoxOffer(const QString& strText, const QString& strButton) {
    CBoxScope scope;
    if (g_offerRecorder)
        return g_offerRecorder(strText, strButton);
    if (g_recorder) {
        g_recorder(strText);
        return false;
    }
    QMessageBox box(QMessageBox::NoIcon, ProgramTitle(), strText, QMessageBox::Ok,
                    QApplication::activeWindow());
    box.setAccessibleName(strText);
    QPushButton* pOffer = box.addButton(strButton, QMessageBox::ActionRole);
    pOffer->setAccessibleName(strButton);
    box.setDefaultButton(QMessageBox::Ok);
    box.exec();
    return box.clickedButton() == pOffer;
}

bool MessageBoxAsk(const QString& strText, bool bDefaultNo) {
    CBoxScope scope;
    if (g_questionRecorder)
        return g_questionRecorder(strText);
    return RunBox(strText, QMessageBox::Yes | QMessageBox::No,
                  bDefaultNo ? QMessageBox::No : QMessageBox::Yes) == QMessageBox::Yes;
}

void SetMessageRecorder(MessageRecorder recorder) {
    g_recorder = std::move(recorder);
}

void SetOfferRecorder(OfferRecorder recorder) {
    g_offerRecorder = std::move(recorder);
}

void SetQuestionRecorder(QuestionRecorder recorder) {
    g_questionRecorder = std::move(recorder);
}

void InstallMessageSink() {
    SetMessageSink([](const std::string& strText) { MessageBoxShow(QString::fromStdString(strText)); });
}

bool IsMessageBoxOpen() {
    return g_nOpenBoxes > 0;
}

int AddBoxesClosedListener(BoxesClosedListener listener) {
    const int nKey = g_nNextListenerKey++;
    g_listeners.emplace(nKey, std::move(listener));
    return nKey;
}

void RemoveBoxesClosedListener(int nKey) {
    g_listeners.erase(nKey);
}
