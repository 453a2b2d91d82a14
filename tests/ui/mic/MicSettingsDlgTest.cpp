#include "MicSettingsDlg.h"
#include "MessageBox.h"
#include "ProgramValues.h"
#include "TestDatabase.h"

#include <QComboBox>
#include <QPushButton>
#include <QtTest>

namespace {

enum EColumn { Type, Channel, Dome, Preset };

QComboBox* Combo(const CMicSettingsDlg& dlg, int nRow, int nColumn) {
    const int nIds[] = {CMicSettingsDlg::CameraTypeId(nRow), CMicSettingsDlg::ChannelId(nRow),
                        CMicSettingsDlg::DomeId(nRow), CMicSettingsDlg::PresetId(nRow)};
    return dlg.ControlAs<QComboBox>(nIds[nColumn]);
}

// What the combo does when the user picks an item.
void Choose(QComboBox* pCombo, int nIndex) {
    pCombo->setCurrentIndex(nIndex);
    emit pCombo->activated(nIndex);
}

std::string StoredRow(const CTestDatabase& db, int nKey) {
    return db.Scalar("SELECT tdnum||','||qjnum||','||bitnum||','||tyjnum FROM htset WHERE htnum='" +
                     std::to_string(nKey) + "'");
}

std::string Sql(const QString& strValue) {
    return strValue == QLatin1String("NULL") ? "NULL" : "'" + strValue.toStdString() + "'";
}

} // namespace

class CMicSettingsDlgTest : public QObject {
    Q_OBJECT
    QStringList m_messages;

private slots:
    void initTestCase() {
        SetMessageRecorder([this](const QString& strText) { m_messages << strText; });
        InstallMessageSink();
    }
    void init() {
        m_messages.clear();
        ResetProgramValues();
    }

    void controls_data() {
        QTest::addColumn<int>("row");
        QTest::addColumn<QList<int>>("ids"); // camera type, channel, dome, preset
        QTest::newRow("1") << 1 << QList<int>{1092, 1032, 1034, 1035};
        QTest::newRow("2") << 2 << QList<int>{1093, 1033, 1036, 1037};
        QTest::newRow("3") << 3 << QList<int>{1094, 1038, 1039, 1040};
        QTest::newRow("4") << 4 << QList<int>{1095, 1041, 1042, 1043};
        QTest::newRow("10") << 10 << QList<int>{1101, 1059, 1060, 1061};
        QTest::newRow("11") << 11 << QList<int>{1102, 1062, 1063, 1064};
        QTest::newRow("20") << 20 << QList<int>{1111, 1089, 1090, 1091};
    }
    void controls() {
        QFETCH(int, row);
        QFETCH(QList<int>, ids);
        CTestDatabase db;
        CMicSettingsDlg dlg;
        const int nElements[] = {60 + row - 1, 3 * (row - 1), 3 * (row - 1) + 1, 3 * (row - 1) + 2};
        const QStringList columns{"摄像机类型", "通道号", "球机号", "预置位"};
        const int nCounts[] = {3, row == 1 ? 13 : 12, 17, 32};
        for (int nColumn = Type; nColumn <= Preset; ++nColumn) {
            auto* pCombo = dlg.ControlAs<QComboBox>(ids[nColumn]);
            QVERIFY(pCombo);
            QCOMPARE(dlg.Combos()[nElements[nColumn]], pCombo);
            QCOMPARE(pCombo->count(), nCounts[nColumn]);
            QVERIFY(!pCombo->isEditable());
            QCOMPARE(pCombo->accessibleName(), QStringLiteral("话筒%1 %2").arg(row).arg(columns[nColumn]));
        }
        auto* pType = dlg.ControlAs<QComboBox>(ids[Type]);
        QCOMPARE(pType->itemText(0) + pType->itemText(1) + pType->itemText(2),
                 QStringLiteral("SONY海康枪机"));
        auto* pChannel = dlg.ControlAs<QComboBox>(ids[Channel]);
        QCOMPARE(pChannel->itemText(11), QStringLiteral("12"));
        QCOMPARE(pChannel->itemText(12), QString());
        QCOMPARE(dlg.ControlAs<QComboBox>(ids[Dome])->itemText(16), QStringLiteral("不使用球机"));
        QCOMPARE(dlg.ControlAs<QComboBox>(ids[Preset])->itemText(31), QStringLiteral("32"));
    }

    void tabOrder() {
        CTestDatabase db;
        CMicSettingsDlg dlg;
        QList<QWidget*> expected{dlg.Control(1), dlg.Control(2)};
        for (int nRow = 1; nRow <= 20; ++nRow)
            expected << Combo(dlg, nRow, Channel) << Combo(dlg, nRow, Dome) << Combo(dlg, nRow, Preset);
        for (int nRow = 1; nRow <= 20; ++nRow)
            expected << Combo(dlg, nRow, Type);
        QList<QWidget*> chain;
        for (QWidget* p = dlg.Control(1); chain.size() < expected.size(); p = p->nextInFocusChain())
            if (qobject_cast<QComboBox*>(p) || qobject_cast<QPushButton*>(p))
                chain << p;
        QCOMPARE(chain, expected);
        QCOMPARE(QSet<QWidget*>(chain.begin(), chain.end()).size(), 82);
    }

    void load_data() {
        QTest::addColumn<QStringList>("stored"); // tdnum, qjnum, bitnum, tyjnum
        QTest::addColumn<bool>("fromController");
        QTest::addColumn<QStringList>("shown"); // type, channel, dome, preset
        QTest::addColumn<bool>("domeEnabled");
        QTest::addColumn<bool>("presetEnabled");
        const QStringList example{"3", "不使用球机", "0", "1"};
        const QStringList exampleShown{"海康", "4", "不使用球机", "1"};
        QTest::newRow("no dome") << example << false << exampleShown << true << true;
        QTest::newRow("no dome, after a reading") << example << true << exampleShown << true << true;
        QTest::newRow("nothing chosen") << QStringList(4, "-1") << false << QStringList(4) << true << true;
        QTest::newRow("nothing chosen, after a reading")
            << QStringList(4, "-1") << true << QStringList(4) << true << true;
        QTest::newRow("SONY keeps a stored preset above 6")
            << QStringList{"0", "5", "11", "0"} << false << QStringList{"SONY", "1", "", "12"} << false
            << true;
        QTest::newRow("fixed camera") << QStringList{"11", "15", "31", "2"} << false
                                      << QStringList{"枪机", "12", "", ""} << false << false;
        QTest::newRow("NULL dome") << QStringList{"2", "NULL", "3", "1"} << false
                                   << QStringList{"海康", "3", "", "4"} << true << true;
        QTest::newRow("NULL type") << QStringList{"2", "4", "3", "NULL"} << false
                                   << QStringList{"", "3", "5", "4"} << true << true;
        QTest::newRow("leading numbers") << QStringList{" 7x", "+2", "abc", "1"} << false
                                         << QStringList{"海康", "8", "3", "1"} << true << true;
        QTest::newRow("past the lists")
            << QStringList{"12", "17", "32", "3"} << false << QStringList(4) << true << true;
    }
    void load() {
        QFETCH(QStringList, stored);
        QFETCH(bool, fromController);
        QFETCH(QStringList, shown);
        QFETCH(bool, domeEnabled);
        QFETCH(bool, presetEnabled);
        CTestDatabase db;
        db.Exec("UPDATE htset SET tdnum=" + Sql(stored[0]) + ",qjnum=" + Sql(stored[1]) +
                ",bitnum=" + Sql(stored[2]) + ",tyjnum=" + Sql(stored[3]) + " WHERE htnum='2'");
        g_bMicTableFromController = fromController;
        CMicSettingsDlg dlg;
        for (int nColumn = Type; nColumn <= Preset; ++nColumn)
            QCOMPARE(Combo(dlg, 3, nColumn)->currentText(), shown[nColumn]);
        QVERIFY(Combo(dlg, 3, Type)->isEnabled() && Combo(dlg, 3, Channel)->isEnabled());
        QCOMPARE(Combo(dlg, 3, Dome)->isEnabled(), domeEnabled);
        QCOMPARE(Combo(dlg, 3, Preset)->isEnabled(), presetEnabled);
        QCOMPARE(Combo(dlg, 4, Channel)->currentIndex(), -1);
        QVERIFY(!g_bMicTableFromController);
        QCOMPARE(m_messages, QStringList());
    }

    void loadWithoutRows_data() {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("message");
        QTest::newRow("empty table") << "DELETE FROM htset"
                                     << "表内数据为空";
        QTest::newRow("read fails") << "DROP TABLE htset"
                                    << "no such table: htset";
    }
    void loadWithoutRows() {
        QFETCH(QString, sql);
        QFETCH(QString, message);
        CTestDatabase db;
        db.Exec(sql.toStdString());
        CMicSettingsDlg dlg;
        QCOMPARE(m_messages, QStringList{message});
        for (QComboBox* pCombo : dlg.Combos()) {
            QCOMPARE(pCombo->currentIndex(), -1);
            QVERIFY(pCombo->isEnabled());
        }
    }

    void extraRecordsAreNeitherShownNorSaved() {
        CTestDatabase db;
        db.Exec("UPDATE htset SET tdnum='2',qjnum='3',bitnum='4',tyjnum='1' WHERE htnum='19';"
                "INSERT INTO htset VALUES ('20','1','1','1','1'), ('21','2','2','2','2');");
        CMicSettingsDlg dlg;
        QCOMPARE(Combo(dlg, 20, Channel)->currentText(), QStringLiteral("3"));
        QCOMPARE(Combo(dlg, 20, Preset)->currentText(), QStringLiteral("5"));
        // Only row 20's four combos hold a choice: no extra record spilled into other rows.
        QCOMPARE(std::count_if(dlg.Combos().begin(), dlg.Combos().end(),
                               [](QComboBox* p) { return p->currentIndex() >= 0; }),
                 4);
        QTest::mouseClick(dlg.ControlAs<QPushButton>(1), Qt::LeftButton);
        QCOMPARE(m_messages, QStringList{"保存成功！"});
        QCOMPARE(StoredRow(db, 19), "2,3,4,1");
        QCOMPARE(StoredRow(db, 20), "1,1,1,1");
    }

    // A record that the start-up repair added at the end of the table still
    // fills its own row, and an unchanged save moves nothing.
    void recordsFillTheRowTheirKeyNames() {
        CTestDatabase db;
        for (int i = 0; i < 20; ++i)
            db.Exec("UPDATE htset SET tdnum='" + std::to_string(i % 12) + "',qjnum='" +
                    std::to_string(i % 17) + "',bitnum='" + std::to_string(i % 7) +
                    "',tyjnum='1' WHERE htnum='" + std::to_string(i) + "'");
        db.Exec("DELETE FROM htset WHERE htnum='5'; INSERT INTO htset VALUES ('5','5','5','5','1');"
                "INSERT INTO htset VALUES ('x','9','9','9','1');");
        std::vector<std::string> before;
        for (int i = 0; i < 20; ++i)
            before.push_back(StoredRow(db, i));
        CMicSettingsDlg dlg;
        QCOMPARE(Combo(dlg, 6, Channel)->currentIndex(), 5);
        QCOMPARE(Combo(dlg, 7, Channel)->currentIndex(), 6);
        for (int nPress = 0; nPress < 2; ++nPress) {
            CMicSettingsDlg again;
            QTest::mouseClick(again.ControlAs<QPushButton>(1), Qt::LeftButton);
        }
        for (int i = 0; i < 20; ++i)
            QCOMPARE(QString::fromStdString(StoredRow(db, i)),
                     QString::fromStdString(before[static_cast<std::size_t>(i)]));
    }

    void cameraTypeChange_data() {
        QTest::addColumn<int>("preset");
        QTest::addColumn<QList<int>>("types");
        QTest::addColumn<QList<int>>("expected"); // dome index, dome enabled, preset index, preset enabled
        QTest::newRow("SONY clears preset 12") << 11 << QList<int>{0} << QList<int>{-1, 0, -1, 1};
        QTest::newRow("SONY keeps preset 6") << 5 << QList<int>{0} << QList<int>{-1, 0, 5, 1};
        QTest::newRow("fixed camera") << 3 << QList<int>{2} << QList<int>{-1, 0, -1, 0};
        QTest::newRow("fixed, then 海康") << 3 << QList<int>{2, 1} << QList<int>{-1, 1, -1, 1};
        QTest::newRow("fixed, then SONY") << 3 << QList<int>{2, 0} << QList<int>{-1, 0, -1, 1};
    }
    void cameraTypeChange() {
        QFETCH(int, preset);
        QFETCH(QList<int>, types);
        QFETCH(QList<int>, expected);
        CTestDatabase db;
        CMicSettingsDlg dlg;
        Choose(Combo(dlg, 7, Type), CMicSettingsDlg::kCameraHaikang);
        Choose(Combo(dlg, 7, Dome), 4);
        Choose(Combo(dlg, 7, Preset), preset);
        for (int nType : types)
            Choose(Combo(dlg, 7, Type), nType);
        QCOMPARE(QList<int>({Combo(dlg, 7, Dome)->currentIndex(), Combo(dlg, 7, Dome)->isEnabled(),
                             Combo(dlg, 7, Preset)->currentIndex(), Combo(dlg, 7, Preset)->isEnabled()}),
                 expected);
        QCOMPARE(m_messages, QStringList());
    }

    void presetChange_data() {
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("preset");
        QTest::addColumn<int>("kept");
        QTest::addColumn<QStringList>("messages");
        const QStringList refused{"SONY的预置位不能大于6"};
        QTest::newRow("SONY, 7") << 0 << 6 << -1 << refused;
        QTest::newRow("SONY, 32") << 0 << 31 << -1 << refused;
        QTest::newRow("SONY, 6") << 0 << 5 << 5 << QStringList();
        QTest::newRow("海康, 32") << 1 << 31 << 31 << QStringList();
        QTest::newRow("no type, 32") << -1 << 31 << 31 << QStringList();
    }
    void presetChange() {
        QFETCH(int, type);
        QFETCH(int, preset);
        QFETCH(int, kept);
        QFETCH(QStringList, messages);
        CTestDatabase db;
        CMicSettingsDlg dlg;
        if (type >= 0)
            Choose(Combo(dlg, 12, Type), type);
        Choose(Combo(dlg, 12, Preset), preset);
        QCOMPARE(Combo(dlg, 12, Preset)->currentIndex(), kept);
        QCOMPARE(m_messages, messages);
    }

    void keyboardChoicesApplyTheRules() {
        CTestDatabase db;
        db.Exec("UPDATE htset SET tdnum='0',qjnum='3',bitnum='11',tyjnum='1' WHERE htnum='0'");
        CMicSettingsDlg dlg;
        QTest::keyClick(Combo(dlg, 1, Type), Qt::Key_Up);
        QCOMPARE(Combo(dlg, 1, Type)->currentText(), QStringLiteral("SONY"));
        QCOMPARE(Combo(dlg, 1, Preset)->currentIndex(), -1);
        QVERIFY(!Combo(dlg, 1, Dome)->isEnabled());
        QTest::keyClick(Combo(dlg, 1, Preset), Qt::Key_End);
        QCOMPARE(Combo(dlg, 1, Preset)->currentIndex(), -1);
        QCOMPARE(m_messages, QStringList{"SONY的预置位不能大于6"});
    }

    void save() {
        CTestDatabase db;
        CMicSettingsDlg dlg;
        dlg.show();
        Choose(Combo(dlg, 1, Type), 1);
        Choose(Combo(dlg, 1, Channel), 12);
        Choose(Combo(dlg, 1, Dome), 16);
        Choose(Combo(dlg, 1, Preset), 0);
        Choose(Combo(dlg, 3, Channel), 3);
        Choose(Combo(dlg, 3, Dome), 2);
        Choose(Combo(dlg, 3, Preset), 9);
        Choose(Combo(dlg, 3, Type), 2);
        Choose(Combo(dlg, 20, Type), 0);
        Choose(Combo(dlg, 20, Channel), 11);
        Choose(Combo(dlg, 20, Preset), 5);
        // Written behind the dialog's back: the save must put the combos' state over it.
        db.Exec("UPDATE htset SET tdnum='1',qjnum='1',bitnum='1',tyjnum='1' WHERE htnum='5'");
        g_bMicTableFromController = true;
        QTest::mouseClick(dlg.ControlAs<QPushButton>(1), Qt::LeftButton);
        QCOMPARE(m_messages, QStringList{"保存成功！"});
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QVERIFY(!dlg.isVisible());
        QVERIFY(!g_bMicTableFromController);
        QCOMPARE(StoredRow(db, 0), "12,16,0,1");
        QCOMPARE(StoredRow(db, 2), "3,-1,-1,2");
        QCOMPARE(StoredRow(db, 5), "-1,-1,-1,-1");
        QCOMPARE(StoredRow(db, 19), "11,-1,5,0");
    }

    void failedRowsKeepTheDialogOpen() {
        CTestDatabase db;
        db.Exec("CREATE TRIGGER lock5 BEFORE UPDATE ON htset WHEN old.htnum IN ('5','7') "
                "BEGIN SELECT RAISE(ABORT,'locked'); END");
        CMicSettingsDlg dlg;
        dlg.show();
        Choose(Combo(dlg, 20, Channel), 4);
        Choose(Combo(dlg, 9, Channel), 4);
        g_bMicTableFromController = true;
        QTest::mouseClick(dlg.ControlAs<QPushButton>(1), Qt::LeftButton);
        QCOMPARE(m_messages, QStringList{"locked"});
        QVERIFY(dlg.isVisible());
        QVERIFY(g_bMicTableFromController);
        QCOMPARE(StoredRow(db, 19), "4,-1,-1,-1"); // rows after a failure are still attempted
        QCOMPARE(StoredRow(db, 8), "4,-1,-1,-1");

        db.Exec("DROP TRIGGER lock5");
        QTest::mouseClick(dlg.ControlAs<QPushButton>(1), Qt::LeftButton);
        QCOMPARE(m_messages, QStringList({"locked", "保存成功！"}));
        QVERIFY(!dlg.isVisible());
    }

    void cancelSavesNothing() {
        CTestDatabase db;
        CMicSettingsDlg dlg;
        dlg.show();
        Choose(Combo(dlg, 2, Channel), 4);
        QTest::mouseClick(dlg.ControlAs<QPushButton>(2), Qt::LeftButton);
        QCOMPARE(dlg.result(), int(QDialog::Rejected));
        QVERIFY(!dlg.isVisible());
        QCOMPARE(StoredRow(db, 1), "-1,-1,-1,-1");
        QCOMPARE(m_messages, QStringList());
    }
};

QTEST_MAIN(CMicSettingsDlgTest)
#include "MicSettingsDlgTest.moc"
