#pragma once

#include "AaxHostInterface.h"

// The seven entry points an AAX host calls on the library. Each catches
// anything thrown inside it and answers with errorUnexpectedFailure.
namespace tessaro::aax
{
    /** Fills the host's collection with the effect description. */
    Result ACFRegisterPlugin (Collection* collection, const std::function<bool (StemFormat)>& hostSupports);
    /** No further component: sets the out pointer to null. */
    Result ACFRegisterComponent (void** component);
    /** No class factory: sets the out pointer to null, answers errorUnimplemented. */
    Result ACFGetClassFactory (void** factory);
    /** The number of live library objects; zero means the library may go. */
    Result ACFCanUnloadNow();
    /** Keeps the host's services for the library's lifetime (wrapped once). */
    Result ACFStartup (HostServices* services);
    Result ACFShutdown();
    /** SDK version 2.3 in the upper 32 bits, revision 14017972 in the lower. */
    Result ACFGetSDKVersion (std::uint64_t* version);

    /** The services ACFStartup wrapped, or null. */
    HostServices* currentHostServices() noexcept;

    constexpr std::uint64_t sdkVersion = (std::uint64_t (0x0203) << 32) | 14017972u;
}
