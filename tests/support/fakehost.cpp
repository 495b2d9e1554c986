#include "fakehost.h"

void FakeHost::setStatusPanel(int panel, const QString &text)
{
    events << QStringLiteral("panel%1:%2").arg(panel).arg(text);
    (panel == 1 ? panel1 : panel2) = text;
}

void FakeHost::yield()
{
    events << "yield";
    if (onYield)
        onYield();
}

common::Host::Answer FakeHost::showMessage(const QString &text, Icon icon, Buttons buttons)
{
    events << "message:" + text.section(QChar(13), 0, 0);
    messages.append({text, icon, buttons});
    if (onMessage)
        onMessage();
    if (buttons == Buttons::Ok)
        return Answer::Ok;
    if (answers.isEmpty())
        return buttons == Buttons::YesNo ? Answer::No : Answer::Ignore;
    return answers.takeFirst();
}

bool FakeHost::setClipboardText(const QString &text)
{
    events << "clipboard";
    if (clipboardWorks)
        clipboard = text;
    return clipboardWorks;
}

void FakeHost::selectCompareMode(bool binaryMode)
{
    events << (binaryMode ? "mode:binary" : "mode:age");
    binary = binaryMode;
}

QStringList FakeHost::recorded(const QString &prefix) const
{
    QStringList found;
    for (const QString &e : events)
        if (e.startsWith(prefix))
            found << e.mid(prefix.size());
    return found;
}

QStringList FakeHost::messageTexts() const
{
    QStringList texts;
    for (const Message &m : messages)
        texts << m.text;
    return texts;
}
