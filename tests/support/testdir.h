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

    /// Creates the file (and the folders on its way) with content and modification time.
    void file(const common::NativePath &relative, const QByteArray &content = {}, qint64 modified = DefaultTime);
    void folder(const common::NativePath &relative);
    void link(const common::NativePath &relative, const common::NativePath &target);
    void remove(const common::NativePath &relative);

private:
    QTemporaryDir m_dir;
    common::NativePath m_path;
};
