#pragma once

#include "host.h"

#include <cstdio>

/// The core's host on a terminal: messages go to standard error with real line breaks, a progress line is
/// drawn only when standard error is a terminal, and nothing ever waits for an answer.
class CliHost : public common::Host
{
public:
    explicit CliHost(bool binaryMode);
    ~CliHost() override;

    /// A warning or error was shown: the run cannot vouch for a complete result.
    bool hadTrouble() const { return m_trouble; }

    void setStatusPanel(int panel, const QString &text) override;
    void setProgress(double value) override;
    void setCompareCommandEnabled(bool) override {}
    void setBusy(bool) override {}
    void yield() override {}
    /// Standard output failed: nothing more is done, above all no synchronisation.
    bool stopRequested() const override { return m_outputError != 0; }
    int outputError() const { return m_outputError; }
    Answer showMessage(const QString &text, Icon icon, Buttons buttons) override;
    QByteArray browseForFolder(const QString &) override { return {}; }
    /// The clipboard of a terminal is standard output, with plain line feeds.
    bool setClipboardText(const QString &text) override;
    void selectCompareMode(bool binary) override { m_binaryMode = binary; }
    void endProgramNow() override {}
    bool sofortStartChecked() const override { return false; }
    bool speedChecked() const override { return true; }
    bool binaryModeSelected() const override { return m_binaryMode; }

private:
    void drawProgress();
    void clearProgress();

    bool m_binaryMode;
    bool m_terminal;
    bool m_trouble = false;
    int m_outputError = 0;
    bool m_progressShown = false;
    int m_percent = -1;
    QString m_status;
};
