#include "form1.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kalmora"));
    QApplication::setOrganizationName(QStringLiteral("Norvane Software"));
    QApplication::setApplicationVersion(QStringLiteral(KALMORA_VERSION));

    const auto fileSystem = common::createRealFileSystem();
    Form1 form(*fileSystem);
    form.Form_Load();
    if (form.hasEnded())
        return 0;
    return QApplication::exec();
}
