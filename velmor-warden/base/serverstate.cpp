#include "serverstate.h"

namespace Velmor {

ServerState::ServerState(QObject *parent)
    : QObject(parent)
{ }

ServerState::~ServerState() = default;

} // namespace Velmor
