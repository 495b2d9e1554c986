#pragma once

#include "host.h"

#include <QList>
#include <QStringList>

#include <functional>

/// A host that records what the core shows and answers message boxes from a script.
class FakeHost : public common::Host
{
public:
    struct Message
    {
        QString text;
        Icon icon;
        Buttons buttons;
    };

    QString panel1;
    QString panel2;
    QStringList events;        ///< every call in order: "panel2:text", "progress:50", "compare:off", ...
    QStringList statusHistory; ///< every text written to panel 2, empty ones included
    QStringList countHistory;  ///< every text written to panel 1
    QList<double> progress;
    QList<bool> compareEnabled;
    QList<bool> busy;
    QList<Message> messages;
    QList<Answer> answers; ///< taken in order for Abort/Retry/Ignore boxes; Ignore when none is left
    QByteArray chosenFolder; ///< what the folder dialog returns
    QStringList folderDialogTitles;
    int yields = 0;
    std::function<void()> onYield;
    std::function<void()> onMessage; ///< runs when a message is shown, before it is answered

    QString clipboard;
    bool clipboardWorks = true;
    bool ended = false;
    bool sofortStart = false;
    bool speed = false;
    bool binary = true;

    void setStatusPanel(int panel, const QString &text) override;
    void setProgress(double value) override;
    void setCompareCommandEnabled(bool enabled) override;
    void setBusy(bool on) override;
    void yield() override;
    Answer showMessage(const QString &text, Icon icon, Buttons buttons) override;
    QByteArray browseForFolder(const QString &title) override;
    bool setClipboardText(const QString &text) override;
    void selectCompareMode(bool binaryMode) override;
    void endProgramNow() override { events.append(QStringLiteral("end")), ended = true; }
    bool sofortStartChecked() const override { return sofortStart; }
    bool speedChecked() const override { return speed; }
    bool binaryModeSelected() const override { return binary; }

    QStringList messageTexts() const;
    void clearRecords();
};
