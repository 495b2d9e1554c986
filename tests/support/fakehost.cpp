#include "fakehost.h"

void FakeHost::setStatusPanel(int panel, const QString &text)
{
    events.append(QStringLiteral("panel%1:%2").arg(panel).arg(text));
    if (panel == 1) {
        panel1 = text;
        countHistory.append(text);
    } else {
        panel2 = text;
        statusHistory.append(text);
    }
}

void FakeHost::setProgress(double value)
{
    events.append(QStringLiteral("progress:") + QString::number(value));
    progress.append(value);
}

void FakeHost::setCompareCommandEnabled(bool enabled)
{
    events.append(enabled ? QStringLiteral("compare:on") : QStringLiteral("compare:off"));
    compareEnabled.append(enabled);
}

void FakeHost::setBusy(bool on)
{
    events.append(on ? QStringLiteral("busy:on") : QStringLiteral("busy:off"));
    busy.append(on);
}

void FakeHost::yield()
{
    events.append(QStringLiteral("yield"));
    ++yields;
    if (onYield)
        onYield();
}

common::Host::Answer FakeHost::showMessage(const QString &text, Icon icon, Buttons buttons)
{
    events.append(QStringLiteral("message:") + text.section(QChar(13), 0, 0));
    messages.append({text, icon, buttons});
    if (onMessage)
        onMessage();
    if (buttons == Buttons::Ok)
        return Answer::Ok;
    return answers.isEmpty() ? Answer::Ignore : answers.takeFirst();
}

QStringList FakeHost::messageTexts() const
{
    QStringList texts;
    for (const Message &m : messages)
        texts.append(m.text);
    return texts;
}

void FakeHost::clearRecords()
{
    events.clear();
    statusHistory.clear();
    countHistory.clear();
    progress.clear();
    compareEnabled.clear();
    busy.clear();
    messages.clear();
    yields = 0;
}

bool FakeHost::setClipboardText(const QString &text)
{
    events.append(QStringLiteral("clipboard"));
    if (clipboardWorks)
        clipboard = text;
    return clipboardWorks;
}

void FakeHost::selectCompareMode(bool binaryMode)
{
    events.append(binaryMode ? QStringLiteral("mode:binary") : QStringLiteral("mode:age"));
    binary = binaryMode;
}

QByteArray FakeHost::browseForFolder(const QString &title)
{
    folderDialogTitles.append(title);
    return chosenFolder;
}
