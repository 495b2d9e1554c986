#include "fakehost.h"

void FakeHost::setStatusPanel(int panel, const QString &text)
{
    if (panel == 1) {
        panel1 = text;
        countHistory.append(text);
    } else {
        panel2 = text;
        statusHistory.append(text);
    }
}

void FakeHost::yield()
{
    ++yields;
    if (onYield)
        onYield();
}

common::Host::Answer FakeHost::showMessage(const QString &text, Icon icon, Buttons buttons)
{
    messages.append({text, icon, buttons});
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
    statusHistory.clear();
    countHistory.clear();
    progress.clear();
    compareEnabled.clear();
    busy.clear();
    messages.clear();
    yields = 0;
}
