// Comparing a new listing with an album's record: the service lists newest first, so an album that
// only gained photos lists them before the recorded ones, and anything else is read in full.
#include "app/jobs/known_photos.h"

#include "app/core/file_store.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

namespace {

// "p3": built by appending, as GCC 12 warns falsely about "p" + std::to_string(3).
std::string named(const char* prefix, int number)
{
    std::string name = prefix;
    name += std::to_string(number);
    return name;
}

// A record of `count` photos "p1" (newest) to "p<count>", listed whole with that total.
AlbumLedger recordOf(int count, int64_t total)
{
    AlbumLedger ledger{"1", total, {}};
    for (int i = 1; i <= count; ++i) ledger.photos.push_back({named("p", i), "http://h", L"", 0, L"[2017.07.14-10.40]-p" + std::to_wstring(i) + L".jpg", "/mw1024/", 10, 1});
    return ledger;
}

// A listing of `added` new photos ("n1"...) then the record's first `recorded`.
std::vector<std::string> listing(int added, int recorded)
{
    std::vector<std::string> names;
    for (int i = 1; i <= added; ++i) names.push_back(named("n", i));
    for (int i = 1; i <= recorded; ++i) names.push_back(named("p", i));
    return names;
}

} // namespace

TEST(KnownPhotos, AGrownAlbumMatchesOnceTheRecordedPhotosShow)
{
    const KnownPhotos known(recordOf(40, 40), L"C:\\none\\", "/mw1024/");
    size_t added = 99;
    // Unchanged: the first page alone tells.
    EXPECT_EQ(known.compare(listing(0, 32), 40, &added), KnownPhotos::Overlap::Matched);
    EXPECT_EQ(added, 0u);
    // Three new ones on the first page.
    EXPECT_EQ(known.compare(listing(3, 29), 43, &added), KnownPhotos::Overlap::Matched);
    EXPECT_EQ(added, 3u);
    // Forty new ones: the first page is all new, the second shows the record's start.
    EXPECT_EQ(known.compare(listing(32, 0), 80, &added), KnownPhotos::Overlap::Unknown);
    EXPECT_EQ(known.compare(listing(40, 24), 80, &added), KnownPhotos::Overlap::Matched);
    EXPECT_EQ(added, 40u);
}

TEST(KnownPhotos, AnythingButGrowthIsReadInFull)
{
    const KnownPhotos known(recordOf(40, 40), L"C:\\none\\", "/mw1024/");
    size_t added = 0;
    // Fewer photos than recorded: some were deleted.
    EXPECT_EQ(known.compare(listing(0, 32), 39, &added), KnownPhotos::Overlap::Differs);
    // As many new as the total says, but the record's photos do not follow them.
    std::vector<std::string> moved = listing(2, 30);
    std::swap(moved[5], moved[6]);
    EXPECT_EQ(known.compare(moved, 42, &added), KnownPhotos::Overlap::Differs);
    // One deleted and one added: the total is the same, the first photos are not.
    EXPECT_EQ(known.compare(listing(1, 31), 40, &added), KnownPhotos::Overlap::Differs);
    // A record of a listing that was not read whole, or none at all, is no listing to compare.
    EXPECT_EQ(KnownPhotos(recordOf(40, 0), L"C:\\none\\", "/mw1024/").compare(listing(0, 32), 40, &added), KnownPhotos::Overlap::Differs);
    EXPECT_EQ(KnownPhotos().compare(listing(0, 32), 40, &added), KnownPhotos::Overlap::Differs);
    // Nor is a record holding a name the program could not have made: it is read in full.
    AlbumLedger forged = recordOf(40, 40);
    forged.photos[39].fileName = L"desktop.ini";
    EXPECT_EQ(KnownPhotos(forged, L"C:\\none\\", "/mw1024/").compare(listing(0, 32), 40, &added), KnownPhotos::Overlap::Differs);
}

TEST(KnownPhotos, OnlyFilesStillAsSavedAtThisSizeAreSaved)
{
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = std::wstring(temp) + L"piclade-known-" + std::to_wstring(GetCurrentProcessId()) + L"\\";
    CreateDirectoryW(folder.c_str(), nullptr);
    AlbumLedger ledger = recordOf(3, 3);
    for (SavedPhoto& photo : ledger.photos) {
        photo.fileName = L"[2017.07.14-10.40]-" + std::wstring(photo.picName.begin(), photo.picName.end()) + L".jpg";
        ASSERT_EQ(writePictureFile(folder, photo.fileName, "picture bytes", 1500000000), 0u);
        ASSERT_TRUE(fileStamp(folder + photo.fileName, photo.bytes, photo.modified));
    }
    ledger.photos[1].sizePath = "/large/";  // saved at another size
    ASSERT_TRUE(DeleteFileW((folder + ledger.photos[2].fileName).c_str()));  // deleted since
    const KnownPhotos known(ledger, folder, "/mw1024/");
    ASSERT_NE(known.find("p1"), nullptr);
    EXPECT_EQ(known.find("n1"), nullptr);
    EXPECT_TRUE(known.isSaved(*known.find("p1")));
    EXPECT_FALSE(known.isSaved(*known.find("p2")));
    EXPECT_FALSE(known.isSaved(*known.find("p3")));
    // Written again since, as another program might: the same length, another time.
    ASSERT_EQ(writePictureFile(folder, ledger.photos[0].fileName, "picture bytes", 1600000000), 0u);
    EXPECT_FALSE(known.isSaved(*known.find("p1")));
    DeleteFileW((folder + ledger.photos[0].fileName).c_str());
    DeleteFileW((folder + ledger.photos[1].fileName).c_str());
    RemoveDirectoryW(folder.c_str());
}
