#pragma once

#include <QFrame>

#include <array>
#include <cstdint>

class QLineEdit;

// An IPv4 address control: four number fields (0 to 255) with dots between
// them. A blank field reads as 0, so a blank control reads "0.0.0.0";
// IsComplete() tells whether all four fields are filled.
class CIpAddressEdit : public QFrame {
    Q_OBJECT
public:
    explicit CIpAddressEdit(QWidget* pParent = nullptr);

    QString Text() const;
    bool IsComplete() const;
    bool IsBlank() const;
    std::array<std::uint8_t, 4> Address() const;
    // Takes a dotted text as if it were typed or pasted; fields it does not
    // give are left blank.
    void SetText(const QString& strText);
    // Names the control and each of its four fields for screen readers.
    void SetAccessibleNames(const QString& strName);
    QLineEdit* Field(int nIndex) const { return m_fields[static_cast<std::size_t>(nIndex)]; }

signals:
    void Changed();
    // The installer typed into one of the fields (not a change made by the program).
    void Edited();

protected:
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;
    void changeEvent(QEvent* pEvent) override;
    void resizeEvent(QResizeEvent* pEvent) override;
    void paintEvent(QPaintEvent* pEvent) override;

private:
    // Only a dialog's data exchange puts a value into the control.
    friend class CDataExchange;
    void SetAddress(const std::array<std::uint8_t, 4>& address);
    void Clear();

    void OnFieldEdited(int nIndex);
    std::array<QLineEdit*, 4> m_fields{};
};
