// A restartable thread object: each start begins one thread that runs the stored callback once.
#pragma once

#include <windows.h>

#include <memory>

#include "support/handles.h"
#include "support/xx_callback.h"

class xxThread {
public:
    xxThread();
    virtual ~xxThread();
    xxThread(const xxThread&) = delete;
    xxThread& operator=(const xxThread&) = delete;

    // Keeps a copy of the callback for the next starts; the previous copy is freed.
    void set_callback(const xxCallbackBase<void*>& new_callback);
    // Begins a thread that runs the callback once. The run gets a copy of its own, so a later
    // set_callback or start never frees what a run still uses. False when no thread could be
    // begun: the callback does not run then.
    bool start();
    // Waits for the thread of the last start; 0 means no limit. True when it has ended (or
    // there is none).
    bool wait(DWORD milliseconds);
    // Whether the thread of the last start is still running.
    bool running() const;
    // The identifier of the thread of the last start.
    DWORD id() const { return thread_id; }
    // Waits for every run begun and not yet ended, up to the limit (0: none). Messages sent to
    // the calling thread's windows are handled meanwhile, so a run that sends to them (the
    // clipboard does) cannot deadlock the wait. True when no run is left.
    bool wait_for_runs(DWORD milliseconds);

    // The function every begun thread runs; its argument is the run's own record.
    static unsigned __stdcall thread_entry(void* run);

private:
    struct RunCount;
    struct Run;

    std::unique_ptr<xxCallbackBase<void*>> callback;
    glintor::UniqueHandle handle;  // the thread of the last start
    unsigned thread_id;
    std::shared_ptr<RunCount> runs;  // shared with the runs, so it outlives this object if need be
};
