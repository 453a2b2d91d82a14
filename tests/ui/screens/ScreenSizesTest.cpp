// Every dialog on the small screens installers work on: a laptop at 1366x768
// with 150 % scaling and a projector mirrored at 1024x768, each less its
// taskbar. Each dialog holds the longest content it can meet (a model name of
// 30 Chinese characters, deep Chinese paths, long codes); on each screen it
// must fit with its frame, every button and text of it whole and in view
// (controls that scroll are in view once scrolled to), and its tables must
// show every column without scrolling sideways.
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
#include <QAbstractItemView>
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

const QString kLongModel = QStringLiteral("教学楼多媒体教室专用超高亮度激光工程投影机旗舰增强版型号甲乙");

std::string LongModel() {
    return kLongModel.toStdString();
}

// What one row of the table needs: a fresh data.mdb with the long model in
// it, and the main window the room dialogs belong to.
struct SFixture {
    CTestDatabase db;
    std::unique_ptr<CMainConfigDlg> pWindow;
    library::CImportPreview preview;
    std::filesystem::path deep;

    SFixture() {
        db.Exec("INSERT INTO DATA VALUES('" + LongModel() + "','115200','偶','" + std::string(120, 'A') +
                "','" + std::string(120, 'B') + "','0C','0D')");
        deep = db.Folder() / PathFromUtf8("学校配置/二〇二六学年第一学期/教学楼多媒体教室/东区三楼/备份");
        std::filesystem::create_directories(deep);
    }
    CMainConfigDlg& Window() {
        if (!pWindow) {
            CMainConfigDlg::STiming timing;
            timing.nPort = 0;
            pWindow = std::make_unique<CMainConfigDlg>(timing);
            pWindow->OnInitDialog();
        }
        return *pWindow;
    }
};

using MakeFn = std::function<std::unique_ptr<QWidget>(SFixture&)>;

const std::map<QString, MakeFn>& Dialogs() {
    static const std::map<QString, MakeFn> dialogs{
        {QStringLiteral("about"), [](SFixture&) { return std::make_unique<CAboutDlg>(); }},
        {QStringLiteral("main window"),
         [](SFixture& f) {
             CMainConfigDlg& window = f.Window();
             for (int nId : {1000, 1002})
                 if (auto* pCombo = window.ControlAs<QComboBox>(nId))
                     pCombo->setCurrentText(kLongModel);
             // The fixture keeps the window; the row gets a view of it.
             return std::unique_ptr<QWidget>(f.pWindow.release());
         }},
        {QStringLiteral("projector codes"), [](SFixture&) { return std::make_unique<CProjectorCodeDlg>(); }},
        {QStringLiteral("microphones"), [](SFixture&) { return std::make_unique<CMicSettingsDlg>(); }},
        {QStringLiteral("model search"),
         [](SFixture&) {
             static std::string strKeyword = LongModel();
             return std::make_unique<CModelSearchDlg>(nullptr, &strKeyword);
         }},
        {QStringLiteral("library import"),
         [](SFixture& f) {
             const std::filesystem::path csv = f.deep / PathFromUtf8(LongModel() + "代码库.csv");
             std::ofstream file(csv, std::ios::binary);
             file << "model,baud,parity,VGA,VIDEO,POWER ON,POWER OFF\r\n"
                  << LongModel() << ",9600,无,0A,0B,0C,0D\r\n"
                  << LongModel() << "乙,"
                  << "9600,无," << std::string(200, 'C') << ",0B,0C,0D\r\n";
             file.close();
             if (!f.preview.Load(Utf8FromPath(csv), "data.mdb"))
                 qWarning("the import preview did not load");
             return std::make_unique<CLibraryImportDlg>(f.preview, Utf8FromPath(f.db.File()));
         }},
        {QStringLiteral("history"),
         [](SFixture& f) {
             // Backups named as the history store names them, in a deep
             // folder; none can be read, so each row says why, path and all.
             std::vector<std::filesystem::path> files;
             for (int i = 0; i < 30; ++i)
                 files.push_back(f.deep / ("20261209T1015" + std::to_string(10 + i) + ".123Z_" +
                                           std::to_string(i + 1) + ".json"));
             return std::make_unique<CHistoryDlg>(files, QStringLiteral("192.168.100.200"));
         }},
        {QStringLiteral("diagnosis"),
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
        {QStringLiteral("set result"),
         [](SFixture&) {
             const std::string strCode = LongModel() + " 115200 偶 " + std::string(240, 'E');
             return std::make_unique<CSetResultDlg>(
                 std::vector<session::SFieldResult>{{"projector1", strCode, strCode, true},
                                                    {"projector2", strCode, session::kNotReceivedText, false},
                                                    {"lock_time", "7", "5", false},
                                                    {"mask", "255.255.255.0", "255.255.255.0", true}},
                 QStringLiteral("192.168.100.200"));
         }},
        {QStringLiteral("scan"),
         [](SFixture& f) {
             CScanDlg::SOptions options;
             options.bProbe = false;
             return std::make_unique<CScanDlg>(f.Window(), options);
         }},
        // The batch dialog: a table of rooms whose projector columns carry
        // the long model; its row is skipped below until it fits.
        {QStringLiteral("batch"), [](SFixture& f) { return std::make_unique<CBatchDlg>(f.Window()); }},
    };
    return dialogs;
}

// Rows skipped, with why.
const std::map<QString, const char*> kSkipped{
    {QStringLiteral("batch"), "the batch dialog is being rebuilt to fit these screens"},
};

// The part of a widget that its ancestors up to the dialog leave in view,
// in the dialog's coordinates.
QRect InView(const QWidget& widget, const QWidget& dialog) {
    QRect rect(widget.mapTo(&dialog, QPoint(0, 0)), widget.size());
    for (const QWidget* p = widget.parentWidget(); p && p != &dialog; p = p->parentWidget())
        rect &= QRect(p->mapTo(&dialog, QPoint(0, 0)), p->size());
    return rect & dialog.rect();
}

// Whether the widget lies in a dialog's scrolling controls: it is in view
// once they are scrolled to it, so only its place within them counts.
const QWidget* ScrolledContent(const QWidget& widget) {
    for (const QWidget* p = widget.parentWidget(); p; p = p->parentWidget())
        if (auto* pArea = qobject_cast<const QScrollArea*>(p); pArea && pArea->widget())
            return pArea->widget();
    return nullptr;
}

// Parts Qt builds inside a combo box, a table or a scroll bar are theirs.
bool PartOfAnotherControl(const QWidget& widget) {
    for (const QWidget* p = widget.parentWidget(); p; p = p->parentWidget())
        if (qobject_cast<const QComboBox*>(p) || qobject_cast<const QAbstractItemView*>(p) ||
            qobject_cast<const QAbstractSlider*>(p))
            return true;
    return false;
}

QString Describe(const QWidget& widget) {
    QString strName = widget.accessibleName();
    if (auto* pLabel = qobject_cast<const QLabel*>(&widget); pLabel && strName.isEmpty())
        strName = pLabel->text().left(20);
    return QStringLiteral("%1 \"%2\"").arg(QString::fromLatin1(widget.metaObject()->className()), strName);
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
        const std::pair<const char*, QSize> screens[] = {
            {"1366x768 at 150%", QSize(910, 480)},
            {"1024x768 at 100%", QSize(1024, 728)},
        };
        for (const auto& [strName, make] : Dialogs())
            for (const auto& [pszScreen, available] : screens)
                QTest::addRow("%s, %s", qPrintable(strName), pszScreen) << strName << available;
    }

    void fitsTheScreen() {
        QFETCH(QString, dialog);
        QFETCH(QSize, available);
        if (auto skipped = kSkipped.find(dialog); skipped != kSkipped.end())
            QSKIP(skipped->second);
        QVERIFY(kLongModel.size() == 30);
        SFixture fixture;
        std::unique_ptr<QWidget> pDialog = Dialogs().at(dialog)(fixture);
        QVERIFY(pDialog);
        pDialog->show();
        FitToScreen(*pDialog, available);
        QCoreApplication::processEvents();
        const QSize room = ClientRoom(available);
        const QSize minimum = pDialog->minimumSize().expandedTo(pDialog->minimumSizeHint());
        QVERIFY2(pDialog->width() <= room.width() && pDialog->height() <= room.height() &&
                     minimum.width() <= room.width() && minimum.height() <= room.height(),
                 qPrintable(QStringLiteral("%1x%2 (at least %3x%4) on a room of %5x%6")
                                .arg(pDialog->width())
                                .arg(pDialog->height())
                                .arg(minimum.width())
                                .arg(minimum.height())
                                .arg(room.width())
                                .arg(room.height())));

        int nChecked = 0;
        for (QWidget* pWidget : pDialog->findChildren<QWidget*>()) {
            if (!pWidget->isVisibleTo(pDialog.get()) || PartOfAnotherControl(*pWidget))
                continue;
            auto* pButton = qobject_cast<QAbstractButton*>(pWidget);
            auto* pLabel = qobject_cast<QLabel*>(pWidget);
            auto* pView = qobject_cast<QAbstractItemView*>(pWidget);
            if (!pButton && !(pLabel && !pLabel->text().isEmpty()) && !pView)
                continue;
            ++nChecked;
            // Whole and in view: within the dialog, or within the controls
            // that scroll.
            const QWidget* pContent = ScrolledContent(*pWidget);
            const QWidget& within = pContent ? *pContent : *pDialog;
            const QRect whole(pWidget->mapTo(&within, QPoint(0, 0)), pWidget->size());
            const QRect seen = pContent ? whole & pContent->rect() : InView(*pWidget, *pDialog);
            QVERIFY2(seen == whole,
                     qPrintable(Describe(*pWidget) + QStringLiteral(" is cut off or out of view")));
            if (pButton)
                QVERIFY2(pButton->width() >= pButton->minimumSizeHint().width(),
                         qPrintable(Describe(*pWidget) + QStringLiteral(" is too narrow for its text")));
            if (pLabel && pLabel->pixmap().isNull()) {
                const bool bFits = pLabel->wordWrap()
                                       ? pLabel->heightForWidth(pLabel->width()) <= pLabel->height()
                                       : pLabel->sizeHint().width() <= pLabel->width();
                QVERIFY2(bFits,
                         qPrintable(Describe(*pWidget) + QStringLiteral(" does not show its whole text")));
            }
            if (pView && !qobject_cast<QHeaderView*>(pView))
                QVERIFY2(pView->horizontalScrollBar()->maximum() == 0,
                         qPrintable(Describe(*pWidget) +
                                    QStringLiteral(" hides columns behind a sideways scroll")));
        }
        QVERIFY(nChecked > 0);
    }
};

QTEST_MAIN(CScreenSizesTest)
#include "ScreenSizesTest.moc"
