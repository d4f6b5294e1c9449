// The changes of the account's settings that the account service has not taken yet: kept, in the store too, and
// sent again ahead of anything newer until a POST carrying them is answered.
#include "legacyhttpcabinet.h"

#include "jsoncache.h"

#include "velmorwire/jsonrpc.h"

#include <QSet>
#include <QVariantMap>
#include <QtDebug>

#include <algorithm>
#include <utility>

namespace Velmor {

namespace {

const char storedChanges[] = "unsentchanges";

// Only these are read back from the store: the notifications that change the account's settings.
bool isChangeMethod(const QByteArray &method)
{
    static const QSet<QByteArray> methods { "setFilterCat", "clearDomains", "removeDomain", "removeProfile",
        "setScheduleEnabled", "setSchedule", "setWhiteListOnly", "setSafeSearchEnabled" };
    return methods.contains(method);
}

// A setting's change replaces an earlier one of the same setting; removals and clearings are kept once.
QVariantList settingOf(const QByteArray &method, const QVariantList &params)
{
    if (method == "setFilterCat")
        return params.mid(0, 2);
    if (method.startsWith("set"))
        return params.mid(0, 1);
    return params;
}

// However many changes arrive while the account service is away, the kept ones stay within this.
const qsizetype mostUnsentChanges = 4096;

} // namespace

void LegacyHttpCabinet::notify(const char *method, const QVariantList &params)
{
    const QByteArray name(method);
    const QVariantList setting = settingOf(name, params);
    m_unsentChanges.removeIf([&name, &setting](const Change &change) {
        return change.method == name && settingOf(change.method, change.params) == setting;
    });
    if (m_unsentChanges.size() >= mostUnsentChanges) {
        qWarning("cabinet: %d changes are waiting for the account service; the oldest is dropped",
            int(m_unsentChanges.size()));
        m_unsentChanges.removeFirst();
    }
    resendChanges();
    m_queuedChanges.append({ ++m_changeSerial, QByteArray(method), params });
    m_jsonrpc->notify(method, params);
    saveChanges();
}

void LegacyHttpCabinet::resendChanges()
{
    const QList<Change> unsent = std::exchange(m_unsentChanges, {});
    for (const Change &change : unsent) {
        m_queuedChanges.append(change);
        m_jsonrpc->notify(change.method.constData(), change.params);
    }
}

void LegacyHttpCabinet::keepUnsent(const QList<Change> &changes)
{
    // POSTs end in any order; the account service must still see the changes in the order they were made.
    m_unsentChanges += changes;
    std::stable_sort(m_unsentChanges.begin(), m_unsentChanges.end(),
        [](const Change &a, const Change &b) { return a.serial < b.serial; });
}

void LegacyHttpCabinet::saveChanges()
{
    QList<Change> pending = m_unsentChanges + m_queuedChanges;
    for (const QList<Change> &posted : std::as_const(m_postedChanges))
        pending += posted;
    std::stable_sort(
        pending.begin(), pending.end(), [](const Change &a, const Change &b) { return a.serial < b.serial; });
    QVariantList document;
    document.reserve(pending.size());
    for (const Change &change : std::as_const(pending)) {
        document.append(QVariantMap { { QStringLiteral("method"), QString::fromLatin1(change.method) },
            { QStringLiteral("params"), change.params } });
    }
    m_store->put(storedChanges, document);
}

void LegacyHttpCabinet::loadChanges()
{
    const QVariantList document = m_store->get(storedChanges).toList();
    for (const QVariant &entry : document) {
        const QVariantMap change = entry.toMap();
        const QByteArray method = change.value(QStringLiteral("method")).toString().toLatin1();
        const QVariant params = change.value(QStringLiteral("params"));
        if (!isChangeMethod(method) || params.typeId() != QMetaType::QVariantList)
            continue;
        m_unsentChanges.append({ ++m_changeSerial, method, params.toList() });
    }
}

} // namespace Velmor
