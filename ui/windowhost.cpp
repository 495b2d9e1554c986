#include "windowhost.h"
#include "form1.h"
#include "qzsammlung.h"

#include <QCheckBox>
#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>

WindowHost::WindowHost(Form1 &window) : m_window(window) {}

common::Host::Answer WindowHost::messageBox(QWidget *owner, const QString &text, Icon icon, Buttons buttons)
{
    QMessageBox box(owner);
    box.setWindowTitle(QString::fromLatin1(Form1::ProgramName));
    QString shown = text;
    box.setText(shown.replace(common::CR, QChar(10)));
    // A path in the text can be selected and copied.
    box.setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    box.setIcon(icon == Icon::Information ? QMessageBox::Information
                : icon == Icon::Warning   ? QMessageBox::Warning
                : icon == Icon::Critical  ? QMessageBox::Critical
                                          : QMessageBox::NoIcon);
    if (buttons == Buttons::AbortRetryIgnore) {
        box.setStandardButtons(QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore);
        box.setDefaultButton(QMessageBox::Retry);
        box.button(QMessageBox::Abort)->setText(QStringLiteral("&Abbrechen"));
        box.button(QMessageBox::Retry)->setText(QStringLiteral("&Wiederholen"));
        box.button(QMessageBox::Ignore)->setText(QStringLiteral("&Ignorieren"));
    } else if (buttons == Buttons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::No);
        box.button(QMessageBox::Yes)->setText(QStringLiteral("&Ja"));
        box.button(QMessageBox::No)->setText(QStringLiteral("&Nein"));
    } else {
        box.setStandardButtons(QMessageBox::Ok);
    }
    switch (box.exec()) {
    case QMessageBox::Abort: return Answer::Abort;
    case QMessageBox::Retry: return Answer::Retry;
    case QMessageBox::Ignore: return Answer::Ignore;
    case QMessageBox::Yes: return Answer::Yes;
    case QMessageBox::No: return Answer::No;
    default: return Answer::Ok;
    }
}

QByteArray WindowHost::folderDialog(QWidget *owner, const QString &title, const QByteArray &start)
{
    // A dialog's title is one line.
    return QFile::encodeName(
        QZSAMMLUNG::BrowseForFolder(owner, QString(title).replace(common::CR, u' '), QFile::decodeName(start)));
}

void WindowHost::setStatusPanel(int panel, const QString &text)
{
    m_window.SbarPanel[panel == 1 ? 0 : 1]->setText(text);
}

void WindowHost::setProgress(double value)
{
    m_window.Pbar->setValue(int(value));
}

void WindowHost::setCompareCommandEnabled(bool enabled)
{
    m_window.Btn(Form1::CompareBtn)->setEnabled(enabled);
}

void WindowHost::setBusy(bool busy)
{
    if (busy)
        m_window.setCursor(Qt::WaitCursor);
    else
        m_window.unsetCursor();
}

void WindowHost::yield()
{
    QCoreApplication::processEvents();
}

common::Host::Answer WindowHost::showMessage(const QString &text, Icon icon, Buttons buttons)
{
    return m_window.showMessage(text, icon, buttons);
}

QByteArray WindowHost::browseForFolder(const QString &title)
{
    return m_window.browseForFolder(title);
}

bool WindowHost::setClipboardText(const QString &text)
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(text);
    // A clipboard that another program holds, or none at all (no display server), keeps what it had.
    return clipboard->text() == text;
}

void WindowHost::selectCompareMode(bool binary)
{
    m_window.SelectCompareMode(binary ? 0 : 1);
}

void WindowHost::endProgramNow()
{
    // Leaving the event loop skips the close event, and with it every closing step of the window. A long
    // operation under way stops at its next pause, never in the middle of a file operation, before the
    // loop is left.
    m_ended = true;
    m_stopRequested = true;
    QCoreApplication::exit(0);
}

bool WindowHost::sofortStartChecked() const
{
    return m_window.SofortStartCheck->isChecked() && !m_window.comparingAgain();
}

bool WindowHost::speedChecked() const
{
    return m_window.SpeedCheck->isChecked();
}

bool WindowHost::binaryModeSelected() const
{
    return m_window.CompModeOpt[0]->isChecked();
}
