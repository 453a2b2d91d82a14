// Qt's own texts speak Chinese once the program's start-up has run: the
// buttons of a real message box and the labels of the file dialog.
#include "Translations.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

class CTranslationsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(InstallChineseTranslations({QStringLiteral(VELMORA_QT_TRANSLATIONS)})); }

    void messageBoxButtonsAreChinese() {
        QMessageBox box(QMessageBox::Question, QStringLiteral("Velmora"), QStringLiteral("是否继续？"),
                        QMessageBox::Yes | QMessageBox::No | QMessageBox::Ok | QMessageBox::Cancel);
        QStringList texts;
        // Read while the box is really open, then close it.
        QTimer::singleShot(0, &box, [&] {
            for (auto eButton : {QMessageBox::Yes, QMessageBox::No, QMessageBox::Ok, QMessageBox::Cancel})
                texts << box.button(eButton)->text().remove(QLatin1Char('&'));
            box.done(QMessageBox::No);
        });
        box.exec();
        QCOMPARE(texts.size(), 4);
        for (const QString& strText : texts)
            QVERIFY2(!strText.contains(QRegularExpression(QStringLiteral("[A-Za-z]{2}"))), qPrintable(strText));
        QVERIFY(texts.contains(QStringLiteral("确定")));
    }

    void fileDialogLabelsAreChinese() {
        QFileDialog dialog;
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        QStringList texts;
        for (QLabel* pLabel : dialog.findChildren<QLabel*>())
            if (!pLabel->text().isEmpty())
                texts << pLabel->text();
        QVERIFY(!texts.isEmpty());
        for (const QString& strText : texts)
            QVERIFY2(!strText.contains(QStringLiteral("Look in")) && !strText.contains(QStringLiteral("File name")),
                     qPrintable(strText));
        const auto* pButtons = dialog.findChild<QDialogButtonBox*>();
        QVERIFY(pButtons);
        QCOMPARE(pButtons->button(QDialogButtonBox::Cancel)->text().remove(QLatin1Char('&')).left(2),
                 QStringLiteral("取消"));
    }
};

QTEST_MAIN(CTranslationsTest)
#include "TranslationsTest.moc"
