#pragma once

#include "core.h"
#include "fakehost.h"
#include "faultyfilesystem.h"
#include "testdir.h"

/// A core on a recording host and a fault-injecting file system, with a left and a right test folder.
struct CoreFixture
{
    TestDir left, right;
    FakeHost host;
    FaultyFileSystem fs;
    common::Core core{host, fs};
    common::ComparisonList &list = core.list();

    /// The same name on both sides, with each side's content and time.
    void pair(const common::NativePath &name, const QByteArray &left, const QByteArray &right,
              qint64 rightTime = TestDir::DefaultTime, qint64 leftTime = TestDir::DefaultTime);
    void load(common::NativePath folder, bool toLeft) { core.LoadFolder(folder, toLeft); }
    /// Loads left, then right, and forgets what the host recorded so far.
    void loadBoth();
    /// The rows as "left|marker|right", in list order.
    QStringList rows() const;
    /// Position of the first row with that left name, or -1.
    int rowOf(const common::NativePath &leftName) const;
};
