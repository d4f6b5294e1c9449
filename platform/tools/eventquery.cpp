#include "eventquery.h"

#include <QRegularExpression>

namespace Velmor {
namespace Platform {

namespace {

QRegularExpressionMatch matchAt(const QRegularExpression &pattern, const QString &text, qsizetype position)
{
    return pattern.match(
        text, position, QRegularExpression::NormalMatch, QRegularExpression::AnchorAtOffsetMatchOption);
}

} // namespace

bool EventQuery::parse(const QString &text)
{
    *this = EventQuery();
    const QString query = text.trimmed();
    if (query == QLatin1String("*"))
        return true;
    static const QRegularExpression system(QStringLiteral("^\\*\\[\\s*System\\s*\\[(.*)\\]\\s*\\]$"));
    const QRegularExpressionMatch outer = system.match(query);
    if (!outer.hasMatch())
        return false;
    const QString conditions = outer.captured(1);
    static const QRegularExpression conjunction(QStringLiteral("\\s*and\\s*"));
    qsizetype position = 0;
    for (;;) {
        if (!parseTerm(conditions, &position))
            return false;
        if (position == conditions.size())
            return true;
        const QRegularExpressionMatch next = matchAt(conjunction, conditions, position);
        if (!next.hasMatch())
            return false;
        position = next.capturedEnd();
    }
}

bool EventQuery::parseTerm(const QString &text, qsizetype *position)
{
    static const QRegularExpression provider(
        QStringLiteral("\\s*Provider\\s*\\[\\s*@Name\\s*=\\s*(?:'([^']*)'|\"([^\"]*)\")\\s*\\]\\s*"));
    static const QRegularExpression timeSpan(QStringLiteral(
        "\\s*TimeCreated\\s*\\[\\s*timediff\\s*\\(\\s*@SystemTime\\s*\\)\\s*<=\\s*([0-9]{1,15})\\s*\\]\\s*"));

    QRegularExpressionMatch match = matchAt(provider, text, *position);
    if (match.hasMatch() && !m_byProvider) {
        m_byProvider = true;
        m_provider = match.hasCaptured(1) ? match.captured(1) : match.captured(2);
        *position = match.capturedEnd();
        return true;
    }
    match = matchAt(timeSpan, text, *position);
    if (match.hasMatch() && m_maximumAgeMs < 0) {
        m_maximumAgeMs = match.captured(1).toLongLong();
        *position = match.capturedEnd();
        return true;
    }
    return false;
}

bool EventQuery::matches(const EventLog::Entry &entry, const QDateTime &now) const
{
    // Provider names compare without regard to case, as on Windows.
    if (m_byProvider && entry.source.compare(m_provider, Qt::CaseInsensitive) != 0)
        return false;
    return m_maximumAgeMs < 0 || entry.time.msecsTo(now) <= m_maximumAgeMs;
}

} // namespace Platform
} // namespace Velmor
