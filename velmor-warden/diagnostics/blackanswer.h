#ifndef VELMOR_DIAGNOSTICS_BLACKANSWER_H
#define VELMOR_DIAGNOSTICS_BLACKANSWER_H

#include "velmorwire/testresult.h"

#include <QByteArray>
#include <QHostAddress>
#include <QString>

struct BlackTestResult : TestResult
{
    // Where the query goes: where the computer's own queries go, set by the report before the check starts.
    QHostAddress dnsServer;
    quint16 dnsPort = 53;
    // What the filtering resolver says of the asker: the profile it applies, the address it sees and the token it
    // received; "None" for what the answer leaves out.
    QString p;
    QString ip;
    QString t;
};

// The TXT query name the filtering resolver answers with what it knows of the asker.
QByteArray blackQueryName();

// Judges the first datagram that came back for the query with that id: a well-formed response to it with exactly
// one TXT answer for the query name. Fills p, ip and t from the answer's JSON payload and appends the result line,
// or appends the reason and answers false.
bool readBlackAnswer(const QByteArray &datagram, quint16 queryId, BlackTestResult *result, QString *log);

#endif // VELMOR_DIAGNOSTICS_BLACKANSWER_H
