#include "form1.h"
#include "qzsammlung.h"
#include "standarddescriptors.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>

int main(int argc, char *argv[])
{
    // Before anything opens a file, so that no file takes the number of a closed standard descriptor.
    common::ReserveStandardDescriptors();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kalmora"));
    QApplication::setOrganizationName(QStringLiteral("Norvane Software"));
    QApplication::setApplicationVersion(QStringLiteral(KALMORA_VERSION));
    QApplication::setWindowIcon(QZSAMMLUNG::ProgramIcon()); // message boxes and dialogs too

    // The program speaks German whatever the desktop's language: Qt's own dialogs and buttons too.
    QTranslator qtTexts;
    if (qtTexts.load(QStringLiteral("qtbase_de"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTexts);
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));

    const auto fileSystem = common::createRealFileSystem();
    Form1 form(*fileSystem);
    form.Form_Load(QApplication::arguments().mid(1));
    if (form.hasEnded())
        return 0;
    return QApplication::exec();
}
