#pragma once

// The fields a batch writes to every room, each with its tick box: only a
// ticked field is written, and a room's own value in the plan wins over it.
// It yields the ticked values by plan column; while a check or run goes
// on, ticks and values are locked alike.

#include <QGroupBox>

#include <functional>
#include <map>
#include <string>

class QCheckBox;
class QComboBox;
class QPushButton;

class CBatchFields : public QGroupBox {
    Q_OBJECT
public:
    enum EField { kServerIp, kMask, kGateway, kLockType, kLockTime, kOneKey, kProjector1, kProjector2, kSnapshot, kFields };

    // pfnChooseSnapshot picks a settings file for 配置文件 (empty: none).
    CBatchFields(std::function<QString()> pfnChooseSnapshot, QWidget* pParent);

    QCheckBox* Tick(EField eField) const { return m_pTicks[eField]; }
    QWidget* Editor(EField eField) const { return m_pEditors[eField]; }
    // The ticked fields by plan column. A ticked field left empty is "?",
    // so the plan's check says it is no value (bKeepEmpty: "" instead, for
    // a plan file saved to be completed later).
    std::map<std::string, std::string> Ticked(bool bKeepEmpty = false) const;
    void SetLocked(bool bLocked);

private:
    void SearchModel(QComboBox* pCombo);
    void FollowTicks();

    std::function<QString()> m_pfnChooseSnapshot;
    std::string m_strSearchKeyword; // the batch's own model search, apart from the code dialog's
    QCheckBox* m_pTicks[kFields] = {};
    QWidget* m_pEditors[kFields] = {};
    std::map<int, QPushButton*> m_buttons; // a field's 查找… or 浏览…
    bool m_bLocked = false;
};
