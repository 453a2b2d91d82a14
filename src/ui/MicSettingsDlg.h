#pragma once

#include "DialogBase.h"

#include <array>

class QComboBox;
class CRecordWalker;

// Edits the twenty-row microphone linkage table (htset): for each microphone
// the camera type, video channel, dome camera and preset. The rows are read
// when the dialog is made and all twenty are written back on "确定".
class CMicSettingsDlg : public CDialogBase {
    Q_OBJECT
public:
    static constexpr int kRows = 20;

    // Items of the camera-type combo, as stored in tyjnum.
    static constexpr int kCameraSony = 0;
    static constexpr int kCameraHaikang = 1;
    static constexpr int kCameraFixed = 2;
    // A SONY dome offers presets 1 to 6 only.
    static constexpr int kSonyPresetCount = 6;
    // The dome item "不使用球机" (no dome camera).
    static constexpr int kNoDomeItem = 16;

    explicit CMicSettingsDlg(QWidget* pParent = nullptr);

    // Control ids of row nRow (1 to 20). Rows 1 and 2 were laid out before
    // the rest and keep ids of their own.
    static int CameraTypeId(int nRow);
    static int ChannelId(int nRow);
    static int DomeId(int nRow);
    static int PresetId(int nRow);

    // The combos in element order: 3(n-1) channel, 3(n-1)+1 dome, 3(n-1)+2
    // preset of row n; 60 + (n-1) the camera type of row n.
    const std::array<QComboBox*, 80>& Combos() const { return m_combo; }

protected:
    bool OnInitDialog();
    void OnOK();
    void OnSelchangeCameraType(int nRow);
    // Enables and clears a row's combos for its camera type; the SONY preset
    // limit applies to the installer's choices, not to stored values.
    void ApplyCameraType(int nRow, bool bLimitPreset);
    void OnSelchangePreset(int nRow);

private:
    QComboBox* Channel(int nRow) const { return m_combo[3 * (nRow - 1)]; }
    QComboBox* Dome(int nRow) const { return m_combo[3 * (nRow - 1) + 1]; }
    QComboBox* Preset(int nRow) const { return m_combo[3 * (nRow - 1) + 2]; }
    QComboBox* CameraType(int nRow) const { return m_combo[60 + nRow - 1]; }

    void LoadRow(int nRow, const CRecordWalker& record);

    std::array<QComboBox*, 80> m_combo{};
};
