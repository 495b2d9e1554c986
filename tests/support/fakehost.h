#pragma once

#include "host.h"

#include <QStringList>

#include <functional>

/// A host that records every call in order and answers message boxes from a script.
class FakeHost : public common::Host
{
public:
    struct Message
    {
        QString text;
        Icon icon;
        Buttons buttons;
    };

    QStringList events; ///< "panel2:Status: …", "progress:50", "compare:off", "busy:on", "yield", "message:…", …
    QList<Message> messages;
    QString panel1, panel2, clipboard;
    QList<Answer> answers; ///< answers to Abort/Retry/Ignore and Yes/No boxes, in order; else Ignore or No
    std::function<void()> onYield, onMessage;
    bool sofortStart = false, speed = false, binary = true, clipboardWorks = true, ended = false;
    bool stop = false; ///< the program is to end

    void setStatusPanel(int panel, const QString &text) override;
    void setProgress(double value) override { events << "progress:" + QString::number(value); }
    void setCompareCommandEnabled(bool on) override { events << (on ? "compare:on" : "compare:off"); }
    void setBusy(bool on) override { events << (on ? "busy:on" : "busy:off"); }
    void yield() override;
    bool stopRequested() const override { return stop; }
    Answer showMessage(const QString &text, Icon icon, Buttons buttons) override;
    QByteArray browseForFolder(const QString &) override { return {}; } // the window's tests choose folders
    bool setClipboardText(const QString &text) override;
    void selectCompareMode(bool binaryMode) override;
    void endProgramNow() override { events << "end", ended = true; }
    bool sofortStartChecked() const override { return sofortStart; }
    bool speedChecked() const override { return speed; }
    bool binaryModeSelected() const override { return binary; }

    /// The recorded events that start with prefix, without it.
    QStringList recorded(const QString &prefix) const;
    QStringList messageTexts() const;
};
