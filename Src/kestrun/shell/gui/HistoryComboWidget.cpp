#include "kestrun/shell/gui/HistoryComboWidget.h"

#include <QBoxLayout>
#include <QComboBox>
#include <QEvent>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QToolButton>

namespace shell::gui {

namespace {

using Combo = COXHistoryCombo;

constexpr const char* kButtonTexts[] = {"+", "x", "...", "1", "2"};

// The tooltip is the part of the command string after its line break.
QString Tooltip(int nButton)
{
    return QString::fromStdString(COXHistoryCombo::GetButtonTip(nButton));
}

bool IsVertical(Combo::EToolbarPosition p) { return p >= Combo::TBPVerticalLeftTop; }
bool IsBefore(Combo::EToolbarPosition p)
{
    return p <= Combo::TBPHorizontalTopRight || (p >= Combo::TBPVerticalLeftTop && p <= Combo::TBPVerticalLeftBottom);
}
Qt::Alignment Alignment(Combo::EToolbarPosition p)
{
    static const Qt::Alignment kAlign[] = {Qt::AlignLeft, Qt::AlignHCenter, Qt::AlignRight,
                                           Qt::AlignTop,  Qt::AlignVCenter, Qt::AlignBottom};
    const int index = (static_cast<int>(p) - Combo::TBPHorizontalTopLeft) % 3 + (IsVertical(p) ? 3 : 0);
    return kAlign[index];
}

} // namespace

HistoryComboWidget::HistoryComboWidget(COXHistoryCombo& combo, QWidget* parent)
    : QWidget(parent), m_combo(combo), m_pCombo(new QComboBox)
{
    m_pCombo->setEditable(true);
    m_pCombo->setInsertPolicy(QComboBox::NoInsert);
    m_pCombo->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    const Combo::EToolbarPosition position = m_combo.GetToolbarPosition();
    const bool vertical = IsVertical(position);
    auto* pOuter = new QBoxLayout(vertical ? QBoxLayout::LeftToRight : QBoxLayout::TopToBottom, this);
    pOuter->setContentsMargins(0, 0, 0, 0);
    pOuter->setSpacing(m_combo.IsToolbarFlush() ? 0 : 4);
    auto* pBar = new QWidget;
    auto* pBarLayout = new QBoxLayout(QBoxLayout::LeftToRight, pBar);
    pBarLayout->setContentsMargins(0, 0, 0, 0);
    for (int button = 0; button <= Combo::kReserved2; ++button) {
        auto* pButton = new QToolButton;
        pButton->setText(kButtonTexts[button]);
        pButton->setToolTip(Tooltip(button));
        pButton->setObjectName(QString::number(Combo::ID_HISTORY_NEW + static_cast<UINT>(button)));
        connect(pButton, &QToolButton::clicked, this, [this, button] {
            m_combo.OnToolbarCommand(Combo::ID_HISTORY_NEW + static_cast<UINT>(button));
            Refresh();
        });
        pBarLayout->addWidget(pButton);
        m_buttons[static_cast<std::size_t>(button)] = pButton;
    }
    if (position == Combo::TBPNone)
        pBar->hide();
    if (IsBefore(position)) {
        pOuter->addWidget(pBar, 0, Alignment(position));
        pOuter->addWidget(m_pCombo, 1);
    } else {
        pOuter->addWidget(m_pCombo, 1);
        pOuter->addWidget(pBar, 0, Alignment(position));
    }
    connect(m_pCombo, &QComboBox::editTextChanged, this, [this](const QString& text) {
        m_combo.SetEditText(text.toStdString());
        Refresh();
    });
    connect(m_pCombo, qOverload<int>(&QComboBox::activated), this, [this](int index) {
        m_combo.SetCurSel(index);
        Refresh();
    });
    m_combo.onNotify = [this](int) { Refresh(); };
    Refresh();
}

QToolButton* HistoryComboWidget::Button(int nButton) const
{
    return nButton >= 0 && nButton <= Combo::kReserved2 ? m_buttons[static_cast<std::size_t>(nButton)] : nullptr;
}

void HistoryComboWidget::Refresh()
{
    const QSignalBlocker quiet(m_pCombo);
    QStringList items;
    for (const std::string& item : m_combo.GetItems())
        items << QString::fromStdString(item);
    QStringList shown;
    for (int i = 0; i < m_pCombo->count(); ++i)
        shown << m_pCombo->itemText(i);
    if (shown != items) {
        m_pCombo->clear();
        m_pCombo->addItems(items);
    }
    m_pCombo->setCurrentIndex(m_combo.GetCurSel());
    const QString edit = QString::fromStdString(m_combo.GetEditText());
    if (m_pCombo->currentText() != edit)
        m_pCombo->setEditText(edit);
    bool anyShown = false;
    for (int button = 0; button <= Combo::kReserved2; ++button) {
        QToolButton* pButton = m_buttons[static_cast<std::size_t>(button)];
        pButton->setVisible(m_combo.IsButtonShown(button));
        pButton->setEnabled(m_combo.IsButtonEnabled(button));
        anyShown = anyShown || m_combo.IsButtonShown(button);
    }
    if (QWidget* pBar = m_buttons[0]->parentWidget())
        pBar->setVisible(anyShown && m_combo.GetToolbarPosition() != Combo::TBPNone);
}

bool HistoryComboWidget::SetFlatToolbar(bool bFlat)
{
    if (bFlat == m_bFlat)
        return false;
    m_bFlat = bFlat;
    for (QToolButton* pButton : m_buttons)
        pButton->setAutoRaise(bFlat);
    return true;
}

void HistoryComboWidget::changeEvent(QEvent* pEvent)
{
    // The toolbar follows the box's enabled state.
    if (pEvent->type() == QEvent::EnabledChange) {
        m_combo.EnableWindow(isEnabled());
        Refresh();
    }
    QWidget::changeEvent(pEvent);
}

} // namespace shell::gui
