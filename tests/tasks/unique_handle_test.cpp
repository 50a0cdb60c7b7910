// The kernel, file and COM memory owners: each handle is closed exactly once, by whoever holds it
// last, and a file's empty value is INVALID_HANDLE_VALUE.
#include "tasks/unique_handle.h"

#include <gtest/gtest.h>
#include <utility>

namespace {

bool isOpen(HANDLE handle)
{
    DWORD flags = 0;
    return GetHandleInformation(handle, &flags) != 0;
}

// A second handle on a fresh event, so closing it can be observed without touching a value that
// the process may hand out again (the first handle keeps the object and its slot in use).
struct EventPair {
    UniqueHandle original{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    HANDLE duplicate()
    {
        HANDLE copy = nullptr;
        DuplicateHandle(GetCurrentProcess(), original.get(), GetCurrentProcess(), &copy, 0, FALSE, DUPLICATE_SAME_ACCESS);
        return copy;
    }
};

} // namespace

TEST(UniqueHandle, ClosesOnceWhenTheLastOwnerGoes)
{
    EventPair events;
    const HANDLE raw = events.duplicate();
    ASSERT_TRUE(isOpen(raw));
    {
        UniqueHandle first(raw);
        UniqueHandle second(std::move(first));
        EXPECT_FALSE(first);
        EXPECT_EQ(first.get(), nullptr);
        EXPECT_EQ(second.get(), raw);
        EXPECT_TRUE(isOpen(raw));  // the move closed nothing
        UniqueHandle third;
        third = std::move(second);
        EXPECT_FALSE(second);
        EXPECT_TRUE(isOpen(raw));
    }
    EXPECT_FALSE(isOpen(raw));
    EXPECT_TRUE(isOpen(events.original.get()));
}

TEST(UniqueHandle, ResetClosesTheOldHandleAndKeepsTheNew)
{
    EventPair events;
    const HANDLE old = events.duplicate();
    const HANDLE fresh = events.duplicate();
    UniqueHandle holder(old);
    holder.reset(fresh);
    EXPECT_FALSE(isOpen(old));
    EXPECT_TRUE(isOpen(fresh));
    holder.reset(fresh);  // taking the held handle again must not close it
    EXPECT_TRUE(isOpen(fresh));
    holder.reset();
    EXPECT_FALSE(isOpen(fresh));
    EXPECT_FALSE(holder);
}

TEST(UniqueHandle, ReleaseGivesTheHandleUpOpen)
{
    EventPair events;
    const HANDLE raw = events.duplicate();
    HANDLE taken = nullptr;
    {
        UniqueHandle holder(raw);
        taken = holder.release();
        EXPECT_FALSE(holder);
    }
    EXPECT_EQ(taken, raw);
    EXPECT_TRUE(isOpen(taken));
    CloseHandle(taken);
}

TEST(UniqueHandle, MovingOntoAHolderClosesWhatItHeld)
{
    EventPair events;
    const HANDLE kept = events.duplicate();
    const HANDLE replaced = events.duplicate();
    UniqueHandle source(kept);
    UniqueHandle target(replaced);
    target = std::move(source);
    EXPECT_FALSE(isOpen(replaced));
    EXPECT_TRUE(isOpen(kept));
    EXPECT_EQ(target.get(), kept);
}

TEST(UniqueFile, EmptyIsInvalidHandleValue)
{
    UniqueFile none;
    EXPECT_EQ(none.get(), INVALID_HANDLE_VALUE);
    EXPECT_FALSE(none);
    // What CreateFile answers on failure counts as empty, and null would not.
    UniqueFile failed(CreateFileW(L"Z:\\no\\such\\folder\\file.txt", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_FALSE(failed);
    EXPECT_EQ(failed.release(), INVALID_HANDLE_VALUE);
}

TEST(UniqueFile, ClosesTheFileSoItCanBeDeleted)
{
    wchar_t folder[MAX_PATH] = {};
    wchar_t path[MAX_PATH] = {};
    ASSERT_NE(GetTempPathW(MAX_PATH, folder), 0u);
    ASSERT_NE(GetTempFileNameW(folder, L"uh", 0, path), 0u);
    {
        UniqueFile file(CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        ASSERT_TRUE(file);
        UniqueFile moved(std::move(file));
        EXPECT_EQ(file.get(), INVALID_HANDLE_VALUE);  // the source is empty in the file sense
        // Opened without sharing: nobody else gets in while the holder has it.
        UniqueFile second(CreateFileW(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        EXPECT_FALSE(second);
    }
    UniqueFile reopened(CreateFileW(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_TRUE(reopened);
    reopened.reset();
    EXPECT_TRUE(DeleteFileW(path));
}

TEST(UniqueCoTaskMem, MovesAndFreesTheBlock)
{
    void* block = CoTaskMemAlloc(64);
    ASSERT_NE(block, nullptr);
    UniqueCoTaskMem first(block);
    UniqueCoTaskMem second(std::move(first));
    EXPECT_EQ(first.get(), nullptr);
    EXPECT_EQ(second.get(), block);
    second.reset();
    EXPECT_FALSE(second);
}
