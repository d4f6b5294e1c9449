#ifndef VELMOR_JSONRPCPARAMETER_P_H
#define VELMOR_JSONRPCPARAMETER_P_H

#include <QMetaType>
#include <QVariant>

namespace Velmor {

// Converts a decoded JSON value to a method parameter's declared type when that loses nothing: integers in
// range, integral doubles, strings, bools, lists, maps, and the converters that types register. A slot must
// never be invoked with a value of another type, so false means the call is refused.
bool convertJsonRPCParameter(const QVariant &value, QMetaType type, QVariant *converted);

} // namespace Velmor

#endif // VELMOR_JSONRPCPARAMETER_P_H
