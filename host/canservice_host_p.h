#pragma once

#include "canservice_host_export.h"

// What only this project's own tests reach inside the host library: declared in headers that are
// not installed, and exported only from a build that has the tests. A head-unit project sees
// neither the declarations nor, in a build without tests, the symbols.
#ifdef CANSERVICE_HOST_BUILD_TESTS
#    define CANSERVICE_HOST_AUTOTEST_EXPORT CANSERVICE_HOST_EXPORT
#else
#    define CANSERVICE_HOST_AUTOTEST_EXPORT
#endif
