// The window's modal dialogs: its message boxes and the folder dialog.

#include "form1.h"

Form1::Answer Form1::showMessage(const QString &text, Icon icon, Buttons buttons)
{
    return WindowHost::messageBox(this, text, icon, buttons);
}

QByteArray Form1::browseForFolder(const QString &title)
{
    return WindowHost::folderDialog(this, title, m_folderButtonLeft ? m_core.LeftPath() : m_core.RightPath());
}
