#pragma once
// The history combo on the desktop: an editable combo box showing the core's
// list and edit text, with the core's toolbar of shown buttons placed where
// the core says. The core keeps every rule; the widget shows and forwards.
#include <QWidget>

#include <array>

#include "kestrun/shell/forms/HistoryCombo.h"

class QComboBox;
class QToolButton;

namespace shell::gui {

class HistoryComboWidget final : public QWidget {
public:
    explicit HistoryComboWidget(COXHistoryCombo& combo, QWidget* parent = nullptr);

    QComboBox* Combo() const { return m_pCombo; }
    QToolButton* Button(int nButton) const;
    // The core's list, edit text and buttons as they stand.
    void Refresh();
    // Flat buttons; true when the style changed.
    bool SetFlatToolbar(bool bFlat);

protected:
    void changeEvent(QEvent* pEvent) override;

private:
    COXHistoryCombo& m_combo;
    QComboBox* m_pCombo;
    std::array<QToolButton*, COXHistoryCombo::kReserved2 + 1> m_buttons{};
    bool m_bFlat = false;
};

} // namespace shell::gui
