// An in-process lock and its scoped holder, for data a few threads share briefly.
#pragma once

#include <windows.h>

class CriticalSection {
public:
    CriticalSection() { InitializeCriticalSection(&section_); }
    ~CriticalSection() { DeleteCriticalSection(&section_); }
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;

    void enter() { EnterCriticalSection(&section_); }
    void leave() { LeaveCriticalSection(&section_); }
    // Gives the lock up until `changed` is woken or `timeoutMs` passes, and takes it again; the
    // caller holds it.
    void sleep(CONDITION_VARIABLE& changed, unsigned timeoutMs) { SleepConditionVariableCS(&changed, &section_, timeoutMs); }

private:
    CRITICAL_SECTION section_;
};

class Locked {
public:
    explicit Locked(CriticalSection& section) : section_(section) { section_.enter(); }
    ~Locked() { section_.leave(); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

private:
    CriticalSection& section_;
};
