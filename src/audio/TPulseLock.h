#pragma once

#include <pulse/thread-mainloop.h>

// Holds a threaded mainloop's lock for its scope: the only way the program takes that lock.
// Not for the mainloop's own thread, whose callbacks run with the lock held already.
class TPulseLock {
public:
    explicit TPulseLock(pa_threaded_mainloop* mainloop) : FMainloop(mainloop) {
        pa_threaded_mainloop_lock(FMainloop);
    }
    ~TPulseLock() { pa_threaded_mainloop_unlock(FMainloop); }
    TPulseLock(const TPulseLock&) = delete;
    TPulseLock& operator=(const TPulseLock&) = delete;

private:
    pa_threaded_mainloop* FMainloop;
};
