// A Win32 critical section and a guard that holds it entered for the guard's lifetime.
#pragma once

#include <windows.h>

class xxCriticalSection {
public:
    xxCriticalSection() { InitializeCriticalSection(&section); }
    ~xxCriticalSection() { DeleteCriticalSection(&section); }
    xxCriticalSection(const xxCriticalSection&) = delete;
    xxCriticalSection& operator=(const xxCriticalSection&) = delete;

    void enter() { EnterCriticalSection(&section); }
    void leave() { LeaveCriticalSection(&section); }

private:
    CRITICAL_SECTION section;
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
