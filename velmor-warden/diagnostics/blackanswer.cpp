#include "blackanswer.h"

#include "dns/packet.h"

#include "velmorwire/json.h"
#include "velmorwire/vendor.h"

#include <QVariantMap>

QByteArray blackQueryName()
{
    return QByteArray("black.") + Velmor::vendorDomain;
}

bool readBlackAnswer(const QByteArray &datagram, quint16 queryId, BlackTestResult *result, QString *log)
{
    using namespace Velmor::DNS;
    const Packet answer(datagram);
    if (!answer.isResponse() || !answer.isWellFormed()) {
        *log += QLatin1String("Answer is't correct dns response\n");
        return false;
    }
    if (answer.id() != queryId) {
        *log += QLatin1String("response id and request id are different\n");
        return false;
    }
    const QList<QSharedPointer<StandardRR>> answers = answer.answers();
    if (answers.size() != 1) {
        *log += QStringLiteral("multiple answers:%1\n").arg(answers.size());
        return false;
    }
    const StandardRR &record = *answers.first();
    const auto *txt = dynamic_cast<const TxtRR *>(&record);
    if (record.name != blackQueryName() || record.type != TextRecordType || !txt) {
        *log += QStringLiteral("incorrect query name or type in answer name:%1 type:%2\n")
                    .arg(QString::fromLatin1(record.name), QString::number(record.type));
        return false;
    }
    result->p = result->ip = result->t = QStringLiteral("None");
    // A record without character-strings carries no payload: the three fields stay "None".
    const QByteArray payload = txt->strings.isEmpty() ? QByteArray() : txt->strings.first();
    const QVariantMap map = Velmor::Json::parse(QString::fromLatin1(payload.constData())).toMap();
    if (map.contains(QLatin1String("p")))
        result->p = map.value(QLatin1String("p")).toString();
    if (map.contains(QLatin1String("ip")))
        result->ip = map.value(QLatin1String("ip")).toString();
    if (map.contains(QLatin1String("t")))
        result->t = map.value(QLatin1String("t")).toString();
    *log += QStringLiteral("black.%4 p:%1,ip%2, t:%3\n")
                .arg(result->p, result->ip, result->t, QLatin1String(Velmor::vendorDomain));
    return true;
}
