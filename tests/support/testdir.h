#pragma once

#include "filesystem.h"

#include <QTemporaryDir>

/// A temporary folder tree built in one call per file, with contents and modification times.
class TestDir
{
public:
    /// Fixed time of files made without one: 16 December 2003, 14:05:09 UTC.
    static constexpr qint64 DefaultTime = 1071583509;

    TestDir();
    ~TestDir();
    /// The folder's path, without a trailing separator.
    common::NativePath path() const { return m_path; }
    common::NativePath path(const common::NativePath &relative) const { return m_path + '/' + relative; }

    /// Creates the file (and the folders on its way), or rewrites it in place, with content and modification
    /// time (to the nanosecond).
    void file(const common::NativePath &relative, const QByteArray &content = {},
              qint64 modified = DefaultTime, long ns = 0);
    void folder(const common::NativePath &relative);
    void link(const common::NativePath &relative, const common::NativePath &target);
    void remove(const common::NativePath &relative);

    /// Every file of the tree as "name:content", in name order, hidden ones too (a temporary file left behind
    /// shows); withFolders adds each folder and each link to one, not followed. Whatever cannot be read as a
    /// file shows as "name/"; FIFOs and devices are left out.
    QStringList contents(bool withFolders = false) const;

private:
    QTemporaryDir m_dir;
    common::NativePath m_path;
};

/// The data home of this test process (XDG_DATA_HOME, set before any test runs), beside the test folders and
/// so on their file system: what a synchronisation deletes goes to its trash, never the user's.
TestDir &DataHome();
