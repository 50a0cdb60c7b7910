#include "tasks/thread_name.h"

#include "tasks/thread_pool.h"

#include <gtest/gtest.h>
#include <string>
#include <windows.h>

namespace {

using GetDescription = HRESULT(WINAPI*)(HANDLE thread, PWSTR* description);

std::wstring nameOfThisThread()
{
    const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    const auto get = reinterpret_cast<GetDescription>(reinterpret_cast<void*>(GetProcAddress(kernel, "GetThreadDescription")));
    PWSTR description = nullptr;
    if (!get || FAILED(get(GetCurrentThread(), &description)) || !description) return L"(unknown)";
    std::wstring name(description);
    LocalFree(description);
    return name;
}

DWORD WINAPI nameAndRead(void* result)
{
    nameThisThread(L"Piclade test thread \u540D");
    *static_cast<std::wstring*>(result) = nameOfThisThread();
    return 0;
}

void readPoolThreadName(intptr_t result, intptr_t done)
{
    *reinterpret_cast<std::wstring*>(result) = nameOfThisThread();
    SetEvent(reinterpret_cast<HANDLE>(done));
}

} // namespace

TEST(ThreadName, TheThreadCarriesTheNameWhereTheSystemCanName)
{
    std::wstring name;
    HANDLE thread = CreateThread(nullptr, 0, nameAndRead, &name, 0, nullptr);
    ASSERT_TRUE(thread);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    if (!canNameThreads()) GTEST_SKIP() << "this system has no SetThreadDescription";
    EXPECT_EQ(name, L"Piclade test thread \u540D");
}

TEST(ThreadName, PoolWorkersAreNamedForTheDownloads)
{
    if (!canNameThreads()) GTEST_SKIP() << "this system has no SetThreadDescription";
    std::wstring name;
    HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ThreadPool pool;
    ASSERT_TRUE(pool.start(1));
    ASSERT_TRUE(pool.submit(readPoolThreadName, reinterpret_cast<intptr_t>(&name), reinterpret_cast<intptr_t>(done)));
    EXPECT_EQ(WaitForSingleObject(done, 5000), WAIT_OBJECT_0);
    EXPECT_TRUE(pool.stop(1));
    CloseHandle(done);
    EXPECT_EQ(name, L"Piclade download worker");
}
