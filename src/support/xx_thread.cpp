#include "support/xx_thread.h"

#include <process.h>

#include "support/handles.h"
#include "support/xx_critical_section.h"

// How many runs are going on, and an event that is set while none is.
struct xxThread::RunCount {
    RunCount() : idle(CreateEventA(nullptr, TRUE, TRUE, nullptr)) {}

    void begin()
    {
        xxScopedLock hold(&lock);
        if (++active == 1) ResetEvent(idle.get());
    }
    void end()
    {
        xxScopedLock hold(&lock);
        if (--active == 0) SetEvent(idle.get());
    }

    xxCriticalSection lock;
    long active = 0;
    glintor::UniqueHandle idle;
};

// What one run owns: its copy of the callback and a share of the count.
struct xxThread::Run {
    std::unique_ptr<xxCallbackBase<void*>> callback;
    std::shared_ptr<RunCount> count;
};

xxThread::xxThread() : thread_id(0), runs(std::make_shared<RunCount>()) {}

xxThread::~xxThread() = default;

void xxThread::set_callback(const xxCallbackBase<void*>& new_callback)
{
    callback.reset(new_callback.clone());
}

bool xxThread::start()
{
    handle.reset();
    auto run = std::make_unique<Run>();
    if (callback) run->callback.reset(callback->clone());
    run->count = runs;
    runs->begin();
    uintptr_t begun = _beginthreadex(nullptr, 0, &xxThread::thread_entry, run.get(), 0, &thread_id);
    if (begun == 0) {
        runs->end();  // the run never started; its record goes with `run`
        return false;
    }
    run.release();  // the thread owns it now
    handle.reset(reinterpret_cast<HANDLE>(begun));
    return true;
}

bool xxThread::wait(DWORD milliseconds)
{
    if (!handle) return true;
    return WaitForSingleObject(handle.get(), milliseconds == 0 ? INFINITE : milliseconds) == WAIT_OBJECT_0;
}

bool xxThread::running() const
{
    return handle && WaitForSingleObject(handle.get(), 0) == WAIT_TIMEOUT;
}

bool xxThread::wait_for_runs(DWORD milliseconds)
{
    const DWORD start_tick = GetTickCount();
    HANDLE idle = runs->idle.get();
    for (;;) {
        DWORD remaining = INFINITE;
        if (milliseconds != 0) {
            DWORD elapsed = GetTickCount() - start_tick;
            if (elapsed >= milliseconds) return WaitForSingleObject(idle, 0) == WAIT_OBJECT_0;
            remaining = milliseconds - elapsed;
        }
        DWORD result = MsgWaitForMultipleObjects(1, &idle, FALSE, remaining, QS_SENDMESSAGE);
        if (result == WAIT_OBJECT_0) return true;
        if (result != WAIT_OBJECT_0 + 1) return false;
        // Peeking handles the messages sent to this thread; nothing is removed from the queue.
        MSG message;
        PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

unsigned __stdcall xxThread::thread_entry(void* argument)
{
    {
        std::unique_ptr<Run> run(static_cast<Run*>(argument));
        if (run->callback) run->callback->call(nullptr);
        run->count->end();
    }
    _endthreadex(0);
    return 0;
}
