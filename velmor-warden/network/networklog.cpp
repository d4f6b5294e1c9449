#include "networklog.h"

Q_LOGGING_CATEGORY(lcNetworkWrites, "velmor.network.writes", QtInfoMsg)
