#ifndef VELMOR_NETWORKLOG_H
#define VELMOR_NETWORKLOG_H

#include <QLoggingCategory>

// Every change the network configuration starts to make to the machine (DNS values, saved servers, DNS client
// restarts), written just before it is made. Off unless enabled, e.g. with QT_LOGGING_RULES.
Q_DECLARE_LOGGING_CATEGORY(lcNetworkWrites)

#endif // VELMOR_NETWORKLOG_H
