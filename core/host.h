#pragma once

#include <QString>

namespace common {

/// The line break of the texts the core hands to its host.
constexpr QChar CR(u'\r');

/// Everything the core needs of the program around it: the window in interactive use, the terminal in the
/// command-line front end, a recording fake in tests. Texts use CR alone as line break.
class Host
{
public:
    enum class Icon { None, Information, Warning, Critical };
    enum class Buttons { Ok, AbortRetryIgnore, YesNo };
    enum class Answer { Ok, Abort, Retry, Ignore, Yes, No };

    virtual ~Host() = default;

    /// Shows text in status panel 1 (row count) or 2 (program status), as given.
    virtual void setStatusPanel(int panel, const QString &text) = 0;
    /// Sets the progress bar, 0 to 100.
    virtual void setProgress(double value) = 0;
    /// Switches the compare command on or off.
    virtual void setCompareCommandEnabled(bool enabled) = 0;
    /// Shows or hides the busy (hourglass) pointer.
    virtual void setBusy(bool busy) = 0;
    /// Runs pending window events once.
    virtual void yield() = 0;
    /// The program is to end (the window was closed, "&Ende" clicked, the output failed): a long operation
    /// stops at its next yield, never in the middle of a file operation, and a batch run before its next step.
    virtual bool stopRequested() const = 0;
    /// Shows a modal message titled with the program's name and returns the button chosen (YesNo: No is the
    /// default).
    virtual Answer showMessage(const QString &text, Icon icon, Buttons buttons) = 0;
    /// Lets the user pick a folder under the given title; empty when cancelled.
    virtual QByteArray browseForFolder(const QString &title) = 0;
    /// Replaces the clipboard's content by plain text; false when the clipboard cannot be written.
    virtual bool setClipboardText(const QString &text) = 0;
    /// Selects the comparison mode as a click on its option button would (CompModeOpt(0) binary, (1) age).
    virtual void selectCompareMode(bool binary) = 0;
    /// Ends the program at once, without the window's closing steps.
    virtual void endProgramNow() = 0;

    /// SofortStartCheck is ticked: filling the right column starts the comparison.
    virtual bool sofortStartChecked() const = 0;
    /// SpeedCheck is ticked: the long loops do not yield.
    virtual bool speedChecked() const = 0;
    /// CompModeOpt(0), the binary comparison, is the selected mode (else the age comparison).
    virtual bool binaryModeSelected() const = 0;
};

} // namespace common
