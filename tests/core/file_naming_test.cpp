#include "app/core/file_naming.h"

#include <gtest/gtest.h>

#include "text/encoding.h"

TEST(FileNaming, WithBackslash)
{
    EXPECT_EQ(withBackslash(""), "\\");
    EXPECT_EQ(withBackslash("C:\\Pictures"), "C:\\Pictures\\");
    EXPECT_EQ(withBackslash("C:\\Pictures\\"), "C:\\Pictures\\");
    EXPECT_EQ(withBackslash("D:"), "D:\\");
}

TEST(FileNaming, TimePrefixIsUtcPlusEight)
{
    EXPECT_EQ(photoTimePrefix(0), "[1970.01.01-08.00]");
    EXPECT_EQ(photoTimePrefix(1500000000), "[2017.07.14-10.40]");
    EXPECT_EQ(photoTimePrefix(951782400 - 8 * 3600), "[2000.02.29-00.00]");  // a leap day
    EXPECT_EQ(photoTimePrefix(-8 * 3600 - 60), "[1969.12.31-23.59]");
    EXPECT_EQ(photoTimePrefix(4102444800LL), "[2100.01.01-08.00]");
}

TEST(FileNaming, CleanCaptionDropsWhatNamesCannotHold)
{
    EXPECT_EQ(cleanCaption("a/b\\c:d*e<f>g|h?i\"j k\r\nl"), "abcdefghijkl");
    EXPECT_EQ(cleanCaption(""), "");
    EXPECT_EQ(cleanCaption("旅行 2017"), "旅行2017");
    EXPECT_EQ(cleanCaption("tab\there"), "tabhere");
    // A character whose second byte is "\" or "|" in code page 936 stays whole.
    const std::string tricky = "\x95\x5C\x95\x7C";
    EXPECT_EQ(cleanCaption(tricky), tricky);
}

TEST(FileNaming, LongCaptionsAreCutWithoutSplittingACharacter)
{
    const std::string chinese = [] {
        std::string text;
        for (int i = 0; i < 150; ++i) text += "很";
        return text;
    }();
    const std::string cut = cleanCaption(chinese);
    EXPECT_EQ(cut.size(), 200u);
    EXPECT_EQ(cleanCaption("x" + chinese).size(), 199u);  // 200 would split the last character
    EXPECT_EQ(cleanCaption(std::string(300, 'a')).size(), 200u);
}

TEST(FileNaming, CaptionIsCutBeforeItsBlanksAndSignsAreDeleted)
{
    // The first 200 bytes hold 150 blanks: 50 letters are left, not 200.
    EXPECT_EQ(cleanCaption(std::string(150, ' ') + std::string(100, 'a')), std::string(50, 'a'));
    EXPECT_EQ(cleanCaption(std::string(199, '/') + "很好"), "");  // the cut drops the whole "很"
    EXPECT_EQ(cleanCaption(std::string(198, '?') + "很好"), "很");
}

TEST(FileNaming, PictureFileNames)
{
    EXPECT_EQ(pictureFileName(0, "", "abc.jpg"), "[1970.01.01-08.00]-abc.jpg");
    EXPECT_EQ(pictureFileName(0, "说明", "abc"), "[1970.01.01-08.00]说明-abc.jpg");
    EXPECT_EQ(pictureFileName(0, "", "abc.gif"), "[1970.01.01-08.00]-abc.gif");
    EXPECT_EQ(pictureFileName(0, "", "a.b.jpeg"), "[1970.01.01-08.00]-a.b.jpeg.jpg");  // no "." in "jpeg"
    // Only the last path segment of a picture's name counts, so no name leaves its folder.
    EXPECT_EQ(pictureFileName(0, "", "..\\..\\evil.jpg"), "[1970.01.01-08.00]-evil.jpg");
    EXPECT_EQ(pictureFileName(0, "", "x/../../y.png"), "[1970.01.01-08.00]-y.png");
}

TEST(FileNaming, SafeFolderNames)
{
    EXPECT_EQ(safeName("摄影师小王", "1"), "摄影师小王");
    EXPECT_EQ(safeName("旅行 2017", "1"), "旅行 2017");
    EXPECT_EQ(safeName("a/b\\c:d*e?f\"g<h>i|j", "1"), "abcdefghij");
    EXPECT_EQ(safeName("..", "3550000001"), "3550000001");
    EXPECT_EQ(safeName(".", "id"), "id");
    EXPECT_EQ(safeName("trailing dots...", "id"), "trailing dots");
    EXPECT_EQ(safeName("trailing blanks   ", "id"), "trailing blanks");
    EXPECT_EQ(safeName("CON", "id"), "_CON");
    EXPECT_EQ(safeName("nul.txt", "id"), "_nul.txt");
    EXPECT_EQ(safeName("com7", "id"), "_com7");
    EXPECT_EQ(safeName("COM10", "id"), "COM10");
    EXPECT_EQ(safeName("", "1000000003"), "1000000003");
    EXPECT_EQ(safeName("bad/nick:*?\"<>|. ", "1000000003"), "badnick");
    EXPECT_EQ(safeName("tab\there", "id"), "tabhere");
    // A name that fails gives its fallback, cleaned the same way; a fallback that fails too, "_".
    EXPECT_EQ(safeName("..", "..\\..\\escape_oid"), "....escape_oid");
    EXPECT_EQ(safeName("", "..\\..\\escape_album"), "....escape_album");
    EXPECT_EQ(safeName("..", ".."), "_");
    EXPECT_EQ(safeName("", ""), "_");
    EXPECT_EQ(safeName("CONIN$", "id"), "_CONIN$");
    // The cut to 200 bytes never leaves a trailing dot or blank behind.
    EXPECT_EQ(safeName(std::string(199, 'a') + ". b", "id"), std::string(199, 'a'));
}

TEST(FileNaming, FolderNamesNeverEndAsProgramsOrShortcuts)
{
    EXPECT_EQ(safeName("run.exe", "id"), "run_exe");
    EXPECT_EQ(safeName("setup.tar.BAT", "id"), "setup.tar_BAT");
    EXPECT_EQ(safeName("link.url . ", "id"), "link_url");
    EXPECT_EQ(safeName("bin.{645FF040-5081-101B-9F08-00AA002F954E}", "id"), "bin_{645FF040-5081-101B-9F08-00AA002F954E}");
    EXPECT_EQ(safeName("", "9.lnk"), "9_lnk");
    // Other endings are the caption's own.
    EXPECT_EQ(safeName("v1.5", "id"), "v1.5");
    EXPECT_EQ(safeName("旅行.2017", "id"), "旅行.2017");
    EXPECT_EQ(safeName("photos.jpg", "id"), "photos.jpg");
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
    const std::string prefix = "[1970.01.01-08.00]";
    // Endings that Explorer would run or follow get ".jpg" after them.
    EXPECT_EQ(pictureFileName(0, "", "x.url"), prefix + "-x.url.jpg");
    EXPECT_EQ(pictureFileName(0, "", "x.lnk"), prefix + "-x.lnk.jpg");
    EXPECT_EQ(pictureFileName(0, "", "setup.EXE"), prefix + "-setup.EXE.jpg");
    EXPECT_EQ(pictureFileName(0, "", "x.scf"), prefix + "-x.scf.jpg");
    for (const char* kept : {"a.JPG", "a.jpe", "a.png", "a.GIF", "a.bmp", "a.tif"})
        EXPECT_EQ(pictureFileName(0, "", kept), prefix + "-" + kept);
    // Four letters after the dot: no "." in the last four bytes, so ".jpg" follows, as ever.
    for (const char* longer : {"a.jpeg", "a.jfif", "a.webp", "a.tiff", "a.heic", "a.avif"})
        EXPECT_EQ(pictureFileName(0, "", longer), prefix + "-" + longer + ".jpg");
    // A later copy of the same name carries its number before the ending.
    EXPECT_EQ(pictureFileName(0, "", "a.jpg", 2), prefix + "-a (2).jpg");
    EXPECT_EQ(pictureFileName(0, "说明", "a", 3), prefix + "说明-a (3).jpg");

    // 240 units at most: the caption gives way first ...
    const std::string caption(200, 'c');
    const std::string picture = std::string(96, 'p') + ".jpg";
    const std::string cut = pictureFileName(0, caption, picture);
    EXPECT_EQ(cut, prefix + std::string(240 - 18 - 1 - 100, 'c') + "-" + picture);
    // ... then the picture's own name, never its ending.
    const std::string longest = pictureFileName(0, caption, std::string(400, 'p') + ".png", 12);
    EXPECT_EQ(toUtf16(longest).size(), 240u);
    EXPECT_EQ(longest, prefix + "-" + std::string(240 - 18 - 1 - 5 - 4, 'p') + " (12).png");
    const std::wstring wide = toUtf16(pictureFileName(0, "", std::string(300, 'q') + ".gif"));
    EXPECT_LE(wide.size(), 240u);
    EXPECT_EQ(wide.substr(wide.size() - 4), L".gif");
}
