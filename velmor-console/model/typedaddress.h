#ifndef TYPEDADDRESS_H
#define TYPEDADDRESS_H

#include <QHostAddress>
#include <QString>

// An IPv4 address the user typed, read by the rule the service reads addresses with: four decimal groups of 0 to
// 255 without leading zeros. Blanks and an input mask's underscores are dropped first. A null address otherwise:
// Qt alone would read "010.0.0.1" as 8.0.0.1, which is not what the field shows.
QHostAddress typedIPv4Address(const QString &text);

#endif // TYPEDADDRESS_H
