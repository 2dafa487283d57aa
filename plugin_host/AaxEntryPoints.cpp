#include "AaxEntryPoints.h"
#include "AaxEffectDescription.h"
#include "AaxEffectInstance.h"

#include <memory>

namespace tessaro::aax
{
    namespace
    {
        /** The library's own wrapper around the host's services, made once. */
        struct HostServicesHolder
        {
            explicit HostServicesHolder (HostServices* s) : services (s) {}
            HostServices* services;
        };

        std::unique_ptr<HostServicesHolder> hostServices;

        template <typename Body>
        Result guarded (Body&& body) noexcept
        {
            try
            {
                return body();
            }
            catch (...)
            {
                return errorUnexpectedFailure;
            }
        }
    }

    Result ACFRegisterPlugin (Collection* collection, const std::function<bool (StemFormat)>& hostSupports)
    {
        return guarded ([&] {
            if (collection == nullptr)
                return errorNullObject;
            return AaxEffectDescription::describe (*collection, hostSupports);
        });
    }

    Result ACFRegisterComponent (void** component)
    {
        return guarded ([&] {
            if (component != nullptr)
                *component = nullptr;
            return success;
        });
    }

    Result ACFGetClassFactory (void** factory)
    {
        return guarded ([&] {
            if (factory != nullptr)
                *factory = nullptr;
            return errorUnimplemented;
        });
    }

    Result ACFCanUnloadNow()
    {
        return guarded ([] { return (Result) AaxEffectInstance::liveInstances(); });
    }

    Result ACFStartup (HostServices* services)
    {
        return guarded ([&] {
            if (hostServices == nullptr)
                hostServices = std::make_unique<HostServicesHolder> (services);
            return success;
        });
    }

    Result ACFShutdown()
    {
        return guarded ([] {
            hostServices.reset();
            return success;
        });
    }

    Result ACFGetSDKVersion (std::uint64_t* version)
    {
        return guarded ([&] {
            if (version == nullptr)
                return errorNullObject;
            *version = sdkVersion;
            return success;
        });
    }

    HostServices* currentHostServices() noexcept
    {
        return hostServices != nullptr ? hostServices->services : nullptr;
    }
}
