#ifndef VELMOR_CONSOLE_ERRORTEXT_H
#define VELMOR_CONSOLE_ERRORTEXT_H

#include <QString>

namespace Velmor {
class Error;
}

// The user's words for the error codes the service and the IPC link report, translated in the context
// "QObject"; empty for a code the desktop does not know.
QString errorCodeText(quint32 code);

// The code's text and the error's message, joined with ": " when both are there.
QString errorText(const Velmor::Error &error);

#endif // VELMOR_CONSOLE_ERRORTEXT_H
