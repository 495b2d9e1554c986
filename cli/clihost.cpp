#include "clihost.h"

#include <QByteArray>

#include <cerrno>

#ifdef Q_OS_WIN
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

CliHost::CliHost(bool binaryMode) : m_binaryMode(binaryMode), m_terminal(isatty(fileno(stderr)) != 0) {}

CliHost::~CliHost()
{
    clearProgress();
}

void CliHost::setStatusPanel(int panel, const QString &text)
{
    if (panel != 2 || text == m_status)
        return;
    m_status = text;
    drawProgress();
}

void CliHost::setProgress(double value)
{
    const int percent = int(value);
    if (percent == m_percent)
        return;
    m_percent = percent;
    drawProgress();
}

void CliHost::drawProgress()
{
    if (!m_terminal)
        return;
    // An idle bar (0) is no progress line.
    if (m_percent <= 0) {
        clearProgress();
        return;
    }
    std::fprintf(stderr, "\r\033[K%s %3d %%", m_status.toUtf8().constData(), m_percent);
    std::fflush(stderr);
    m_progressShown = true;
}

void CliHost::clearProgress()
{
    if (m_progressShown) {
        std::fputs("\r\033[K", stderr);
        m_progressShown = false;
    }
}

bool CliHost::setClipboardText(const QString &text)
{
    clearProgress();
    QByteArray bytes = text.toUtf8();
    bytes.replace("\r\n", "\n");
    const bool written = std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout) == size_t(bytes.size()) &&
                         std::fflush(stdout) == 0;
    if (!written) {
        m_trouble = true;
        m_outputError = errno ? errno : EIO;
    }
    return written;
}

common::Host::Answer CliHost::showMessage(const QString &text, Icon icon, Buttons buttons)
{
    clearProgress();
    QString shown = text;
    shown.replace(common::CR, QChar(10));
    if (!shown.endsWith(QChar(10)))
        shown += QChar(10);
    std::fputs(shown.toUtf8().constData(), stderr);
    std::fflush(stderr);
    if (icon == Icon::Warning || icon == Icon::Critical)
        m_trouble = true;
    // Nobody can answer here: a failure is passed over and stays on the list.
    return buttons == Buttons::AbortRetryIgnore ? Answer::Ignore : buttons == Buttons::YesNo ? Answer::No : Answer::Ok;
}
