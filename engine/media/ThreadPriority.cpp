#include "engine/media/ThreadPriority.h"

#include <pthread.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace media {

void NameThisThread(const char* name)
{
    pthread_setname_np(pthread_self(), name);
}

void LowerThisThread(const char* name, int nice)
{
    NameThisThread(name);
    // PRIO_PROCESS with a thread id sets that thread's nice value alone.
    setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), nice);
}

}  // namespace media
