#include "corefixture.h"

void CoreFixture::pair(const common::NativePath &name, const QByteArray &left, const QByteArray &right,
                       qint64 rightTime, qint64 leftTime)
{
    this->left.file(name, left, leftTime);
    this->right.file(name, right, rightTime);
}

void CoreFixture::loadBoth()
{
    load(left.path(), true);
    load(right.path(), false);
    host.events.clear();
    host.messages.clear();
}

QStringList CoreFixture::rows() const
{
    QStringList out;
    for (int i = 0; i < list.count(); ++i) {
        const common::Row &r = list.row(i);
        out << QString::fromUtf8(r.leftName) + '|' + common::MarkerText(r.marker) + '|' + QString::fromUtf8(r.rightName);
    }
    return out;
}

int CoreFixture::rowOf(const common::NativePath &leftName) const
{
    for (int i = 0; i < list.count(); ++i)
        if (list.row(i).leftName == leftName)
            return i;
    return -1;
}
