#pragma once

#include "filesystem.h"

#include <QString>

#include <vector>

namespace common {

/// The path with the folder separator appended unless it already ends in one.
NativePath WithTrailingBackslash(NativePath path);

/// The program's own folder, ending in the separator.
NativePath AppFolder();

/// A native name as text for the user; bytes that are not UTF-8 show as replacement characters.
QString DisplayName(const NativePath &name);

/// A key under which names that differ only in letter case (umlauts included) are equal, while names
/// that differ in any other byte stay distinct, also where a name is not valid UTF-8. Keys are compared
/// and hashed with the functions below, which fold ASCII letters as they go: so an ASCII name is its own
/// key, and the common case costs no copy.
QByteArray FoldedName(const NativePath &name);
/// A key under which names order as German readers expect (DIN 5007, variant 1): letter case ignored,
/// umlauts and other accented letters with their base letter, ß as ss. Compared with CompareFolded, so an
/// ASCII name is its own key; a name that is not UTF-8 is its FoldedName.
QByteArray CollationKey(const NativePath &name);
/// Whether name is its own CollationKey (and FoldedName): it is plain ASCII.
bool IsOwnKey(const NativePath &name);
/// name's CollationKey without a copy: a view of the name where it is its own key, else of a key made and
/// kept in made. For sorting many names: a copy counts a reference in the name's block and gives it back.
inline QByteArrayView CollationKeyView(const NativePath &name, std::vector<QByteArray> &made)
{
    return IsOwnKey(name) ? QByteArrayView(name) : QByteArrayView(made.emplace_back(CollationKey(name)));
}
/// Orders two keys of FoldedName or CollationKey: negative, 0 or positive.
int CompareFolded(QByteArrayView a, QByteArrayView b);

/// Asks for the bytes of name ahead of their use. The names of a list lie in blocks of their own across
/// the heap: a walk over a million of them waits for memory at every one unless it asks for the ones
/// some steps ahead while it works on the current one.
inline void Prefetch(const NativePath &name)
{
    __builtin_prefetch(name.constData());
}
/// How many steps ahead a walk over names asks for them.
constexpr size_t PrefetchDistance = 16;
size_t HashFolded(const QByteArray &key);

} // namespace common
