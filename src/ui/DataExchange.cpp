#include "DataExchange.h"
#include "DialogBase.h"
#include "IpAddressEdit.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>

void CDataExchange::Text(int nId, QString& strValue) {
    if (m_bSave) {
        strValue = m_dialog.GetItemText(nId);
        return;
    }
    QWidget* pWidget = m_dialog.Control(nId);
    if (auto* pEdit = qobject_cast<QLineEdit*>(pWidget)) {
        if (pEdit->text() != strValue)
            pEdit->setText(strValue);
    } else if (auto* pEdit = qobject_cast<QPlainTextEdit*>(pWidget)) {
        if (pEdit->toPlainText() != strValue)
            pEdit->setPlainText(strValue);
    } else if (qobject_cast<QComboBox*>(pWidget)) {
        ComboText(nId, strValue);
    } else if (auto* pButton = qobject_cast<QAbstractButton*>(pWidget)) {
        pButton->setText(strValue);
    } else if (auto* pLabel = qobject_cast<QLabel*>(pWidget)) {
        pLabel->setText(strValue);
    }
}

QComboBox* CDataExchange::ListToLoad(int nId, QString& strValue) {
    if (m_bSave) {
        strValue = m_dialog.ComboText(nId);
        return nullptr;
    }
    return m_dialog.ControlAs<QComboBox>(nId);
}

void CDataExchange::Index(int nId, int& nIndex) {
    if (m_bSave) {
        nIndex = m_dialog.GetCurSel(nId);
        return;
    }
    auto* pCombo = m_dialog.ControlAs<QComboBox>(nId);
    if (!pCombo)
        return;
    const int nWanted = nIndex >= 0 && nIndex < pCombo->count() ? nIndex : -1;
    if (m_dialog.GetCurSel(nId) == nWanted)
        return;
    pCombo->setCurrentIndex(nWanted);
    if (pCombo->currentIndex() < 0 && pCombo->isEditable())
        pCombo->setEditText(QString());
    else if (pCombo->isEditable())
        pCombo->setEditText(pCombo->itemText(nWanted));
}

void CDataExchange::ComboText(int nId, QString& strValue) {
    QComboBox* pCombo = ListToLoad(nId, strValue);
    if (!pCombo)
        return;
    if (!strValue.isEmpty()) {
        for (int i = 0; i < pCombo->count(); ++i) {
            if (pCombo->itemText(i).startsWith(strValue, Qt::CaseInsensitive)) {
                if (pCombo->currentIndex() != i ||
                    (pCombo->isEditable() && pCombo->currentText() != pCombo->itemText(i)))
                    pCombo->setCurrentIndex(i);
                return;
            }
        }
    }
    if (pCombo->isEditable() && pCombo->currentText() != strValue)
        pCombo->setEditText(strValue);
}

void CDataExchange::ExactText(int nId, QString& strValue) {
    QComboBox* pCombo = ListToLoad(nId, strValue);
    if (!pCombo)
        return;
    // Selecting the first item that merely begins with the text would show
    // another model whose name is longer.
    const int nIndex =
        strValue.isEmpty() ? -1 : pCombo->findText(strValue, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (nIndex >= 0 && pCombo->currentIndex() != nIndex)
        pCombo->setCurrentIndex(nIndex);
    if (pCombo->currentText() != strValue)
        pCombo->setEditText(strValue);
}

void CDataExchange::Check(int nId, bool& bValue) {
    auto* pButton = m_dialog.ControlAs<QAbstractButton>(nId);
    if (!pButton)
        return;
    if (m_bSave)
        bValue = pButton->isChecked();
    else if (pButton->isChecked() != bValue)
        pButton->setChecked(bValue);
}

void CDataExchange::Address(int nId, std::array<std::uint8_t, 4>& address, bool& bWhole) {
    auto* pIp = m_dialog.ControlAs<CIpAddressEdit>(nId);
    if (!pIp)
        return;
    if (m_bSave) {
        address = pIp->Address();
        bWhole = pIp->IsComplete();
        return;
    }
    // What the control shows already (a half-typed address included) stays.
    if (pIp->Address() == address && pIp->IsComplete() == bWhole)
        return;
    if (bWhole)
        pIp->SetAddress(address);
    else
        pIp->Clear();
}
