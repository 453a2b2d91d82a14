#pragma once

#include "Comparison.h"

#include <QDialog>
#include <QString>

#include <vector>

class QTableWidget;

// What a Set sent against what the controller reported back, one row per
// field: field, sent, read back, ✓ or ✗. Rows that differ come first.
class CSetResultDlg : public QDialog {
    Q_OBJECT
public:
    // strController (the address that was written) goes into the title.
    explicit CSetResultDlg(const std::vector<session::SFieldResult>& fields,
                           const QString& strController = {}, QWidget* pParent = nullptr);

    QTableWidget* Table() const { return m_pTable; }

    // The field's name as the window labels it ("lock_time" is "电控锁时间").
    static QString FieldLabel(const std::string& strField);
    // A value sent or read back as the window shows it.
    static QString ValueText(const std::string& strValue);

private:
    QTableWidget* m_pTable = nullptr;
};
