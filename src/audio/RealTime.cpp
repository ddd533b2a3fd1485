#include "RealTime.h"

#include <pthread.h>
#include <sched.h>

void RaiseThreadToRealTime() {
    sched_param parameters{};
    parameters.sched_priority = sched_get_priority_min(SCHED_RR);
    pthread_setschedparam(pthread_self(), SCHED_RR | SCHED_RESET_ON_FORK, &parameters);
}
