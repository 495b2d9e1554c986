// What the ignore files and the command line leave out of the loaded folders.

#include "core.h"

#include "folderlister.h"
#include "names.h"

namespace common {

void Core::PlanBothLoads(const NativePath &left, const NativePath &right)
{
    m_planned.left = WithTrailingBackslash(left);
    m_planned.right = WithTrailingBackslash(right);
    for (auto [folder, patterns] : {std::pair(&m_planned.left, &m_planned.leftFile),
                                    std::pair(&m_planned.right, &m_planned.rightFile)}) {
        *patterns = IgnorePatterns();
        if (const QString problem = ReadIgnoreFile(m_fs, *folder, *patterns); !problem.isEmpty())
            message(problem, Host::Icon::Warning);
    }
    auto both = std::make_shared<IgnorePatterns>(m_planned.leftFile);
    both->add(m_planned.rightFile);
    both->add(m_exclusions);
    m_ignoring = std::move(both);
    m_listedAheadPath = m_planned.right;
    m_listedAhead = std::make_unique<FolderLister>(m_fs, m_listedAheadPath, m_ignoring, ReadingAhead::ForLater);
    m_listedAhead->ahead(m_listedAheadPath);
}

bool Core::leftMustLoadAgain(const NativePath &right)
{
    const NativePath folder = WithTrailingBackslash(right);
    if (m_left.path.isEmpty() || (m_planned.left == m_left.path && m_planned.right == folder))
        return false; // its file was in effect for the left load
    IgnorePatterns rightFile;
    if (const QString problem = ReadIgnoreFile(m_fs, folder, rightFile); !problem.isEmpty())
        message(problem, Host::Icon::Warning);
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
    if (!m_planned.left.isEmpty()) {
        loaded.ignoreFile = toLeft ? m_planned.leftFile : m_planned.rightFile;
    } else if (const QString problem = ReadIgnoreFile(m_fs, folder, loaded.ignoreFile); !problem.isEmpty()) {
        message(problem, Host::Icon::Warning);
    }
    IgnorePatterns both = m_left.ignoreFile;
    both.add(toLeft ? m_planned.rightFile : m_right.ignoreFile);
    both.add(m_exclusions);
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
