#ifndef VELMOR_METHODNAMES_H
#define VELMOR_METHODNAMES_H

// The method names of the desktop link, as they go over the wire. The link hands a message to the receiver's slot of
// the same name and parameter count, so a name spelled differently on one side is a message silently dropped (a
// notification) or answered "method not found" (a call): both sides take their names from here. A few names are
// the same in both directions; each direction has its own namespace.

namespace Velmor {

// The service's methods: the slots of IPCRequestHandler, called or notified by the desktop.
namespace DesktopCall {
inline constexpr char setSetting[] = "setSetting";
inline constexpr char setLocalDnsAddress[] = "setLocalDnsAddress";
inline constexpr char setNetworkProtection[] = "setNetworkProtection";
inline constexpr char registerUser[] = "registerUser";
inline constexpr char unlockSettings[] = "unlockSettings";
inline constexpr char setCredentials[] = "setCredentials";
inline constexpr char setTokensEnabled[] = "setTokensEnabled";
inline constexpr char setSettingsProtection[] = "setSettingsProtection";
inline constexpr char setGlobalFiltering[] = "setGlobalFiltering";
inline constexpr char setProfile[] = "setProfile";
inline constexpr char addProfile[] = "addProfile";
inline constexpr char removeProfile[] = "removeProfile";
inline constexpr char systemInfo[] = "systemInfo";
inline constexpr char categories[] = "categories";
inline constexpr char userFilter[] = "userFilter";
inline constexpr char domains[] = "domains";
inline constexpr char clearDomains[] = "clearDomains";
inline constexpr char setFilterCat[] = "setFilterCat";
inline constexpr char addDomain[] = "addDomain";
inline constexpr char removeDomain[] = "removeDomain";
inline constexpr char schedule[] = "schedule";
inline constexpr char setScheduleEnabled[] = "setScheduleEnabled";
inline constexpr char setSchedule[] = "setSchedule";
inline constexpr char setWhiteListOnly[] = "setWhiteListOnly";
inline constexpr char setSafeSearchEnabled[] = "setSafeSearchEnabled";
inline constexpr char updateProfiles[] = "updateProfiles";
inline constexpr char updateUserInfo[] = "updateUserInfo";
} // namespace DesktopCall

// The desktop's methods: the slots of its RequestHandler, notified by the service.
namespace ServicePush {
inline constexpr char setSettings[] = "setSettings";
inline constexpr char setSystemInfo[] = "setSystemInfo";
inline constexpr char setCategories[] = "setCategories";
inline constexpr char setIdentification[] = "setIdentification";
inline constexpr char setIdentificationError[] = "setIdentificationError";
inline constexpr char setCredentials[] = "setCredentials";
inline constexpr char setUserInfo[] = "setUserInfo";
inline constexpr char setProfiles[] = "setProfiles";
inline constexpr char setSelectedProfile[] = "setSelectedProfile";
inline constexpr char setProfileScheduleActivity[] = "setProfileScheduleActivity";
inline constexpr char setNetworks[] = "setNetworks";
inline constexpr char setSettingsLocked[] = "setSettingsLocked";
inline constexpr char setGlobalFiltering[] = "setGlobalFiltering";
inline constexpr char setNetworkProtection[] = "setNetworkProtection";
inline constexpr char setUserFilter[] = "setUserFilter";
inline constexpr char setDomains[] = "setDomains";
} // namespace ServicePush

} // namespace Velmor

#endif // VELMOR_METHODNAMES_H
