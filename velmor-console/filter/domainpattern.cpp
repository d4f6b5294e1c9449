#include "domainpattern.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QUrl>

namespace {

QString refused(QString *problem, const QString &why)
{
    if (problem)
        *problem = why;
    return QString();
}

// The limits of DNS, in the name's ASCII form.
QString lengthProblem(const QString &name)
{
    if (name.size() > 253)
        return QCoreApplication::translate(
            "DomainPattern", "A domain name has at most 253 characters; this one has %1.")
            .arg(name.size());
    const QStringList labels = name.split(QLatin1Char('.'));
    for (const QString &label : labels) {
        if (label.size() > 63)
            return QCoreApplication::translate(
                "DomainPattern", "Each part of a domain name between dots has at most 63 characters.");
    }
    return QString();
}

QString notAName(const QString &typed)
{
    return QCoreApplication::translate("DomainPattern",
        "\"%1\" is not a domain name: it may hold letters, digits, hyphens and dots, with something between the "
        "dots.")
        .arg(typed);
}

} // namespace

QString asciiDomain(const QString &typed, QString *problem)
{
    if (typed.isEmpty())
        return refused(problem, notAName(typed));
    // Told before the conversion, which gives up on over-long labels without saying why.
    QString why = lengthProblem(typed);
    if (!why.isEmpty())
        return refused(problem, why);
    static const QRegularExpression ascii(QStringLiteral("^[A-Za-z0-9_\\-]+(?:\\.[A-Za-z0-9_\\-]+)*$"));
    const QString name = QString::fromLatin1(QUrl::toAce(typed));
    if (name.isEmpty() || !ascii.match(name).hasMatch())
        return refused(problem, notAName(typed));
    why = lengthProblem(name);
    if (!why.isEmpty())
        return refused(problem, why);
    if (problem)
        problem->clear();
    return name;
}
