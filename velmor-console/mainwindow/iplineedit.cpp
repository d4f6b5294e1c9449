#include "iplineedit.h"

#include <QRegularExpression>
#include <QRegularExpressionValidator>

IPLineEdit::IPLineEdit(QWidget *parent)
    : QLineEdit(parent)
{
    const QString octet = QStringLiteral("(?:25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9]?[0-9])");
    const QString dot = QStringLiteral("\\.");
    const QRegularExpression address(
        QLatin1Char('^') + octet + dot + octet + dot + octet + dot + octet + QLatin1Char('$'));
    setValidator(new QRegularExpressionValidator(address, this));
}

IPLineEdit::~IPLineEdit() = default;
