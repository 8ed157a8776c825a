// Walks over the widgets a record holds: the title and the body widgets of every kind.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <QTableView>
#include <QTimeEdit>

#include "Ctrl.h"

// The body widgets in creation order across the kinds; missing ones are skipped.
template <class F> void ForEachBodyWidget(const CCtrl& c, F&& f) {
    QWidget* const body[] = {c.m_pButton,  c.m_pMomentary,  c.m_pCheck,      c.m_pValueText,
                             c.m_pBar,     c.m_pEdit,       c.m_pMinus,      c.m_pPlus,
                             c.m_pSlider,  c.m_pDatePicker, c.m_pTimePicker, c.m_pDropList,
                             c.m_pListBox, c.m_pChart,      c.m_pTable};
    for (QWidget* w : body)
        if (w) f(w);
}

template <class F> void ForEachWidget(const CCtrl& c, F&& f) {
    if (c.m_pTitle) f(static_cast<QWidget*>(c.m_pTitle));
    ForEachBodyWidget(c, f);
}
