#include "accountdatatypes.h"

#include "cabinetprofile.h"
#include "cabinetuserinfo.h"
#include "hostlist.h"

namespace Velmor {

void registerAccountDataTypes()
{
    registerCabinetProfilesMetaType();
    registerCabinetUserInfoMetaType();
    registerHostListConverter();
}

} // namespace Velmor
