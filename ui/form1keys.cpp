// The window's keys beyond its controls' own: F5 compares again, Escape stops what runs.

#include "form1.h"

#include <QRadioButton>
#include <QShortcut>

void Form1::createShortcuts()
{
    const auto shortcut = [this](Qt::Key key, void (Form1::*command)()) {
        auto *keys = new QShortcut(QKeySequence(key), this);
        keys->setContext(Qt::WindowShortcut);
        connect(keys, &QShortcut::activated, this, command);
    };
    shortcut(Qt::Key_F5, &Form1::CompareAgain);
    shortcut(Qt::Key_Escape, &Form1::StopOperation);
}

void Form1::CompareAgain()
{
    if (m_core.isBusy() || m_core.BatchMode() || m_core.LeftPath().isEmpty())
        return;
    // As the folder buttons would load them, without the automatic start: the comparison follows once.
    common::NativePath left = m_core.LeftPath(), right = m_core.RightPath();
    m_comparingAgain = true;
    bool toLeft = true;
    if (!right.isEmpty())
        m_core.PlanBothLoads(left, right);
    m_core.LoadFolder(left, toLeft);
    if (!right.isEmpty() && !m_core.stopRequested()) {
        toLeft = false;
        m_core.LoadFolder(right, toLeft);
        if (!m_core.stopRequested() && !m_core.RightPath().isEmpty())
            m_core.RunComparison(CompModeOpt[0]->isChecked());
    }
    m_comparingAgain = false;
}

void Form1::StopOperation()
{
    m_core.StopOperation();
}
