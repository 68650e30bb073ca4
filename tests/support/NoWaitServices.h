#pragma once

#include "services/ReferenceServices.h"

#include <memory>

// The bundled reference services with no server-requested waits, started
// on first use and kept until the test program ends. Port() is 0 when they
// could not start (Error() says why).
inline ReferenceServices& NoWaitServices()
{
    static const std::unique_ptr<ReferenceServices> services = [] {
        ReferenceServiceOptions options;
        options.waitSeconds = 0;
        auto started = std::make_unique<ReferenceServices>(options);
        started->Start();
        return started;
    }();
    return *services;
}
