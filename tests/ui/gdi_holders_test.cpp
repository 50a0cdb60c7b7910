// The GDI, icon, cursor and item-list owners: each object is deleted once, by its last owner,
// and a selected object is swapped back out of its device context.
#include "ui/gdi_holders.h"

#include <gtest/gtest.h>
#include <utility>

namespace {

bool isGdiObject(HGDIOBJ object) { return GetObjectType(object) != 0; }

bool isIcon(HICON icon)
{
    ICONINFO info{};
    if (!GetIconInfo(icon, &info)) return false;
    const UniqueBitmap colour(info.hbmColor);
    const UniqueBitmap mask(info.hbmMask);
    return true;
}

} // namespace

TEST(GdiHolders, MoveLeavesTheSourceEmptyAndDeletesOnce)
{
    const HBITMAP raw = CreateBitmap(4, 4, 1, 32, nullptr);
    ASSERT_TRUE(isGdiObject(raw));
    {
        UniqueBitmap first(raw);
        UniqueBitmap second(std::move(first));
        EXPECT_FALSE(first);
        EXPECT_EQ(second.get(), raw);
        EXPECT_TRUE(isGdiObject(raw));
    }
    EXPECT_FALSE(isGdiObject(raw));
}

TEST(GdiHolders, ResetDeletesTheOldObject)
{
    UniqueBrush brush(CreateSolidBrush(RGB(1, 2, 3)));
    const HBRUSH old = brush.get();
    brush.reset(CreateSolidBrush(RGB(4, 5, 6)));
    EXPECT_FALSE(isGdiObject(old));
    EXPECT_TRUE(isGdiObject(brush.get()));
    const HBRUSH kept = brush.release();
    EXPECT_TRUE(isGdiObject(kept));
    DeleteObject(kept);
}

TEST(GdiHolders, TheSelectGuardPutsThePreviousObjectBack)
{
    const UniqueDc dc(CreateCompatibleDC(nullptr));
    ASSERT_TRUE(dc);
    const HGDIOBJ original = GetCurrentObject(dc.get(), OBJ_BITMAP);
    const UniqueBitmap bitmap(CreateCompatibleBitmap(dc.get(), 8, 8));
    {
        const SelectedObject selected(dc.get(), bitmap.get());
        EXPECT_TRUE(selected);
        EXPECT_EQ(GetCurrentObject(dc.get(), OBJ_BITMAP), bitmap.get());
    }
    EXPECT_EQ(GetCurrentObject(dc.get(), OBJ_BITMAP), original);
    const SelectedObject nothing(dc.get(), nullptr);
    EXPECT_FALSE(nothing);
}

TEST(GdiHolders, MemoryDcsAndWindowDcsGoBackTheirOwnWay)
{
    HDC memory = nullptr;
    {
        const UniqueWindowDc screen(nullptr);
        ASSERT_TRUE(screen);
        const UniqueDc made(CreateCompatibleDC(screen.get()));
        memory = made.get();
        EXPECT_TRUE(isGdiObject(memory));
    }
    EXPECT_FALSE(isGdiObject(memory));
}

TEST(GdiHolders, IconsAndCursorsAreDestroyed)
{
    HICON icon = nullptr;
    HCURSOR cursor = nullptr;
    {
        UniqueIcon heldIcon(CopyIcon(LoadIconW(nullptr, IDI_APPLICATION)));
        const UniqueCursor heldCursor(reinterpret_cast<HCURSOR>(CopyIcon(LoadCursorW(nullptr, IDC_ARROW))));
        icon = heldIcon.get();
        cursor = heldCursor.get();
        ASSERT_TRUE(isIcon(icon));
        ASSERT_TRUE(isIcon(cursor));
        const UniqueIcon moved(std::move(heldIcon));
        EXPECT_FALSE(heldIcon);
        EXPECT_TRUE(isIcon(icon));
    }
    EXPECT_FALSE(isIcon(icon));
    EXPECT_FALSE(isIcon(cursor));
}

TEST(GdiHolders, AnItemListMovesWithItsOwner)
{
    UniqueItemList list(ILCreateFromPathW(L"C:\\"));
    ASSERT_TRUE(list);
    const PIDLIST_ABSOLUTE raw = list.get();
    const UniqueItemList moved(std::move(list));
    EXPECT_EQ(list.get(), nullptr);
    EXPECT_EQ(moved.get(), raw);
}
