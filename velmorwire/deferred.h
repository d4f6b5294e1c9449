#ifndef VELMOR_DEFERRED_H
#define VELMOR_DEFERRED_H

#include "velmorwire_global.h"

#include <QExplicitlySharedDataPointer>
#include <QMetaType>
#include <QVariant>

class QObject;

namespace Velmor {

class DeferredPrivate;
class Error;

// A result that arrives later. Every copy shares one outcome; the producer fires it once with callback() or
// errback(). Receivers attached before the firing run when it fires, receivers attached after it run at once.
// Slots are given as SLOT() makes them: "1resultReady(QVariant)", "1errorReady(Error)".
class VELMORWIRE_EXPORT Deferred
{
public:
    Deferred();
    Deferred(const Deferred &other);
    Deferred &operator=(const Deferred &other);
    ~Deferred();

    // Both return this handle, which a receiver may have destroyed by then: chain on it only when none can.
    Deferred &callback(const QVariant &result);
    Deferred &errback(const Velmor::Error &error);

    void addCallback(QObject *receiver, const char *slot);
    void addErrback(QObject *receiver, const char *slot);

private:
    QExplicitlySharedDataPointer<DeferredPrivate> d;
};

// Registers the type as "Velmor::Deferred" with the alias "Deferred"; returns the type id.
VELMORWIRE_EXPORT int registerDeferredMetaType();

} // namespace Velmor

Q_DECLARE_METATYPE(Velmor::Deferred)

#endif // VELMOR_DEFERRED_H
