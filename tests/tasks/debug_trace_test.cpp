#include "tasks/debug_trace.h"

#include <gtest/gtest.h>
#include <string>
#include <windows.h>

namespace {

#ifndef DBG_PRINTEXCEPTION_WIDE_C
#define DBG_PRINTEXCEPTION_WIDE_C 0x4001000A
#endif

// OutputDebugString raises an exception a debugger would take; a vectored handler sees it first
// and keeps the text. The wide form comes first where the system has one, the narrow one after.
std::wstring gCaught;

LONG CALLBACK catchDebugText(EXCEPTION_POINTERS* pointers)
{
    const EXCEPTION_RECORD& record = *pointers->ExceptionRecord;
    if (record.NumberParameters >= 2 && gCaught.empty()) {
        const auto length = static_cast<size_t>(record.ExceptionInformation[0]);
        if (record.ExceptionCode == DBG_PRINTEXCEPTION_WIDE_C) {
            gCaught.assign(reinterpret_cast<const wchar_t*>(record.ExceptionInformation[1]), length);
        } else if (record.ExceptionCode == DBG_PRINTEXCEPTION_C) {
            const std::string narrow(reinterpret_cast<const char*>(record.ExceptionInformation[1]), length);
            gCaught.assign(narrow.begin(), narrow.end());  // the tests below write ASCII only
        }
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

template <typename Write>
std::wstring caughtLine(Write write)
{
    gCaught.clear();
    void* handler = AddVectoredExceptionHandler(1, catchDebugText);
    write();
    RemoveVectoredExceptionHandler(handler);
    while (!gCaught.empty() && gCaught.back() == L'\0') gCaught.pop_back();  // the narrow length counts the end
    return gCaught;
}

} // namespace

TEST(DebugTrace, AFailureSaysWhereAndWhy)
{
    EXPECT_EQ(caughtLine([] { traceFailure(L"Sending the request", 12029); }),
              L"Piclade: Sending the request failed, error 12029\n");
}

TEST(DebugTrace, FormatsLikeSwprintf)
{
    EXPECT_EQ(caughtLine([] { trace(L"read %lu of %ls", 7ul, L"100 bytes"); }), L"Piclade: read 7 of 100 bytes\n");
}

TEST(DebugTrace, ALongLineIsCutAndStillEnds)
{
    const std::wstring longText(2000, L'x');
    const std::wstring line = caughtLine([&] { trace(L"%ls", longText.c_str()); });
    EXPECT_EQ(line, L"Piclade: " + std::wstring(500, L'x') + L"\n");
}
