#ifndef VELMOR_CONSOLE_DOMAINPATTERN_H
#define VELMOR_CONSOLE_DOMAINPATTERN_H

class QString;

// The name as the service and DNS take it: an internationalised name in its ASCII form (IDNA), "пример.рф" as
// "xn--e1afmkfd.xn--p1ai". Empty, with the reason for the user in *problem, when the text is no name a resolver
// could look up: other characters than letters, digits, hyphens, underscores and dots, an empty label, a label
// over 63 characters or a name over 253.
QString asciiDomain(const QString &typed, QString *problem);

#endif // VELMOR_CONSOLE_DOMAINPATTERN_H
