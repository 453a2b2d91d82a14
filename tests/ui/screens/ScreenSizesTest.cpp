// Every dialog on the small screens installers work on (1366x768 at 150 %
// scaling, a projector mirrored at 1024x768, each less its taskbar), holding
// the longest content it meets: it fits with its frame, every button and text
// is whole and in view (or in the controls that scroll), and no table hides
// columns behind a sideways scroll.
#include "AboutDlg.h"
#include "BatchDlg.h"
#include "DiagnosisDlg.h"
#include "HistoryDlg.h"
#include "ImportPreview.h"
#include "LibraryImportDlg.h"
#include "MainConfigDlg.h"
#include "MessageBox.h"
#include "MicSettingsDlg.h"
#include "ModelSearchDlg.h"
#include "ProjectorCodeDlg.h"
#include "ScanDlg.h"
#include "ScreenFit.h"
#include "SetResultDlg.h"
#include "TestDatabase.h"
#include "Utf8Path.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QLineEdit>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>
#include <QtTest>

#include <fstream>
#include <functional>
#include <map>
#include <memory>

namespace {

const QString kLongModel =
    QStringLiteral("教学楼多媒体教室专用超高亮度激光工程投影机旗舰增强版型号甲乙"); // 30
const std::string kModel = kLongModel.toStdString();
std::string g_strKeyword = kModel;

// A fresh data.mdb holding the long model, a deep Chinese folder, and the
// main window the room dialogs belong to.
struct SFixture {
    CTestDatabase db;
    library::CImportPreview preview;
    std::filesystem::path deep =
        db.Folder() / PathFromUtf8("学校配置/二〇二六学年第一学期/教学楼多媒体教室/东区三楼");
    std::unique_ptr<CMainConfigDlg> pWindow;
    SFixture() {
        db.Exec("INSERT INTO DATA VALUES('" + kModel + "','115200','偶','" + std::string(120, 'A') +
                "','0B','0C','0D')");
        std::filesystem::create_directories(deep);
        pWindow = std::make_unique<CMainConfigDlg>(CMainConfigDlg::STiming{.nPort = 0});
        pWindow->OnInitDialog();
    }
};

using MakeFn = std::function<std::unique_ptr<QWidget>(SFixture&)>;
template <class T, class... A> std::unique_ptr<QWidget> Make(A&&... args) {
    return std::make_unique<T>(std::forward<A>(args)...);
}

// One row per dialog.
const std::map<QString, MakeFn> kDialogs{
    {"about", [](SFixture&) { return Make<CAboutDlg>(); }},
    {"main window",
     [](SFixture& f) {
         for (int nId : {1000, 1002})
             f.pWindow->ControlAs<QComboBox>(nId)->setCurrentText(kLongModel);
         return std::unique_ptr<QWidget>(f.pWindow.release());
     }},
    {"projector codes", [](SFixture&) { return Make<CProjectorCodeDlg>(); }},
    {"microphones", [](SFixture&) { return Make<CMicSettingsDlg>(); }},
    {"model search", [](SFixture&) { return Make<CModelSearchDlg>(nullptr, &g_strKeyword); }},
    {"library import",
     [](SFixture& f) {
         const std::filesystem::path csv = f.deep / PathFromUtf8(kModel + ".csv");
         std::ofstream(csv, std::ios::binary)
             << "model,baud,parity,VGA,VIDEO,POWER ON,POWER OFF\r\n"
             << kModel << ",9600,无,0A,0B,0C,0D\r\n"
             << kModel << "乙,9600,无," << std::string(200, 'C') << ",0B,0C,0D\r\n";
         f.preview.Load(Utf8FromPath(csv), "data.mdb");
         return Make<CLibraryImportDlg>(f.preview, Utf8FromPath(f.db.File()));
     }},
    {"history",
     [](SFixture& f) {
         // Backups named as the store names them; none can be read, so each row says why, path and all.
         std::vector<std::filesystem::path> files;
         for (int i = 10; i < 40; ++i)
             files.push_back(f.deep /
                             ("20261209T1015" + std::to_string(i) + ".123Z_" + std::to_string(i) + ".json"));
         return Make<CHistoryDlg>(files, QStringLiteral("192.168.100.200"));
     }},
    {"diagnosis",
     [](SFixture&) -> std::unique_ptr<QWidget> {
         auto pDialog =
             std::make_unique<CDiagnosisDlg>(codec::Ip4{192, 168, 100, 200}, [](const codec::Ip4& a) {
                 session::SDiagnosis d;
                 d.address = a;
                 d.eConclusion = session::EConclusion::NoDevice;
                 d.also = {session::EConclusion::Filtered, session::EConclusion::WrongSubnet};
                 d.results.fill(session::ECheckResult::Fail);
                 return d;
             });
         pDialog->Start();
         for (int i = 0; i < 1000 && pDialog->Running(); ++i)
             QTest::qWait(10);
         return pDialog;
     }},
    {"set result",
     [](SFixture&) {
         const std::string strCode = kModel + " 115200 偶 " + std::string(240, 'E');
         return Make<CSetResultDlg>(
             std::vector<session::SFieldResult>{{"projector1", strCode, strCode, true},
                                                {"projector2", strCode, session::kNotReceivedText, false},
                                                {"lock_time", "7", "5", false}},
             QStringLiteral("192.168.100.200"));
     }},
    {"scan", [](SFixture& f) { return Make<CScanDlg>(*f.pWindow, CScanDlg::SOptions{.bProbe = false}); }},
    {"batch",
     [](SFixture& f) {
         auto pBatch = std::make_unique<CBatchDlg>(*f.pWindow);
         pBatch->AddRoom(kLongModel, QStringLiteral("192.168.100.200"), QStringLiteral("192.168.100.201"));
         pBatch->FieldTick(CBatchDlg::kProjector1)->setChecked(true);
         static_cast<QComboBox*>(pBatch->FieldEditor(CBatchDlg::kProjector1))->setCurrentText(kLongModel);
         pBatch->ResultsEdit()->setText(QString::fromStdString(f.deep.string()) + QStringLiteral("/results.csv"));
         return std::unique_ptr<QWidget>(std::move(pBatch));
     }},
};
const std::map<QString, const char*> kSkipped{};

// The part of a widget in view: within the controls that scroll when it is
// one of them (scrolling brings it into view), else within every ancestor.
bool WholeInView(const QWidget& widget, const QWidget& dialog) {
    const QWidget* pWithin = &dialog;
    for (const QWidget* p = widget.parentWidget(); p && pWithin == &dialog; p = p->parentWidget())
        if (auto* pArea = qobject_cast<const QScrollArea*>(p); pArea && pArea->widget())
            pWithin = pArea->widget();
    const QRect whole(widget.mapTo(pWithin, QPoint(0, 0)), widget.size());
    QRect seen = whole & pWithin->rect();
    for (const QWidget* p = widget.parentWidget(); p && p != pWithin; p = p->parentWidget())
        seen &= QRect(p->mapTo(pWithin, QPoint(0, 0)), p->size());
    return seen == whole;
}

} // namespace

class CScreenSizesTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        SetMessageRecorder([](const QString&) {});
    }
    void cleanup() { SetMessageRecorder(nullptr); }

    void fitsTheScreen_data() {
        QTest::addColumn<QString>("dialog");
        QTest::addColumn<QSize>("available");
        for (const auto& [strName, make] : kDialogs) {
            QTest::addRow("%s, 1366x768 at 150%%", qPrintable(strName)) << strName << QSize(910, 480);
            QTest::addRow("%s, 1024x768 at 100%%", qPrintable(strName)) << strName << QSize(1024, 728);
        }
    }

    void fitsTheScreen() {
        QFETCH(QString, dialog);
        QFETCH(QSize, available);
        if (kSkipped.count(dialog))
            QSKIP(kSkipped.at(dialog));
        SFixture fixture;
        std::unique_ptr<QWidget> pDialog = kDialogs.at(dialog)(fixture);
        pDialog->show();
        FitToScreen(*pDialog, available);
        QCoreApplication::processEvents();
        const QSize room = ClientRoom(available);
        const QSize least = pDialog->minimumSize().expandedTo(pDialog->minimumSizeHint());
        QVERIFY2(pDialog->width() <= room.width() && pDialog->height() <= room.height() &&
                     least.width() <= room.width() && least.height() <= room.height(),
                 qPrintable(QStringLiteral("%1x%2 on a room of %3x%4")
                                .arg(pDialog->width())
                                .arg(pDialog->height())
                                .arg(room.width())
                                .arg(room.height())));
        int nChecked = 0;
        for (QWidget* pWidget : pDialog->findChildren<QWidget*>()) {
            auto* pButton = qobject_cast<QAbstractButton*>(pWidget);
            auto* pLabel = qobject_cast<QLabel*>(pWidget);
            auto* pView = qobject_cast<QAbstractItemView*>(pWidget);
            bool bInner = false; // a part Qt builds inside a combo, a table or a scroll bar
            for (QWidget* p = pWidget->parentWidget(); p; p = p->parentWidget())
                bInner |= qobject_cast<QComboBox*>(p) || qobject_cast<QAbstractItemView*>(p) ||
                          qobject_cast<QAbstractSlider*>(p);
            if (bInner || !pWidget->isVisibleTo(pDialog.get()) ||
                !(pButton || pView || (pLabel && !pLabel->text().isEmpty())))
                continue;
            ++nChecked;
            const QString strWhat = QString::fromLatin1(pWidget->metaObject()->className()) +
                                    QLatin1Char(' ') +
                                    (pLabel ? pLabel->text().left(20) : pWidget->accessibleName());
            QVERIFY2(WholeInView(*pWidget, *pDialog), qPrintable(strWhat + QStringLiteral(" is cut off")));
            if (pButton)
                QVERIFY2(pButton->width() >= pButton->minimumSizeHint().width(),
                         qPrintable(strWhat + " is too narrow"));
            if (pLabel)
                QVERIFY2(pLabel->wordWrap() ? pLabel->heightForWidth(pLabel->width()) <= pLabel->height()
                                            : pLabel->sizeHint().width() <= pLabel->width(),
                         qPrintable(strWhat + QStringLiteral(" does not show its whole text")));
            if (pView && !qobject_cast<QHeaderView*>(pView))
                QVERIFY2(pView->horizontalScrollBar()->maximum() == 0,
                         qPrintable(strWhat + " scrolls sideways"));
        }
        QVERIFY(nChecked > 0);
    }
};

QTEST_MAIN(CScreenSizesTest)
#include "ScreenSizesTest.moc"
