#include "ProjectorCodeDlg.h"
#include "Database.h"
#include "MessageBox.h"
#include "ModelSearchDlg.h"
#include "ProgramValues.h"
#include "ProjectorTableModel.h"
#include "ReadOnlyView.h"
#include "Statements.h"
#include "TestDatabase.h"
#include "codec/CodeBundle.h"

#include <QAbstractItemModelTester>
#include <QComboBox>
#include <QHeaderView>
#include <QPushButton>
#include <QTableView>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QtTest>

#include <filesystem>
#include <functional>

namespace {

QStringList g_messages;

// The dialog with the keyword dialog answered by the test instead of the installer.
class CTestProjectorDlg : public CProjectorCodeDlg {
public:
    std::function<int()> search;

protected:
    int RunSearchDialog() override { return search ? search() : QDialog::Rejected; }
};

// Types into an edit of a dialog, as the installer would.
void Type(CDialogBase& dlg, int nId, const QString& strText) {
    if (auto* pEdit = dlg.ControlAs<QLineEdit>(nId))
        pEdit->setText(strText);
    else if (auto* pText = dlg.ControlAs<QPlainTextEdit>(nId))
        pText->setPlainText(strText);
    else if (auto* pCombo = dlg.ControlAs<QComboBox>(nId))
        pCombo->setEditText(strText);
}

// Picks a list item (-1: none), as the installer would.
void Pick(CDialogBase& dlg, int nId, int nIndex) {
    dlg.ControlAs<QComboBox>(nId)->setCurrentIndex(nIndex);
}

// Fills in the real keyword dialog and closes it with "确定" or "取消".
std::function<int()> Answer(const QString& strKeyword, bool bOk = true) {
    return [=] {
        CModelSearchDlg dlg;
        Type(dlg, 1037, strKeyword);
        dlg.ControlAs<QPushButton>(bOk ? 1 : 2)->click();
        return dlg.result();
    };
}

void Click(CDialogBase& dlg, int nId) {
    dlg.ControlAs<QPushButton>(nId)->click();
}

QStringList ComboItems(const CDialogBase& dlg) {
    QStringList items;
    auto* pCombo = dlg.ControlAs<QComboBox>(1032);
    for (int i = 0; i < pCombo->count(); ++i)
        items << pCombo->itemText(i);
    return items;
}

// Types a new record after "添加投影机代码"; a combo index of -1 leaves it unchosen.
void Enter(CProjectorCodeDlg& dlg, const QString& strModel, int nBaud, int nParity, const QString& strVga,
           const QString& strVideo, const QString& strOn, const QString& strOff) {
    Click(dlg, 1033);
    Type(dlg, 1014, strModel);
    Pick(dlg, 1015, nBaud);
    Pick(dlg, 1016, nParity);
    Type(dlg, 1018, strVga);
    Type(dlg, 1019, strVideo);
    Type(dlg, 1020, strOn);
    Type(dlg, 1021, strOff);
}

void ClickRow(CProjectorCodeDlg& dlg, int nRow) {
    QTableView* pView = dlg.ListView();
    pView->scrollTo(dlg.TableModel()->index(nRow, 0));
    QTest::mouseClick(pView->viewport(), Qt::LeftButton, {},
                      pView->visualRect(dlg.TableModel()->index(nRow, 1)).center());
}

std::string Count(const CTestDatabase& db, const std::string& strModel) {
    return db.Scalar("SELECT COUNT(*) FROM DATA WHERE 投影机型号 = '" + stmt::Quote(strModel) + "'");
}

} // namespace

class CProjectorCodeDlgTest : public QObject {
    Q_OBJECT
private slots:
    // The batch's model search has a keyword of its own: it never changes
    // the code dialog's next search.
    void aSearchOfAnotherFaceLeavesTheCodeDialogsKeyword() {
        g_strSearchKeyword = "sharp";
        std::string strOwn;
        CModelSearchDlg dlg(nullptr, &strOwn);
        Type(dlg, 1037, QStringLiteral("Epson"));
        Click(dlg, 1);
        QCOMPARE(strOwn, std::string("Epson"));
        QCOMPARE(g_strSearchKeyword, std::string("sharp"));
    }

    void initTestCase() {
        InstallMessageSink();
        SetMessageRecorder([](const QString& s) { g_messages << s; });
    }
    void init() {
        g_messages.clear();
        ResetProgramValues();
    }

    void tableModelKeepsCells() {
        CProjectorTableModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.InsertColumns();
        for (int i = 0; i < 3; ++i) {
            model.SetCellText(i, 0, "m" + std::to_string(i));
            model.SetCellText(i, 3, "vga" + std::to_string(i));
        }
        model.SetCellText(1, 0, "inserted");  // column 0 inserts before row 1
        model.SetCellText(99, 0, "appended"); // clamped to the end
        model.SetCellText(99, 2, "nowhere");  // no such row: ignored
        model.RemoveRow(0);
        QCOMPARE(model.rowCount(), 4);
        QCOMPARE(model.CellText(0, 0), std::string("inserted"));
        QCOMPARE(model.CellText(1, 3), std::string("vga1"));
        QCOMPARE(model.index(3, 0).data().toString(), QStringLiteral("appended"));
        QCOMPARE(model.headerData(6, Qt::Horizontal).toString(), QStringLiteral("POWER OFF"));
        // Replacing cells over and over reclaims the old text without losing the live one.
        const std::string strLong(4096, 'A');
        for (int i = 0; i < 600; ++i)
            model.SetCellText(2, 4, strLong + std::to_string(i));
        QVERIFY(model.BufferBytes() < 2 * (1 << 20));
        QCOMPARE(model.CellText(2, 4), strLong + "599");
        QCOMPARE(model.CellText(0, 0), std::string("inserted"));
    }

    void fillsSortedList() {
        CTestDatabase db;
        CProjectorCodeDlg dlg;
        QAbstractItemModelTester tester(dlg.TableModel(),
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        CProjectorTableModel& table = *dlg.TableModel();
        QVERIFY(g_messages.isEmpty());
        QCOMPARE(QString::number(table.rowCount()),
                 QString::fromStdString(db.Scalar("SELECT COUNT(*) FROM DATA")));
        QCOMPARE(table.columnCount(), 7);
        for (int r = 1; r < table.rowCount(); ++r)
            QVERIFY(table.CellText(r - 1, 0) <= table.CellText(r, 0));
        QTableView* pView = dlg.ListView();
        for (int c = 0; c < 7; ++c)
            QCOMPARE(pView->horizontalHeader()->sectionSize(c), CProjectorTableModel::ColumnWidth(c));
        QVERIFY(pView->showGrid());
        QVERIFY(dlg.ControlAs<QPushButton>(1)->isDefault());
        QCOMPARE(dlg.Control(1018)->accessibleName(), QStringLiteral("VGA"));
        QVERIFY(!dlg.IsItemEnabled(1018) && !dlg.IsItemEnabled(1015) && !dlg.IsItemEnabled(1017));
        QCOMPARE(pView->selectionBehavior(), QAbstractItemView::SelectRows);
        // Every cell of a row comes from its own column.
        const int nRow = 0;
        const std::string strModel = table.CellText(nRow, 0);
        const char* columns[] = {"波特率", "校验", "VGA", "VIDEO", "\"POWER ON\"", "\"POWER OFF\""};
        for (int c = 1; c < 7; ++c)
            QCOMPARE(table.CellText(nRow, c), db.Scalar(std::string("SELECT ") + columns[c - 1] +
                                                        " FROM DATA WHERE 投影机型号='" + strModel + "'"));
    }

    void emptyTable() {
        CTestDatabase db(true);
        CProjectorCodeDlg dlg;
        QCOMPARE(g_messages, QStringList{"表内数据为空"});
        QCOMPARE(dlg.TableModel()->rowCount(), 0);
        QCOMPARE(dlg.TableModel()->columnCount(), 7);
    }

    void nullCellStopsFill() {
        CTestDatabase db;
        db.Exec("UPDATE DATA SET VGA = NULL WHERE 投影机型号 = 'Epson EMP-53'");
        const int nBefore =
            std::stoi(db.Scalar("SELECT COUNT(*) FROM DATA WHERE 投影机型号 < 'Epson EMP-53'"));
        CProjectorCodeDlg dlg;
        QCOMPARE(g_messages.size(), 1);
        QVERIFY(g_messages[0].contains("VGA"));
        CProjectorTableModel& table = *dlg.TableModel();
        QCOMPARE(table.rowCount(), nBefore + 1);
        QCOMPARE(table.CellText(nBefore, 0), std::string("Epson EMP-53"));
        QCOMPARE(table.CellText(nBefore, 2), std::string("无"));
        QCOMPARE(table.CellText(nBefore, 3), std::string());
    }

    void clickList_data() {
        QTest::addColumn<bool>("onRow");
        QTest::newRow("on a row") << true;
        QTest::newRow("below the rows") << false;
    }
    void clickList() {
        QFETCH(bool, onRow);
        CTestDatabase db;
        db.Exec("DELETE FROM DATA WHERE 投影机型号 NOT IN ('NEC LT75Z', 'BenQ SP920')");
        CProjectorCodeDlg dlg;
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        Click(dlg, 1033); // entry enabled: a row click disables it again
        if (onRow) {
            ClickRow(dlg, 1);
            QVERIFY(g_messages.isEmpty());
            QCOMPARE(dlg.m_strModel, QStringLiteral("NEC LT75Z"));
            QCOMPARE(dlg.GetItemText(1019), QStringLiteral("020300000201060E"));
            QCOMPARE(dlg.GetItemText(1015), QStringLiteral("19200"));
            QCOMPARE(dlg.GetItemText(1016), QStringLiteral("无"));
            QCOMPARE(dlg.m_nSelectedRow, 1);
            QVERIFY(dlg.m_bRowChosen);
        } else {
            QTest::mouseClick(dlg.ListView()->viewport(), Qt::LeftButton, {},
                              QPoint(5, dlg.ListView()->viewport()->height() - 3));
            QTRY_COMPARE(g_messages, QStringList{"请选择一行数据！"});
            QVERIFY(!dlg.m_bRowChosen);
            QVERIFY(dlg.m_strModel.isEmpty());
        }
        QCOMPARE(dlg.IsItemEnabled(1018), !onRow);
        QCOMPARE(dlg.IsItemEnabled(1017), !onRow);
    }

    void saveChecks_data() {
        QTest::addColumn<QString>("model");
        QTest::addColumn<int>("baud");
        QTest::addColumn<int>("parity");
        QTest::addColumn<QString>("vga");
        QTest::addColumn<QString>("video");
        QTest::addColumn<QString>("message");
        const QString ok = "保存当前型号记录成功！";
        const QString hex =
            "请确保VIDEO/VGA/POWER ON/POWER OFF中都是16进制数，否则请点击ASCII码转16进制按钮！";
        QTest::newRow("valid") << "T-1" << 2 << 0 << "0A0B"
                               << "0a0b" << ok;
        QTest::newRow("48 bytes fit") << "T-1" << 2 << 0 << QString(96, 'F') << "0A0B" << ok;
        QTest::newRow("no model") << "" << 2 << 0 << "0A0B"
                                  << "0A0B"
                                  << "投影机型号不能为空，请输入！";
        QTest::newRow("no baud") << "T-1" << -1 << 0 << "0A0B"
                                 << "0A0B"
                                 << "波特率不能为空，请选择！";
        QTest::newRow("no parity") << "T-1" << 2 << -1 << "0A0B"
                                   << "0A0B"
                                   << "校验类型不能为空，请选择！";
        QTest::newRow("vga empty before video odd") << "T-1" << 2 << 0 << ""
                                                    << "0A0"
                                                    << "VGA不能为空，请输入偶数位数据！";
        QTest::newRow("vga odd") << "T-1" << 2 << 0 << "0A0"
                                 << "0A0B"
                                 << "VGA输入不正确，请检查VGA位数！";
        QTest::newRow("vga 49 bytes") << "T-1" << 2 << 0 << QString(98, 'F') << "0A0B"
                                      << "VGA不能超过96位，请检查VGA位数！";
        QTest::newRow("video odd") << "T-1" << 2 << 0 << "0A0B"
                                   << "0A0"
                                   << "VIDEO输入不正确，请检查VIDEO位数！";
        QTest::newRow("video too long")
            << "T-1" << 2 << 0 << "0A0B" << QString(98, '0') << "VIDEO不能超过96位，请检查VIDEO位数！";
        QTest::newRow("not hex") << "T-1" << 2 << 0 << "0G"
                                 << "0A0B" << hex;
        QTest::newRow("even with a blank") << "T-1" << 2 << 0 << "0A 0"
                                           << "0A0B" << hex;
        QTest::newRow("chinese counts two bytes") << "T-1" << 2 << 0 << "0A中"
                                                  << "0A0B" << hex;
    }
    void saveChecks() {
        QFETCH(QString, model);
        QFETCH(int, baud);
        QFETCH(int, parity);
        QFETCH(QString, vga);
        QFETCH(QString, video);
        QFETCH(QString, message);
        CTestDatabase db;
        CProjectorCodeDlg dlg;
        const int nRows = dlg.TableModel()->rowCount();
        Enter(dlg, model, baud, parity, vga, video, "0102", "0304");
        Click(dlg, 1034);
        QCOMPARE(g_messages, QStringList{message});
        const bool bSaved = message == "保存当前型号记录成功！";
        QCOMPARE(Count(db, "T-1"), std::string(bSaved ? "1" : "0"));
        QCOMPARE(dlg.TableModel()->rowCount(), nRows + (bSaved ? 1 : 0));
        if (bSaved) {
            QCOMPARE(
                db.Scalar("SELECT VGA || '/' || VIDEO || '/' || 波特率 FROM DATA WHERE 投影机型号='T-1'"),
                (vga + "/" + video + "/9600").toStdString());
            QCOMPARE(dlg.TableModel()->CellText(0, 3), vga.toStdString());
        }
    }

    void duplicate_data() {
        QTest::addColumn<QString>("model");
        QTest::addColumn<bool>("saved");
        QTest::newRow("exact") << "NEC LT75Z" << false;
        QTest::newRow("other case") << "nec lt75z" << true;
        QTest::newRow("apostrophes") << "O'Neil's 'PJ'" << true;
    }
    void duplicate() {
        QFETCH(QString, model);
        QFETCH(bool, saved);
        CTestDatabase db;
        CProjectorCodeDlg dlg;
        Enter(dlg, model, 3, 1, "0A0B", "0C0D", "0E0F", "1011");
        Click(dlg, 1034);
        QCOMPARE(g_messages.last(), saved ? QString("保存当前型号记录成功！")
                                          : QString("数据库中已经存在该型号投影机，新增失败！"));
        QCOMPARE(Count(db, model.toStdString()), std::string("1"));
        if (saved) {
            // Saved on top even where it sorts elsewhere; saving it again is a duplicate.
            QCOMPARE(QString::fromStdString(dlg.TableModel()->CellText(0, 0)), model);
            Click(dlg, 1034);
            QCOMPARE(g_messages.last(), QString("数据库中已经存在该型号投影机，新增失败！"));
            QCOMPARE(Count(db, model.toStdString()), std::string("1"));
        }
    }

    void deleteNeedsAHighlightedRow_data() {
        QTest::addColumn<QString>("before");
        QTest::newRow("no click") << "";
        QTest::newRow("click, delete") << "click,delete";
    }
    void deleteNeedsAHighlightedRow() {
        QFETCH(QString, before);
        CTestDatabase db;
        CProjectorCodeDlg dlg;
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        SetQuestionRecorder([](const QString&) { return true; });
        const std::string strClicked = dlg.TableModel()->CellText(2, 0);
        for (const QString& step : before.split(',', Qt::SkipEmptyParts)) {
            if (step == "click") {
                ClickRow(dlg, 2);
            } else {
                Click(dlg, 1035);
                QCOMPARE(g_messages.last(), QString("删除当前型号记录成功！"));
                QCOMPARE(Count(db, strClicked), std::string("0"));
                QVERIFY(dlg.TableModel()->CellText(2, 0) != strClicked);
            }
        }
        const std::string strCount = db.Scalar("SELECT COUNT(*) FROM DATA");
        Click(dlg, 1035);
        SetQuestionRecorder({});
        QCOMPARE(g_messages.last(), QString("请选择一条记录，再点击删除按钮！"));
        QCOMPARE(db.Scalar("SELECT COUNT(*) FROM DATA"), strCount);
    }

    // The model deleted is the one highlighted when 删除 is pressed, whether
    // the mouse or the keyboard put it there, and only after a yes to the
    // question that names it.
    void deleteTakesTheHighlightedRow_data() {
        QTest::addColumn<QString>("move");
        QTest::addColumn<bool>("yes");
        QTest::addColumn<int>("expected"); // the row deleted, counted in the list before
        QTest::newRow("click") << "" << true << 1;
        QTest::newRow("click, Down") << "down" << true << 2;
        QTest::newRow("click, Ctrl+End") << "end" << true << -1;
        QTest::newRow("click, save on top") << "save" << true << 1;
        QTest::newRow("click, Down, answer no") << "down" << false << 2;
    }
    void deleteTakesTheHighlightedRow() {
        QFETCH(QString, move);
        QFETCH(bool, yes);
        QFETCH(int, expected);
        CTestDatabase db;
        CProjectorCodeDlg dlg;
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        CProjectorTableModel& table = *dlg.TableModel();
        const int nRows = table.rowCount();
        const std::string strModel = table.CellText(expected < 0 ? nRows - 1 : expected, 0);
        const std::string strClicked = table.CellText(1, 0);
        ClickRow(dlg, 1);
        if (move == "down")
            QTest::keyClick(dlg.ListView(), Qt::Key_Down);
        else if (move == "end")
            QTest::keyClick(dlg.ListView(), Qt::Key_End, Qt::ControlModifier);
        else if (move == "save") {
            Enter(dlg, "AAA new", 2, 0, "0A0B", "0A0B", "0A0B", "0A0B");
            Click(dlg, 1034);
        }
        QStringList questions;
        SetQuestionRecorder([&](const QString& strQuestion) {
            questions << strQuestion;
            return yes;
        });
        const int nMessages = static_cast<int>(g_messages.size());
        Click(dlg, 1035);
        SetQuestionRecorder({});
        QCOMPARE(questions,
                 QStringList{QStringLiteral("确定删除型号“%1”吗？").arg(QString::fromStdString(strModel))});
        QCOMPARE(Count(db, strModel), std::string(yes ? "0" : "1"));
        if (strClicked != strModel)
            QCOMPARE(Count(db, strClicked), std::string("1"));
        QCOMPARE(g_messages.mid(nMessages), yes ? QStringList{"删除当前型号记录成功！"} : QStringList{});
        const int nAfter = table.rowCount();
        QCOMPARE(nAfter, (move == "save" ? nRows + 1 : nRows) - (yes ? 1 : 0));
        for (int r = 0; r < nAfter; ++r)
            QVERIFY(!yes || table.CellText(r, 0) != strModel);
    }

    void readOnlyMedium() {
        CTestDatabase db;
        CProjectorCodeDlg dlg;
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        CReadOnlyView medium(db.Folder());
        if (!medium.Made())
            QSKIP("mounting a read-only view is not permitted here");
        const std::string strCount = db.Scalar("SELECT COUNT(*) FROM DATA");
        Click(dlg, 1035); // no row clicked yet: the medium still comes first
        ClickRow(dlg, 0);
        Click(dlg, 1035);
        Enter(dlg, "RO-1", 2, 0, "0A0B", "0A0B", "0A0B", "0A0B");
        Click(dlg, 1034);
        const QString del = "在光盘中不能进行删除数据操作，请把程序复制到本地硬盘后再进行操作！";
        QCOMPARE(
            g_messages,
            (QStringList{del, del, "在光盘中不能进行保存数据操作，请把程序复制到本地硬盘后再进行操作！"}));
        QCOMPARE(db.Scalar("SELECT COUNT(*) FROM DATA"), strCount);
    }

    void search_data() {
        QTest::addColumn<QString>("keyword");
        QTest::addColumn<QStringList>("found");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("kept");
        QTest::newRow("ab both cases") << "ab" << QStringList{"Xab-1", "xAB-2", "Yab"} << ""
                                       << "ab";
        QTest::newRow("chinese and latin") << "明基mx" << QStringList{"明基MX518"} << ""
                                           << "明基mx";
        QTest::newRow("no match") << "zzqq" << QStringList{} << "数据库中没有该型号的投影机！"
                                  << "zzqq";
        QTest::newRow("per cent") << "b-%2" << QStringList{"xAB-2"} << ""
                                  << "b-%2";
        QTest::newRow("underscore") << "x__-1" << QStringList{"Xab-1"} << ""
                                    << "x__-1";
        QTest::newRow("apostrophe") << "O'B" << QStringList{"O'Brien"} << ""
                                    << "o'b";
        QTest::newRow("empty") << "" << QStringList{} << "查询关键字为空，请重新查询！"
                               << "";
    }
    void search() {
        QFETCH(QString, keyword);
        QFETCH(QStringList, found);
        QFETCH(QString, message);
        QFETCH(QString, kept);
        CTestDatabase db;
        db.Exec("INSERT INTO DATA VALUES ('Xab-1','9600','无','01','02','03','04'),"
                "('xAB-2','9600','无','01','02','03','04'),('Yab','9600','无','01','02','03','04'),"
                "('明基MX518','9600','无','01','02','03','04'),('O''Brien','9600','无','01','02','03','04')");
        CTestProjectorDlg dlg;
        dlg.search = Answer("Optoma");
        Click(dlg, 1030);
        QVERIFY(ComboItems(dlg).size() > 1);
        g_messages.clear();
        dlg.search = Answer(keyword);
        Click(dlg, 1030);
        QCOMPARE(ComboItems(dlg), found); // only the second search's results, sorted
        QCOMPARE(g_messages, message.isEmpty() ? QStringList{} : QStringList{message});
        QCOMPARE(QString::fromStdString(g_strSearchKeyword), kept);
        QCOMPARE(dlg.GetCurSel(1032), found.isEmpty() ? -1 : 0);
    }

    void cancelEndsSearch() {
        CTestDatabase db;
        CTestProjectorDlg dlg;
        dlg.search = Answer("nec", false); // first search of the run, cancelled
        Click(dlg, 1030);
        QVERIFY(g_messages.isEmpty());
        dlg.search = Answer("NEC");
        Click(dlg, 1030);
        const QStringList found = ComboItems(dlg);
        QVERIFY(!found.isEmpty());
        dlg.search = Answer("Epson", false);
        Click(dlg, 1030);
        QCOMPARE(ComboItems(dlg), found);
        QCOMPARE(g_strSearchKeyword, std::string("nec"));
        QVERIFY(g_messages.isEmpty());
    }

    void showModel_data() {
        QTest::addColumn<QString>("keyword");
        QTest::addColumn<int>("pick");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("model");
        QTest::newRow("before a search") << "" << -1 << ""
                                         << "请选选择一个型号，再点击显示该型号！"
                                         << "";
        QTest::newRow("second item") << "Epson" << 1 << ""
                                     << ""
                                     << "Epson EB-440W";
        QTest::newRow("typed text") << "" << -1 << "LG BX220-JD"
                                    << ""
                                    << "LG BX220-JD";
        QTest::newRow("typed unknown") << "" << -1 << "LG"
                                       << "数据库中没有该型号的投影机！"
                                       << "";
    }
    void showModel() {
        QFETCH(QString, keyword);
        QFETCH(int, pick);
        QFETCH(QString, typed);
        QFETCH(QString, message);
        QFETCH(QString, model);
        CTestDatabase db;
        CTestProjectorDlg dlg;
        if (!keyword.isEmpty()) {
            dlg.search = Answer(keyword);
            Click(dlg, 1030);
            Pick(dlg, 1032, pick);
        }
        if (!typed.isEmpty())
            dlg.ControlAs<QComboBox>(1032)->setEditText(typed);
        Click(dlg, 1031);
        QCOMPARE(g_messages, message.isEmpty() ? QStringList{} : QStringList{message});
        QCOMPARE(dlg.GetItemText(1014), model);
        if (!model.isEmpty()) {
            const std::string strWhere = " FROM DATA WHERE 投影机型号='" + model.toStdString() + "'";
            QCOMPARE(dlg.GetItemText(1018).toStdString(), db.Scalar("SELECT VGA" + strWhere));
            QCOMPARE(dlg.GetItemText(1015).toStdString(), db.Scalar("SELECT 波特率" + strWhere));
            QCOMPARE(dlg.GetCurSel(1032), pick);
        }
    }

    void handOver_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("message");
        QTest::newRow("clicked row") << "click"
                                     << "";
        QTest::newRow("typed, never saved") << "typed"
                                            << "";
        QTest::newRow("no model") << "none"
                                  << "请选择一个投影机型号，再点击确定！";
        QTest::newRow("code too long") << "long"
                                       << "POWER OFF不能超过96位，请检查POWER OFF位数！";
        QTest::newRow("baud outside the table") << "baud"
                                                << "波特率不能为空，请选择！";
        QTest::newRow("parity outside the table") << "parity"
                                                  << "校验类型不能为空，请选择！";
    }
    void handOver() {
        QFETCH(QString, how);
        QFETCH(QString, message);
        CTestDatabase db;
        db.Exec("UPDATE DATA SET 波特率 = '1234' WHERE 投影机型号 = 'BenQ SP920'");
        db.Exec("UPDATE DATA SET 校验 = 'odd' WHERE 投影机型号 = 'Canon LV-S4'");
        CTestProjectorDlg dlg;
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        g_strChosenCode = "earlier";
        auto clickModel = [&](const std::string& strModel) {
            for (int r = 0; r < dlg.TableModel()->rowCount(); ++r)
                if (dlg.TableModel()->CellText(r, 0) == strModel)
                    ClickRow(dlg, r);
        };
        if (how == "click")
            clickModel("Hitachi CP-X253");
        else if (how == "typed")
            Enter(dlg, "Typed 1", 6, 2, "0A", "0B0C", "0D", "0E");
        else if (how == "long")
            Enter(dlg, "Typed 1", 6, 2, "0A", "0B0C", "0D", QString(98, 'E'));
        else if (how == "baud")
            clickModel("BenQ SP920");
        else if (how == "parity")
            clickModel("Canon LV-S4");
        Click(dlg, 1);
        QCOMPARE(g_messages, message.isEmpty() ? QStringList{} : QStringList{message});
        if (!message.isEmpty()) {
            QVERIFY(!g_bProjectorChosen);
            QCOMPARE(g_strChosenCode, std::string("earlier"));
            QVERIFY(dlg.isVisible());
            return;
        }
        // The bundles as the block layout spells them: baud pair, command,
        // length pair (code bytes + 1), code, parity pair, "FF" fill to 52 bytes.
        auto fill = [](int nBytes) {
            std::string strFill;
            for (int i = 0; i < nBytes; ++i)
                strFill += "FF";
            return strFill;
        };
        const std::string strExpected = how == "typed" ? "FF01030B0C02" + fill(46) + "FF02020A02" + fill(47) +
                                                             "FF03020D02" + fill(47) + "FF04020E02" + fill(47)
                                                       : "FA010eBEEF0306006ED301000020010000" + fill(35) +
                                                             "FA020eBEEF030600FED201000020000000" + fill(35) +
                                                             "FA030eBEEF030600BAD201000060010000" + fill(35) +
                                                             "FA040eBEEF0306002AD301000060000000" + fill(35);
        QCOMPARE(g_strChosenCode, strExpected);
        QCOMPARE(g_strChosenCode.size(), std::size_t(416));
        QCOMPARE(g_strChosenModel, how == "typed" ? std::string("Typed 1") : std::string("Hitachi CP-X253"));
        QVERIFY(g_bProjectorChosen);
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
    }

    void asciiToHex_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("code");
        QTest::newRow("terminator") << "PWR ON\\r"
                                    << "505752204F4E0D";
        QTest::newRow("line feed and byte") << "a\\n\\x1b\\xFf"
                                            << "610A1BFF";
        QTest::newRow("backslash") << "\\\\q\\t"
                                   << "5C715C74";
        QTest::newRow("short byte escape") << "\\x4"
                                           << "5C7834";
        QTest::newRow("already hex") << "0a0B"
                                     << "0a0B";
        QTest::newRow("empty") << ""
                               << "";
    }
    void asciiToHex() {
        QFETCH(QString, typed);
        QFETCH(QString, code);
        CTestDatabase db;
        CProjectorCodeDlg dlg;
        Enter(dlg, "M", 2, 0, typed, "0A0B", typed, "ON");
        Click(dlg, 1017);
        QCOMPARE(dlg.GetItemText(1018), code);
        QCOMPARE(dlg.GetItemText(1020), code);
        QCOMPARE(dlg.GetItemText(1019), QStringLiteral("0A0B"));
        QCOMPARE(dlg.GetItemText(1021), QStringLiteral("4F4E"));
    }
};

QTEST_MAIN(CProjectorCodeDlgTest)
#include "ProjectorCodeDlgTest.moc"
