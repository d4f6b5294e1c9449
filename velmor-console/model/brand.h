#ifndef VELMOR_CONSOLE_BRAND_H
#define VELMOR_CONSOLE_BRAND_H

#include <QString>

class QTranslator;

// The translator of the brand's own texts ("brand.qm" beside the program). It is not installed: callers ask
// it directly, and without the file every lookup is empty. Created once, a child of the application.
QTranslator *brandTranslator();

// The folder of the program file, read once.
QString applicationDir();

#endif // VELMOR_CONSOLE_BRAND_H
