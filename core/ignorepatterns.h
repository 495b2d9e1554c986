#pragma once

#include "filesystem.h"

#include <QString>
#include <QStringList>

#include <string>
#include <string_view>
#include <vector>

namespace common {

/// The file in the root of a loaded folder whose patterns leave entries out of the comparison.
constexpr char IgnoreFileName[] = ".kalmoraignore";
/// A larger ignore file is no list of patterns and is not read.
constexpr qint64 MaxIgnoreFileSize = 1 << 20;

/// Patterns that leave entries of a tree out, written as in a .gitignore file: one a line, "#" starts a
/// comment, "!" takes an entry back in, a trailing "/" matches folders only, a "/" at the start or inside
/// anchors a pattern to the root (without one it matches a name at any depth), "*", "?", "[…]" and "**"
/// match as git reads them, a backslash escapes. The last pattern that matches an entry decides. Letter
/// case is ignored as it is when names are paired. Const members may be called from several threads.
class IgnorePatterns
{
public:
    /// Adds the patterns of an ignore file's text after those held.
    void addLines(const QString &text);
    /// Adds one line.
    void add(const QString &line);
    /// Adds the patterns of other after those held.
    void add(const IgnorePatterns &other);
    bool isEmpty() const { return m_patterns.empty(); }
    /// Whether a pattern takes entries back in ("!").
    bool takesBack() const;
    bool operator==(const IgnorePatterns &other) const { return m_lines == other.m_lines; }
    bool operator!=(const IgnorePatterns &other) const { return !(*this == other); }

    /// Whether the entry named relative (its path within the tree without a trailing separator, its own name
    /// starting at nameStart) is left out, the folders on its way taken as in.
    bool excludes(const NativePath &relative, qsizetype nameStart, bool folder) const;
    /// Whether the file relative, or a folder on its way, is left out.
    bool excludesPath(const NativePath &relative) const;

private:
    /// How a pattern is matched: the common shapes without a glob, or a glob on the name or the whole path.
    enum class Shape { Name, NameSuffix, NameGlob, Path, PathGlob };
    struct Pattern
    {
        std::string text; ///< case-folded UTF-8; a NameSuffix without its leading "*"
        std::string tail; ///< what a match ends with: a glob's literal end, which most names fail at once
        Shape shape;
        bool negated;
        bool foldersOnly;
    };
    /// The entry path (a match key, its own name from nameStart on) as the last pattern matching it says.
    bool decide(std::string_view path, size_t nameStart, bool folder) const;

    std::vector<Pattern> m_patterns;
    QStringList m_lines; ///< as given, for comparing two sets
};

/// Reads the ignore file of folder (a path ending in the separator) into patterns. A missing file is no
/// problem; one that cannot be read, or that is larger than MaxIgnoreFileSize, adds nothing: the text says
/// so. Empty where all went well.
QString ReadIgnoreFile(FileSystem &fs, const NativePath &folder, IgnorePatterns &patterns);

} // namespace common
