#ifndef VELMOR_SERVICESETTINGS_H
#define VELMOR_SERVICESETTINGS_H

#include <QString>

class QSettings;

// Copies every key and group of source's current group over destination's current group; a key whose value
// destination already holds is not written, so a store that already agrees stays untouched. Groups nested deeper
// than 64 levels below the current group are left out, and the result is then false.
bool copySettings(QSettings &source, QSettings &destination);

namespace Velmor {

// Readies the service's settings store at start: the "global" section of <directory>/service.ini wins over the
// stored values, every missing key gets its default, and the store is flushed. A store that cannot be read
// cleanly is left as it is, and the result is false with the reason in error.
bool prepareServiceSettings(const QString &directory, QString *error = nullptr);

} // namespace Velmor

#endif // VELMOR_SERVICESETTINGS_H
