#include "service.h"

#include <sys/resource.h>

int main(int argc, char **argv)
{
    // Every descriptor the system allows: the DNS proxy needs sockets of its own whatever the desktop links hold.
    struct rlimit limit = {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
    Service service(argc, argv);
    return service.exec();
}
