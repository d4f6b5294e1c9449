#include "deferred.h"

#include "deferred_p.h"
#include "wirevalue_p.h"

#include <QMetaMethod>

namespace Velmor {

namespace {

// Invokes receiver's slot (given as SLOT() writes it) at once with one argument.
template<typename T>
void invokeNow(QObject *receiver, const char *slot, const char *typeName, const T &value)
{
    const QByteArray signature = QMetaObject::normalizedSignature(slot + 1);
    const int index = receiver->metaObject()->indexOfSlot(signature.constData());
    if (index < 0) {
        qWarning("failed to find slot %s", slot);
        return;
    }
    const QMetaMethod method = receiver->metaObject()->method(index);
    // The argument is passed by address; only a slot declared with exactly this type may receive it.
    if (method.parameterCount() != 1 || method.parameterTypes().constFirst() != typeName) {
        qWarning("failed to find slot %s", slot);
        return;
    }
    method.invoke(receiver, Qt::DirectConnection, QGenericArgument(typeName, &value));
}

} // namespace

DeferredPrivate::DeferredPrivate() = default;

Deferred::Deferred()
    : d(new DeferredPrivate)
{ }

Deferred::Deferred(const Deferred &other) = default;

Deferred &Deferred::operator=(const Deferred &other) = default;

Deferred::~Deferred() = default;

// A receiver may destroy whatever holds this handle: a request deletes its adapter, and the adapter's handle with
// it. So firing and attaching work on a handle and values of their own until the receivers have run.
Deferred &Deferred::callback(const QVariant &result)
{
    const Deferred self(*this);
    const QVariant value(result);
    self.d->m_result = value;
    Q_EMIT self.d->callback(value);
    self.d->m_fired = true;
    return *this;
}

Deferred &Deferred::errback(const Error &error)
{
    const Deferred self(*this);
    const Error value(error.code(), error.message());
    self.d->m_error = value;
    self.d->m_failed = true;
    Q_EMIT self.d->errback(value);
    self.d->m_fired = true;
    return *this;
}

void Deferred::addCallback(QObject *receiver, const char *slot)
{
    if (!receiver || !slot || !*slot)
        return;
    const Deferred self(*this);
    if (!self.d->m_fired) {
        QObject::connect(self.d.data(), SIGNAL(callback(QVariant)), receiver, slot);
        return;
    }
    if (self.d->m_failed)
        return;
    const QVariant value = self.d->m_result;
    invokeNow(receiver, slot, "QVariant", value);
}

void Deferred::addErrback(QObject *receiver, const char *slot)
{
    if (!receiver || !slot || !*slot)
        return;
    const Deferred self(*this);
    if (!self.d->m_fired) {
        QObject::connect(self.d.data(), SIGNAL(errback(Error)), receiver, slot);
        return;
    }
    if (!self.d->m_failed)
        return;
    const Error value = self.d->m_error;
    invokeNow(receiver, slot, "Error", value);
}

int registerDeferredMetaType()
{
    return Internal::registerMetaTypeAlias<Deferred>("Deferred");
}

} // namespace Velmor
