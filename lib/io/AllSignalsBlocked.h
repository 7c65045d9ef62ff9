#ifndef WBK_ALL_SIGNALS_BLOCKED_H
#define WBK_ALL_SIGNALS_BLOCKED_H

#include <csignal>

// Blocks every signal in the calling thread while it lives. Threads started
// meanwhile inherit the mask and never take a signal, so the process's
// signals stay with the thread that started them.
class AllSignalsBlocked {
public:
    AllSignalsBlocked();
    ~AllSignalsBlocked();
    AllSignalsBlocked(const AllSignalsBlocked&) = delete;
    AllSignalsBlocked& operator=(const AllSignalsBlocked&) = delete;

private:
    sigset_t previous;
};

#endif
