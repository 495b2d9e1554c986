// What the ignore files and the command line leave out of the loaded folders.

#include "core.h"

#include "folderlister.h"
#include "names.h"

namespace common {

IgnorePatterns Core::readIgnoreFile(const NativePath &folder)
{
    IgnorePatterns patterns;
    if (const QString problem = ReadIgnoreFile(m_fs, folder, patterns); !problem.isEmpty())
        message(problem, Host::Icon::Warning);
    return patterns;
}

IgnorePatterns Core::inEffect(const IgnorePatterns &leftFile, const IgnorePatterns &rightFile) const
{
    IgnorePatterns both = leftFile;
    both.add(rightFile);
    both.add(m_exclusions);
    return both;
}

void Core::PlanBothLoads(const NativePath &left, const NativePath &right)
{
    m_planned.left = WithTrailingBackslash(left);
    m_planned.right = WithTrailingBackslash(right);
    m_planned.leftFile = readIgnoreFile(m_planned.left);
    m_planned.rightFile = readIgnoreFile(m_planned.right);
    m_ignoring = std::make_shared<const IgnorePatterns>(inEffect(m_planned.leftFile, m_planned.rightFile));
    m_listedAheadPath = m_planned.right;
    m_listedAhead = std::make_unique<FolderLister>(m_fs, m_listedAheadPath, m_ignoring, ReadingAhead::ForLater);
    m_listedAhead->ahead(m_listedAheadPath);
}

bool Core::leftMustLoadAgain(const NativePath &right)
{
    const NativePath folder = WithTrailingBackslash(right);
    if (m_left.path.isEmpty() || (m_planned.left == m_left.path && m_planned.right == folder))
        return false; // its file was in effect for the left load
    IgnorePatterns rightFile = readIgnoreFile(folder);
    // Rows are taken off for the patterns of a new right file, but what the left load left out is not there
    // to be taken back.
    if (rightFile.takesBack() || (!m_rightFileAtLeftLoad.isEmpty() && rightFile != m_rightFileAtLeftLoad)) {
        PlanBothLoads(m_left.path, folder);
        return true;
    }
    m_planned = {m_left.path, folder, m_left.ignoreFile, std::move(rightFile)};
    return false;
}

void Core::takeUpIgnoreFiles(const NativePath &folder, bool toLeft)
{
    // A plan holds for its left load and the right load after it.
    if (folder != (toLeft ? m_planned.left : m_planned.right) || (!toLeft && m_left.path != m_planned.left))
        m_planned = {};
    LoadedFolder &loaded = toLeft ? m_left : m_right;
    if (!m_planned.left.isEmpty())
        loaded.ignoreFile = toLeft ? m_planned.leftFile : m_planned.rightFile;
    else
        loaded.ignoreFile = readIgnoreFile(folder);
    IgnorePatterns both = inEffect(m_left.ignoreFile, toLeft ? m_planned.rightFile : m_right.ignoreFile);
    if (toLeft) {
        m_leftOut.clear();
        m_rightFileAtLeftLoad = m_planned.rightFile;
    } else {
        m_planned = {};
        // The rows an earlier right folder's patterns took off come back, and the new patterns decide.
        m_list.appendRows(m_leftOut);
        if (m_right.ignoreFile != m_rightFileAtLeftLoad)
            m_leftOut = m_list.takeRowsIf([&](const Row &row) { return both.excludesPath(row.leftName); });
    }
    m_ignoring = std::make_shared<const IgnorePatterns>(std::move(both));
}

} // namespace common
