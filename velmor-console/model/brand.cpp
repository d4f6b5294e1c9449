#include "brand.h"

#include <QCoreApplication>
#include <QPointer>
#include <QTranslator>

QTranslator *brandTranslator()
{
    // Guarded, so a test that builds a second application object gets a fresh translator, not a dangling one.
    static QPointer<QTranslator> translator;
    if (!translator) {
        translator = new QTranslator(QCoreApplication::instance());
        (void)translator->load(applicationDir() + QLatin1String("/brand"));
    }
    return translator;
}

QString applicationDir()
{
    static QString dir;
    if (dir.isEmpty())
        dir = QCoreApplication::applicationDirPath();
    return dir;
}
