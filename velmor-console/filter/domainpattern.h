#ifndef VELMOR_CONSOLE_DOMAINPATTERN_H
#define VELMOR_CONSOLE_DOMAINPATTERN_H

class QObject;
class QValidator;

// Accepts a domain name as typed into the lists: dot-separated labels of 1 to 63 letters, digits, underscores
// or hyphens, letters of any script ("пример.рф" as well as "example.com").
QValidator *newDomainValidator(QObject *parent);

#endif // VELMOR_CONSOLE_DOMAINPATTERN_H
