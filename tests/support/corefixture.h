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

    void load(const common::NativePath &folder, bool toLeft);
    /// Loads left, then right, and forgets what the host recorded so far.
    void loadBoth();
    /// The rows as "left|marker|right", in list order.
    QStringList rows() const;
    /// Position of the first row with that left name, or -1.
    int rowOf(const common::NativePath &leftName) const;
};
