#include "app/core/file_naming.h"

#include <gtest/gtest.h>

#include "text/encoding.h"

TEST(FileNaming, WithBackslash)
{
    EXPECT_EQ(withBackslash(L""), L"\\");
    EXPECT_EQ(withBackslash(L"C:\\Pictures"), L"C:\\Pictures\\");
    EXPECT_EQ(withBackslash(L"C:\\Pictures\\"), L"C:\\Pictures\\");
    EXPECT_EQ(withBackslash(L"D:"), L"D:\\");
}

TEST(FileNaming, TimePrefixIsUtcPlusEight)
{
    EXPECT_EQ(photoTimePrefix(0), "[1970.01.01-08.00]");
    EXPECT_EQ(photoTimePrefix(1500000000), "[2017.07.14-10.40]");
    EXPECT_EQ(photoTimePrefix(951782400 - 8 * 3600), "[2000.02.29-00.00]");  // a leap day
    EXPECT_EQ(photoTimePrefix(-8 * 3600 - 60), "[1969.12.31-23.59]");
    EXPECT_EQ(photoTimePrefix(4102444800LL), "[2100.01.01-08.00]");
    // Every time begins a name the way the leftover sweep recognises, and nothing else does.
    for (const int64_t time : {int64_t{0}, int64_t{1500000000}, int64_t{-62200000000}, int64_t{253402300799}, INT64_C(-9000000000000)})
        EXPECT_TRUE(beginsWithPhotoTime(toUtf16(photoTimePrefix(time)) + L"x-a.jpg")) << photoTimePrefix(time);
    for (const wchar_t* name : {L"notes~v2ab", L"[2017.07.14-10.4]x", L"[.07.14-10.40]", L"2017.07.14-10.40]", L"[2017.07.14-10.40", L""})
        EXPECT_FALSE(beginsWithPhotoTime(name));
}

// Names read back from an album's record are used only when the program could have made them.
TEST(FileNaming, OnlyNamesThisProgramMakesPassForPictureNames)
{
    for (const int64_t time : {int64_t{0}, int64_t{1500000000}})
        for (const wchar_t* caption : {L"", L"\u65C5\u884C", L"CON"})
            for (const wchar_t* picture : {L"a.jpg", L"run.bat", L"x.lnk", L"noext", L"p.webp"}) {
                const std::wstring made = pictureFileName(time, caption, picture);
                EXPECT_TRUE(isPictureFileName(made)) << toNarrow(made);
            }
    for (const wchar_t* name : {L"desktop.ini", L"[2017.07.14-10.40]-x.lnk", L"[2017.07.14-10.40]-x.jpg:stream", L"..\\[2017.07.14-10.40]-a.jpg",
                                L"[2017.07.14-10.40]-a.jpg.", L"[2017.07.14-10.40]-a", L"", L"CON.jpg"})
        EXPECT_FALSE(isPictureFileName(name)) << toNarrow(name);
}

TEST(FileNaming, CleanCaptionDropsWhatNamesCannotHold)
{
    EXPECT_EQ(cleanCaption(L"a/b\\c:d*e<f>g|h?i\"j k\r\nl"), L"abcdefghijkl");
    EXPECT_EQ(cleanCaption(L""), L"");
    EXPECT_EQ(cleanCaption(L"旅行 2017"), L"旅行2017");
    EXPECT_EQ(cleanCaption(L"tab\there"), L"tabhere");
    // A character whose second byte is "\" or "|" in code page 936 stays whole.
    const std::wstring tricky = toUtf16("\x95\x5C\x95\x7C");
    ASSERT_EQ(tricky.size(), 2u);
    EXPECT_EQ(cleanCaption(tricky), tricky);
}

TEST(FileNaming, LongCaptionsAreCutWithoutSplittingACharacter)
{
    // Code page 936 bytes: two for a Chinese character, one for a letter.
    const std::wstring chinese(150, L'很');
    EXPECT_EQ(cleanCaption(chinese), std::wstring(100, L'很'));
    EXPECT_EQ(cleanCaption(L"x" + chinese), L"x" + std::wstring(99, L'很'));  // 200 would split the last character
    EXPECT_EQ(cleanCaption(std::wstring(300, L'a')), std::wstring(200, L'a'));
}

TEST(FileNaming, CaptionIsCutBeforeItsBlanksAndSignsAreDeleted)
{
    // The first 200 bytes hold 150 blanks: 50 letters are left, not 200.
    EXPECT_EQ(cleanCaption(std::wstring(150, L' ') + std::wstring(100, L'a')), std::wstring(50, L'a'));
    EXPECT_EQ(cleanCaption(std::wstring(199, L'/') + L"很好"), L"");  // the cut drops the whole "很"
    EXPECT_EQ(cleanCaption(std::wstring(198, L'?') + L"很好"), L"很");
}

TEST(FileNaming, NamesOutsideCodePage936KeepEveryCharacter)
{
    // Two albums that differ only in a character code page 936 lacks are two folders.
    EXPECT_EQ(safeName(L"旅行\u2708", L"1"), L"旅行\u2708");
    EXPECT_EQ(safeName(L"旅行\U0001F697", L"2"), L"旅行\U0001F697");
    EXPECT_EQ(safeName(L"J\u00F6rg & St\u00E5le", L"3"), L"J\u00F6rg & St\u00E5le");
    EXPECT_EQ(safeName(L"\uC0AC\uC9C4 \u0456 \U0001F4F7", L"4"), L"\uC0AC\uC9C4 \u0456 \U0001F4F7");
    EXPECT_EQ(cleanCaption(L"旅行 \u2708 \U0001F697"), L"旅行\u2708\U0001F697");
    EXPECT_EQ(pictureFileName(0, L"\uAE40\uBBFC\uC218 \U0001F697", L"\uC0AC\uC9C4.jpg"), L"[1970.01.01-08.00]\uAE40\uBBFC\uC218\U0001F697-\uC0AC\uC9C4.jpg");
}

// Letters code page 936 lacks count their UTF-8 bytes: 3 for Hangul, 4 for an emoji.
TEST(FileNaming, CaptionsOfOtherLettersAreCutAtWholeCharacters)
{
    std::wstring hangul;
    for (int i = 0; i < 300; ++i) hangul += static_cast<wchar_t>(0xAC00 + i);
    EXPECT_EQ(cleanCaption(hangul), hangul.substr(0, 66));
    EXPECT_EQ(safeName(hangul, L"id"), hangul.substr(0, 66));

    std::wstring emoji;
    for (int i = 0; i < 100; ++i) emoji += L"\U0001F697";
    EXPECT_EQ(cleanCaption(emoji), emoji.substr(0, 100));            // 50 pairs, 200 bytes
    EXPECT_EQ(cleanCaption(L"x" + emoji), L"x" + emoji.substr(0, 98));  // never half a pair
    EXPECT_EQ(cleanCaption(std::wstring(197, L'a') + L"\U0001F697"), std::wstring(197, L'a'));

    // The whole file name stays within 240 units and ends with the picture's name.
    const std::wstring name = pictureFileName(0, hangul, L"p1.jpg");
    EXPECT_EQ(name, L"[1970.01.01-08.00]" + hangul.substr(0, 66) + L"-p1.jpg");
    const std::wstring longName = pictureFileName(0, emoji + emoji, std::wstring(200, L'p') + L".jpg");
    EXPECT_LE(longName.size(), 240u);
    EXPECT_TRUE(isSafeName(longName));
    for (size_t i = 0; i < longName.size(); ++i) {
        const bool high = longName[i] >= 0xD800 && longName[i] <= 0xDBFF;
        const bool low = longName[i] >= 0xDC00 && longName[i] <= 0xDFFF;
        EXPECT_FALSE(low && (i == 0 || !(longName[i - 1] >= 0xD800 && longName[i - 1] <= 0xDBFF))) << i;
        EXPECT_FALSE(high && (i + 1 == longName.size() || !(longName[i + 1] >= 0xDC00 && longName[i + 1] <= 0xDFFF))) << i;
    }
}

// Every character code page 936 has counts its bytes there, not in UTF-8: full-width signs,
// kana and Cyrillic two, the euro sign one.
TEST(FileNaming, CodePage936CaptionsAreCutByTheirOwnBytes)
{
    EXPECT_EQ(cleanCaption(std::wstring(150, L'\uFF0C')), std::wstring(100, L'\uFF0C'));  // full-width comma
    EXPECT_EQ(cleanCaption(std::wstring(150, L'\u30A2')), std::wstring(100, L'\u30A2'));  // katakana
    EXPECT_EQ(cleanCaption(std::wstring(150, L'\u0416')), std::wstring(100, L'\u0416'));  // Cyrillic
    EXPECT_EQ(cleanCaption(std::wstring(250, L'\u20AC')), std::wstring(200, L'\u20AC'));  // euro sign
    // Half of a surrogate pair alone is no character: it is dropped, and hides no "." behind it.
    EXPECT_EQ(cleanCaption(L"a\xD83D" L"b\xDE97"), L"ab");
    EXPECT_EQ(pictureFileName(0, L"", L"a\xD83D.png"), L"[1970.01.01-08.00]-a.png");
}

TEST(FileNaming, PictureFileNames)
{
    EXPECT_EQ(pictureFileName(0, L"", L"abc.jpg"), L"[1970.01.01-08.00]-abc.jpg");
    EXPECT_EQ(pictureFileName(0, L"说明", L"abc"), L"[1970.01.01-08.00]说明-abc.jpg");
    EXPECT_EQ(pictureFileName(0, L"", L"abc.gif"), L"[1970.01.01-08.00]-abc.gif");
    EXPECT_EQ(pictureFileName(0, L"", L"a.b.jpeg"), L"[1970.01.01-08.00]-a.b.jpeg.jpg");  // no "." in "jpeg"
    // The last four bytes of "说.说" hold its "."; of "a.说说" they do not.
    EXPECT_EQ(pictureFileName(0, L"", L"说.说"), L"[1970.01.01-08.00]-说.说.jpg");
    EXPECT_EQ(pictureFileName(0, L"", L"a.说说"), L"[1970.01.01-08.00]-a.说说.jpg");
    // Letters code page 936 lacks count their UTF-8 bytes here too: "." and three bytes of Hangul
    // are the last four; an emoji's four bytes hide the ".".
    EXPECT_EQ(pictureFileName(0, L"", L"a.\uC0AC"), L"[1970.01.01-08.00]-a.\uC0AC.jpg");
    EXPECT_EQ(pictureFileName(0, L"", L"a.\U0001F697.png"), L"[1970.01.01-08.00]-a.\U0001F697.png");
    EXPECT_EQ(pictureFileName(0, L"", L"a.\U0001F697"), L"[1970.01.01-08.00]-a.\U0001F697.jpg");
    // Only the last path segment of a picture's name counts, so no name leaves its folder.
    EXPECT_EQ(pictureFileName(0, L"", L"..\\..\\evil.jpg"), L"[1970.01.01-08.00]-evil.jpg");
    EXPECT_EQ(pictureFileName(0, L"", L"x/../../y.png"), L"[1970.01.01-08.00]-y.png");
}

TEST(FileNaming, SafeFolderNames)
{
    EXPECT_EQ(safeName(L"摄影师小王", L"1"), L"摄影师小王");
    EXPECT_EQ(safeName(L"旅行 2017", L"1"), L"旅行 2017");
    EXPECT_EQ(safeName(L"a/b\\c:d*e?f\"g<h>i|j", L"1"), L"abcdefghij");
    EXPECT_EQ(safeName(L"..", L"3550000001"), L"3550000001");
    EXPECT_EQ(safeName(L".", L"id"), L"id");
    EXPECT_EQ(safeName(L"trailing dots...", L"id"), L"trailing dots");
    EXPECT_EQ(safeName(L"trailing blanks   ", L"id"), L"trailing blanks");
    EXPECT_EQ(safeName(L"CON", L"id"), L"_CON");
    EXPECT_EQ(safeName(L"nul.txt", L"id"), L"_nul.txt");
    EXPECT_EQ(safeName(L"com7", L"id"), L"_com7");
    EXPECT_EQ(safeName(L"COM10", L"id"), L"COM10");
    EXPECT_EQ(safeName(L"", L"1000000003"), L"1000000003");
    EXPECT_EQ(safeName(L"bad/nick:*?\"<>|. ", L"1000000003"), L"badnick");
    EXPECT_EQ(safeName(L"tab\there", L"id"), L"tabhere");
    // A name that fails gives its fallback, cleaned the same way; a fallback that fails too, "_".
    EXPECT_EQ(safeName(L"..", L"..\\..\\escape_oid"), L"....escape_oid");
    EXPECT_EQ(safeName(L"", L"..\\..\\escape_album"), L"....escape_album");
    EXPECT_EQ(safeName(L"..", L".."), L"_");
    EXPECT_EQ(safeName(L"", L""), L"_");
    EXPECT_EQ(safeName(L"CONIN$", L"id"), L"_CONIN$");
    // The cut to 200 bytes never leaves a trailing dot or blank behind.
    EXPECT_EQ(safeName(std::wstring(199, L'a') + L". b", L"id"), std::wstring(199, L'a'));
}

TEST(FileNaming, FolderNamesNeverEndAsProgramsOrShortcuts)
{
    EXPECT_EQ(safeName(L"run.exe", L"id"), L"run_exe");
    EXPECT_EQ(safeName(L"setup.tar.BAT", L"id"), L"setup.tar_BAT");
    EXPECT_EQ(safeName(L"link.url . ", L"id"), L"link_url");
    EXPECT_EQ(safeName(L"bin.{645FF040-5081-101B-9F08-00AA002F954E}", L"id"), L"bin_{645FF040-5081-101B-9F08-00AA002F954E}");
    EXPECT_EQ(safeName(L"", L"9.lnk"), L"9_lnk");
    // Other endings are the caption's own.
    EXPECT_EQ(safeName(L"v1.5", L"id"), L"v1.5");
    EXPECT_EQ(safeName(L"旅行.2017", L"id"), L"旅行.2017");
    EXPECT_EQ(safeName(L"photos.jpg", L"id"), L"photos.jpg");
}

TEST(FileNaming, TheLastCheckOfEveryName)
{
    EXPECT_TRUE(isSafeName(L"旅行 2017"));
    EXPECT_TRUE(isSafeName(L"....escape"));
    EXPECT_TRUE(isSafeName(std::wstring(240, L'a')));
    EXPECT_FALSE(isSafeName(std::wstring(241, L'a')));
    for (const wchar_t* bad : {L"", L".", L"..", L"a.", L"a ", L"a\\b", L"a/b", L"a:b", L"a\tb", L"CON", L"con.jpg", L"LPT9",
                               L"nul .txt", L"COM\u00B9"})
        EXPECT_FALSE(isSafeName(bad)) << toNarrow(bad);
}

TEST(FileNaming, PictureNamesKeepTheirEndingWithinTheLimit)
{
    const std::wstring prefix = L"[1970.01.01-08.00]";
    // Endings that Explorer would run or follow get ".jpg" after them.
    EXPECT_EQ(pictureFileName(0, L"", L"x.url"), prefix + L"-x.url.jpg");
    EXPECT_EQ(pictureFileName(0, L"", L"x.lnk"), prefix + L"-x.lnk.jpg");
    EXPECT_EQ(pictureFileName(0, L"", L"setup.EXE"), prefix + L"-setup.EXE.jpg");
    EXPECT_EQ(pictureFileName(0, L"", L"x.scf"), prefix + L"-x.scf.jpg");
    for (const wchar_t* kept : {L"a.JPG", L"a.jpe", L"a.png", L"a.GIF", L"a.bmp", L"a.tif"})
        EXPECT_EQ(pictureFileName(0, L"", kept), prefix + L"-" + kept);
    // Four letters after the dot: no "." in the last four bytes, so ".jpg" follows, as ever.
    for (const wchar_t* longer : {L"a.jpeg", L"a.jfif", L"a.webp", L"a.tiff", L"a.heic", L"a.avif"})
        EXPECT_EQ(pictureFileName(0, L"", longer), prefix + L"-" + longer + L".jpg");
    // A later copy of the same name carries its number before the ending.
    EXPECT_EQ(pictureFileName(0, L"", L"a.jpg", 2), prefix + L"-a (2).jpg");
    EXPECT_EQ(pictureFileName(0, L"说明", L"a", 3), prefix + L"说明-a (3).jpg");

    // 240 units at most: the caption gives way first ...
    const std::wstring caption(200, L'c');
    const std::wstring picture = std::wstring(96, L'p') + L".jpg";
    EXPECT_EQ(pictureFileName(0, caption, picture), prefix + std::wstring(240 - 18 - 1 - 100, L'c') + L"-" + picture);
    // ... then the picture's own name, never its ending.
    const std::wstring longest = pictureFileName(0, caption, std::wstring(400, L'p') + L".png", 12);
    EXPECT_EQ(longest.size(), 240u);
    EXPECT_EQ(longest, prefix + L"-" + std::wstring(240 - 18 - 1 - 5 - 4, L'p') + L" (12).png");
    const std::wstring wide = pictureFileName(0, L"", std::wstring(300, L'q') + L".gif");
    EXPECT_LE(wide.size(), 240u);
    EXPECT_EQ(wide.substr(wide.size() - 4), L".gif");
}
