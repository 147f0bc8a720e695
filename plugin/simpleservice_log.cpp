#include "simpleservice_log.h"

#include <sys/syscall.h>
#include <unistd.h>

namespace canservice {
namespace logging {

long threadId()
{
    // The kernel's id, so that a line can be matched with what top, perf or gdb show.
    thread_local const long id = static_cast<long>(::syscall(SYS_gettid));
    return id;
}

} // namespace logging
} // namespace canservice
