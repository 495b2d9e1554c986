// Times a synchronisation that deletes: loads two folders, runs the age comparison, marks every file found on
// the right only "X->" and every other row "][", and carries that out as the window would with SpeedCheck.
// Prints the seconds of the synchronisation alone, how many files it was to delete, and the rows left.
//
// usage: kalmora-delete-bench LEFT RIGHT

#include "core.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>

namespace {

// A host that shows nothing and answers every question with Ignore.
class QuietHost : public common::Host
{
public:
    void setStatusPanel(int, const QString &) override {}
    void setProgress(double) override {}
    void setCompareCommandEnabled(bool) override {}
    void setBusy(bool) override {}
    void yield() override {}
    bool stopRequested() const override { return false; }
    Answer showMessage(const QString &text, Icon, Buttons) override
    {
        std::fprintf(stderr, "%s\n", qPrintable(QString(text).replace(common::CR, u'\n')));
        return Answer::Ignore;
    }
    QByteArray browseForFolder(const QString &) override { return {}; }
    bool setClipboardText(const QString &) override { return true; }
    void selectCompareMode(bool) override {}
    void endProgramNow() override {}
    bool sofortStartChecked() const override { return false; }
    bool speedChecked() const override { return true; }
    bool binaryModeSelected() const override { return false; }
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: kalmora-delete-bench LEFT RIGHT\n");
        return 2;
    }
    QuietHost host;
    const auto fileSystem = common::createRealFileSystem();
    common::Core core(host, *fileSystem);
    common::NativePath left(argv[1]), right(argv[2]);
    bool toLeft = true;
    core.LoadFolder(left, toLeft);
    toLeft = false;
    core.LoadFolder(right, toLeft);
    core.RunComparison(false);
    common::ComparisonList &list = core.list();
    int deletes = 0; // (every handled row leaves the list, the skipped ones too)
    for (int i = 0; i < list.count(); ++i) {
        const bool rightOnly = list.row(i).leftName.isEmpty();
        list.setMarker(i, rightOnly ? common::Marker::DeleteRight : common::Marker::Skip);
        deletes += rightOnly;
    }
    QElapsedTimer timer;
    timer.start();
    core.RunSynchronisation();
    std::printf("%.4f s, %d to delete, %d rows left\n", timer.nsecsElapsed() / 1e9, deletes, list.count());
    return list.count() == 0 ? 0 : 1;
}
