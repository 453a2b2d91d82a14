// Screen readers and UI automation find every control of every dialog by its
// name: its label's text or its own text.
#include "AboutDlg.h"
#include "BatchDlg.h"
#include "HistoryDlg.h"
#include "ImportPreview.h"
#include "IpAddressEdit.h"
#include "LibraryImportDlg.h"
#include "MainConfigDlg.h"
#include "MessageBox.h"
#include "MicSettingsDlg.h"
#include "ModelSearchDlg.h"
#include "ProjectorCodeDlg.h"
#include "ScanDlg.h"
#include "SetResultDlg.h"
#include "TestDatabase.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QSpinBox>
#include <QTableWidget>
#include <QtTest>

#include <functional>
#include <memory>

class CAccessibleNamesTest : public QObject {
    Q_OBJECT

private slots:
    void everyControlIsNamed_data() {
        QTest::addColumn<int>("dialog");
        QTest::newRow("about") << 100;
        QTest::newRow("main window") << 102;
        QTest::newRow("projector codes") << 104;
        QTest::newRow("microphones") << 105;
        QTest::newRow("model search") << 106;
        QTest::newRow("import preview") << 107;
    }

    void everyControlIsNamed() {
        QFETCH(int, dialog);
        CTestDatabase db;
        SetMessageRecorder([](const QString&) {});
        std::unique_ptr<CDialogBase> pDialog;
        library::CImportPreview preview;
        switch (dialog) {
        case 100:
            pDialog = std::make_unique<CAboutDlg>();
            break;
        case 102: {
            CMainConfigDlg::STiming timing;
            timing.nPort = 0;
            pDialog = std::make_unique<CMainConfigDlg>(timing);
            break;
        }
        case 104:
            pDialog = std::make_unique<CProjectorCodeDlg>();
            break;
        case 105:
            pDialog = std::make_unique<CMicSettingsDlg>();
            break;
        case 107:
            pDialog = std::make_unique<CLibraryImportDlg>(preview, "data.mdb");
            break;
        default:
            pDialog = std::make_unique<CModelSearchDlg>();
            break;
        }
        // Every window has a title of its own; the projector dialog keeps its template's.
        if (dialog == 104)
            QCOMPARE(pDialog->windowTitle(), QStringLiteral("Dialog"));
        else
            QVERIFY2(!pDialog->windowTitle().isEmpty() && pDialog->windowTitle() != QStringLiteral("Dialog"),
                     qPrintable(pDialog->windowTitle()));
        int nChecked = 0;
        for (const auto& control : pDialog->Template().controls) {
            QWidget* pWidget = pDialog->Control(control.nId);
            if (control.nId <= 0 || !pWidget)
                continue;
            const bool bInteractive =
                qobject_cast<QAbstractButton*>(pWidget) || qobject_cast<QComboBox*>(pWidget) ||
                qobject_cast<QLineEdit*>(pWidget) || qobject_cast<QPlainTextEdit*>(pWidget) ||
                qobject_cast<QAbstractItemView*>(pWidget) || qobject_cast<QProgressBar*>(pWidget) ||
                qobject_cast<CIpAddressEdit*>(pWidget);
            if (!bInteractive)
                continue;
            ++nChecked;
            QVERIFY2(!pWidget->accessibleName().trimmed().isEmpty(),
                     qPrintable(QStringLiteral("control %1 has no accessible name").arg(control.nId)));
            if (auto* pIp = qobject_cast<CIpAddressEdit*>(pWidget))
                for (int i = 0; i < 4; ++i)
                    QVERIFY(pIp->Field(i)->accessibleName().startsWith(pIp->accessibleName()));
        }
        QVERIFY(nChecked > 0);
        SetMessageRecorder(nullptr);
    }

    // The dialogs built without a template: every interactive widget in
    // them, whatever its depth, is named too.
    void roomDialogsNameEveryControl() {
        CTestDatabase db;
        SetMessageRecorder([](const QString&) {});
        CMainConfigDlg::STiming timing;
        timing.nPort = 0;
        CMainConfigDlg window(timing);
        window.OnInitDialog();
        CScanDlg::SOptions options;
        options.bProbe = false;
        CScanDlg scan(window, options);
        CHistoryDlg history({});
        CSetResultDlg result(
            {session::SFieldResult{"lock_time", "7", "5", false},
             session::SFieldResult{"mask", "255.255.255.0", session::kNotReceivedText, false}});
        // A value that did not come reads with the window's full-width brackets.
        QCOMPARE(result.Table()->item(1, 2)->text(), QStringLiteral("（未收到）"));
        CBatchDlg batch(window);
        for (QWidget* pDialog : std::initializer_list<QWidget*>{&window, &scan, &history, &result, &batch}) {
            QVERIFY(!pDialog->windowTitle().isEmpty() && pDialog->windowTitle() != QStringLiteral("Dialog"));
            int nChecked = 0;
            for (QWidget* pWidget : pDialog->findChildren<QWidget*>()) {
                const bool bInteractive =
                    qobject_cast<QAbstractButton*>(pWidget) || qobject_cast<QComboBox*>(pWidget) ||
                    qobject_cast<QLineEdit*>(pWidget) || qobject_cast<QProgressBar*>(pWidget) ||
                    qobject_cast<QAbstractSpinBox*>(pWidget) || qobject_cast<QPlainTextEdit*>(pWidget) ||
                    (qobject_cast<QAbstractItemView*>(pWidget) && !qobject_cast<QHeaderView*>(pWidget));
                // The parts Qt builds inside a combo (its line edit, its
                // list), a spin box (its line edit) or a table (its corner
                // button) are named through it.
                bool bInsideCombo = false;
                for (QWidget* p = pWidget->parentWidget(); p && !bInsideCombo; p = p->parentWidget())
                    bInsideCombo = qobject_cast<QComboBox*>(p) || qobject_cast<QAbstractItemView*>(p) ||
                                   qobject_cast<QAbstractSpinBox*>(p);
                if (!bInteractive || bInsideCombo)
                    continue;
                ++nChecked;
                QVERIFY2(!pWidget->accessibleName().trimmed().isEmpty(),
                         qPrintable(QStringLiteral("%1 in %2 has no accessible name")
                                        .arg(QString::fromLatin1(pWidget->metaObject()->className()),
                                             pDialog->windowTitle())));
            }
            QVERIFY(nChecked > 0);
        }
        SetMessageRecorder(nullptr);
    }
};

QTEST_MAIN(CAccessibleNamesTest)
#include "AccessibleNamesTest.moc"
