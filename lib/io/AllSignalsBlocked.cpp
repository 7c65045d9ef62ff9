#include "AllSignalsBlocked.h"

#include <pthread.h>

AllSignalsBlocked::AllSignalsBlocked()
{
    sigset_t all;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &previous);
}

AllSignalsBlocked::~AllSignalsBlocked()
{
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}
