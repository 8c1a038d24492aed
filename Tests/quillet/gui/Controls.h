#pragma once
// Finding a dialog's controls by their ids and working them as a user does.
#include "quillet/gui/QtText.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QTest>

namespace quillettest {

template <typename W>
W* Control(QWidget* parent, UINT id)
{
    W* w = parent->findChild<W*>(quillet::gui::IdName(id));
    EXPECT_NE(w, nullptr) << id;
    return w;
}

inline void Click(QWidget* button) { QTest::mouseClick(button, Qt::LeftButton); }

// A double click as a user makes it: the press before it selects what it lands on.
inline void DoubleClick(QWidget* viewport, QPoint at)
{
    QTest::mouseClick(viewport, Qt::LeftButton, {}, at);
    QTest::mouseDClick(viewport, Qt::LeftButton, {}, at);
}

// A click on the box itself: a check box answers only on its box and label.
inline void Toggle(QCheckBox* box) { QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2)); }

} // namespace quillettest
