// A Win32 critical section and a guard that holds it entered for the guard's lifetime.
#pragma once

#include <windows.h>

#include <cstdio>

class xxCriticalSection {
public:
    // The exit code of a process that entered a section after its destruction.
    static constexpr UINT kUsedAfterDestructionExitCode = 0xdead;

    xxCriticalSection() : state(kAlive) { InitializeCriticalSection(&section); }
    ~xxCriticalSection()
    {
        DeleteCriticalSection(&section);
        // A volatile store: the optimiser may not drop it as a dead store of an ending object,
        // so a late enter() still finds the mark while the memory holds it.
        state = kDestroyed;
    }
    xxCriticalSection(const xxCriticalSection&) = delete;
    xxCriticalSection& operator=(const xxCriticalSection&) = delete;

    void enter()
    {
        // Entering a deleted section is undefined on Windows and can hang; Wine lets it pass.
        // Stop at once, loudly, instead of working on with objects that are gone.
        if (state != kAlive) used_after_destruction();
        EnterCriticalSection(&section);
    }
    void leave() { LeaveCriticalSection(&section); }

private:
    static constexpr LONG kAlive = 0x4c6f636b;      // "Lock"
    static constexpr LONG kDestroyed = 0x44656164;  // "Dead"

    [[noreturn]] static void used_after_destruction()
    {
        static const char message[] = "Glintor: a lock was entered after it was destroyed\n";
        std::fputs(message, stderr);
        std::fflush(stderr);
        OutputDebugStringA(message);
        TerminateProcess(GetCurrentProcess(), kUsedAfterDestructionExitCode);
        for (;;) Sleep(INFINITE);
    }

    CRITICAL_SECTION section;
    volatile LONG state;
};

class xxScopedLock {
public:
    explicit xxScopedLock(xxCriticalSection* section) : section(section) { section->enter(); }
    ~xxScopedLock() { section->leave(); }
    xxScopedLock(const xxScopedLock&) = delete;
    xxScopedLock& operator=(const xxScopedLock&) = delete;

private:
    xxCriticalSection* section;
};
