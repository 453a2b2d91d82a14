#include "MicSettingsDlg.h"

#include "codec/Numbers.h"

#include "Database.h"
#include "MessageBox.h"
#include "MicTable.h"
#include "ProgramValues.h"
#include "Statements.h"

#include <QComboBox>
#include <QPushButton>

#include <algorithm>
#include <optional>
#include <string>

namespace {

// The number a stored text stands for: its leading decimal integer, 0 when
// it does not start with one.
int LeadingNumber(const std::string& strText) {
    return static_cast<int>(codec::LeadingInteger(strText));
}

// An index outside the list, -1 included, leaves the combo without a selection.
void Select(QComboBox* pCombo, int nIndex) {
    pCombo->setCurrentIndex(nIndex >= 0 && nIndex < pCombo->count() ? nIndex : -1);
}

void ClearAndDisable(QComboBox* pCombo) {
    pCombo->setCurrentIndex(-1);
    pCombo->setEnabled(false);
}

} // namespace

int CMicSettingsDlg::CameraTypeId(int nRow) {
    return 1091 + nRow;
}

int CMicSettingsDlg::ChannelId(int nRow) {
    if (nRow <= 2)
        return 1031 + nRow;
    return 1029 + 3 * nRow;
}

int CMicSettingsDlg::DomeId(int nRow) {
    if (nRow <= 2)
        return 1032 + 2 * nRow;
    return 1030 + 3 * nRow;
}

int CMicSettingsDlg::PresetId(int nRow) {
    if (nRow <= 2)
        return 1033 + 2 * nRow;
    return 1031 + 3 * nRow;
}

CMicSettingsDlg::CMicSettingsDlg(QWidget* pParent) : CDialogBase(105, pParent) {
    const QString strName = QStringLiteral("话筒%1 %2");
    for (int nRow = 1; nRow <= kRows; ++nRow) {
        m_combo[3 * (nRow - 1)] = ControlAs<QComboBox>(ChannelId(nRow));
        m_combo[3 * (nRow - 1) + 1] = ControlAs<QComboBox>(DomeId(nRow));
        m_combo[3 * (nRow - 1) + 2] = ControlAs<QComboBox>(PresetId(nRow));
        m_combo[60 + nRow - 1] = ControlAs<QComboBox>(CameraTypeId(nRow));
        // One label names a whole row, so each combo gets its row and column.
        Channel(nRow)->setAccessibleName(strName.arg(nRow).arg(QStringLiteral("通道号")));
        Dome(nRow)->setAccessibleName(strName.arg(nRow).arg(QStringLiteral("球机号")));
        Preset(nRow)->setAccessibleName(strName.arg(nRow).arg(QStringLiteral("预置位")));
        CameraType(nRow)->setAccessibleName(strName.arg(nRow).arg(QStringLiteral("摄像机类型")));
        // Only a choice of the user's applies the rules: activated is not
        // emitted for the selections the load and the rules themselves make.
        connect(CameraType(nRow), &QComboBox::activated, this, [this, nRow] { OnSelchangeCameraType(nRow); });
        connect(Preset(nRow), &QComboBox::activated, this, [this, nRow] { OnSelchangePreset(nRow); });
    }
    connect(ControlAs<QPushButton>(1), &QPushButton::clicked, this, &CMicSettingsDlg::OnOK);
    connect(ControlAs<QPushButton>(2), &QPushButton::clicked, this, &QDialog::reject);
    OnInitDialog();
}

bool CMicSettingsDlg::OnInitDialog() {
    std::unique_ptr<CRecordWalker> pRecords;
    try {
        pRecords = CDatabase::OpenRead(stmt::SelectMicTable(), CursorType::Keyset);
    } catch (const CDatabaseError& error) {
        // The dialog still opens, every combo unselected and enabled.
        ReportDatabaseError(error);
        return true;
    }
    if (pRecords->IsEmpty())
        MessageBoxShow(QStringLiteral("表内数据为空"));
    try {
        // Each record fills the row its htnum names, whatever order the
        // table returns them in; a record naming no row is skipped.
        for (; !pRecords->AtEnd(); pRecords->MoveNext()) {
            const int nRow = session::MicRowOf(pRecords->FieldOr("htnum", std::string()));
            if (nRow >= 0 && nRow < kRows)
                LoadRow(nRow + 1, *pRecords);
        }
    } catch (const CDatabaseError& error) {
        ReportDatabaseError(error);
        return true;
    }
    // A controller reading stores the same zero-based indexes this dialog
    // writes, so the values are taken as they are even while the flag is set;
    // the flag is cleared because the table has now been shown as it stands.
    g_bMicTableFromController = false;
    return true;
}

void CMicSettingsDlg::LoadRow(int nRow, const CRecordWalker& record) {
    // A NULL cell holds no number: it loads as nothing chosen.
    auto field = [&record](const char* pszColumn) { return record.FieldOr(pszColumn, "-1"); };
    Select(Channel(nRow), LeadingNumber(field("tdnum")));
    const std::string strDome = field("qjnum");
    Select(Dome(nRow), QString::fromStdString(strDome) == QStringLiteral("不使用球机")
                           ? kNoDomeItem
                           : LeadingNumber(strDome));
    Select(Preset(nRow), LeadingNumber(field("bitnum")));
    Select(CameraType(nRow), LeadingNumber(field("tyjnum")));
    // The stored type decides which combos apply; a stored SONY preset above
    // 6 is shown as it is.
    ApplyCameraType(nRow, false);
}

void CMicSettingsDlg::OnSelchangeCameraType(int nRow) {
    ApplyCameraType(nRow, true);
}

void CMicSettingsDlg::ApplyCameraType(int nRow, bool bLimitPreset) {
    switch (CameraType(nRow)->currentIndex()) {
    case kCameraSony:
        ClearAndDisable(Dome(nRow));
        Preset(nRow)->setEnabled(true);
        if (bLimitPreset && Preset(nRow)->currentIndex() >= kSonyPresetCount)
            Preset(nRow)->setCurrentIndex(-1);
        break;
    case kCameraHaikang:
        Dome(nRow)->setEnabled(true);
        Preset(nRow)->setEnabled(true);
        break;
    case kCameraFixed:
        ClearAndDisable(Dome(nRow));
        ClearAndDisable(Preset(nRow));
        break;
    default:
        break;
    }
}

void CMicSettingsDlg::OnSelchangePreset(int nRow) {
    if (CameraType(nRow)->currentIndex() != kCameraSony || Preset(nRow)->currentIndex() < kSonyPresetCount)
        return;
    Preset(nRow)->setCurrentIndex(-1);
    MessageBoxShow(QStringLiteral("SONY的预置位不能大于6"));
}

void CMicSettingsDlg::OnOK() {
    UpdateData(true);
    // Every row is attempted, so one bad row costs only itself; the installer
    // sees the first failure and can try again with the dialog still open.
    std::optional<CDatabaseError> firstFailure;
    for (int i = 0; i < kRows; ++i) {
        const int nRow = i + 1;
        try {
            CDatabase::ExecuteWrite(stmt::SaveMicRow(
                std::to_string(Channel(nRow)->currentIndex()), std::to_string(Dome(nRow)->currentIndex()),
                std::to_string(Preset(nRow)->currentIndex()),
                std::to_string(CameraType(nRow)->currentIndex()), std::to_string(i)));
        } catch (const CDatabaseError& error) {
            if (!firstFailure)
                firstFailure = error;
        }
    }
    if (firstFailure) {
        ReportDatabaseError(*firstFailure);
        return;
    }
    MessageBoxShow(QStringLiteral("保存成功！"));
    g_bMicTableFromController = false;
    accept();
}
