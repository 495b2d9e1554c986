#pragma once

#include "host.h"

class Form1;
class QWidget;

/// The core's Host in the interactive program: the status bar, progress bar, compare button, options and
/// dialogs of a Form1, the clipboard, the event loop and the program's end. Message boxes and the folder
/// dialog go through the window's showMessage and browseForFolder, where tests answer them.
class WindowHost : public common::Host
{
public:
    explicit WindowHost(Form1 &window);

    /// A modal message box over owner, titled with the program's name; a CR in text breaks the line.
    static Answer messageBox(QWidget *owner, const QString &text, Icon icon, Buttons buttons);
    /// The folder dialog over owner under a one-line title, open at start (the user's home folder where that
    /// is empty); the chosen folder's path, empty when cancelled.
    static QByteArray folderDialog(QWidget *owner, const QString &title, const QByteArray &start);

    /// The program's end was asked for ("&Ende", a close during an operation, the end of a batch run).
    bool hasEnded() const { return m_ended; }

    void setStatusPanel(int panel, const QString &text) override;
    void setProgress(double value) override;
    void setCompareCommandEnabled(bool enabled) override;
    void setBusy(bool busy) override;
    void yield() override;
    bool stopRequested() const override { return m_stopRequested; }
    Answer showMessage(const QString &text, Icon icon, Buttons buttons) override;
    QByteArray browseForFolder(const QString &title) override;
    bool setClipboardText(const QString &text) override;
    void selectCompareMode(bool binary) override;
    void endProgramNow() override;
    bool sofortStartChecked() const override;
    bool speedChecked() const override;
    bool binaryModeSelected() const override;

private:
    Form1 &m_window;
    bool m_ended = false;
    bool m_stopRequested = false;
};
