// The photo store hands each download's tasks its own photos and counts only for the current
// download.
#include "app/core/photo_store.h"

#include <gtest/gtest.h>
#include <string>

#include "app/core/app_state.h"
#include "app/core/job_threads.h"

TEST(PhotoStore, AReplacedDownloadReachesNothingOfItsSuccessor)
{
    static AppState state;
    static PhotoStore store(state);
    const auto noJob = [](const JobContext&) {};
    const auto begin = [] { store.beginDownload(); };
    ASSERT_TRUE(startJob(DownloadJob, noJob, 0, begin));
    const JobContext first(DownloadJob, currentJobGeneration(DownloadJob), 0);
    ASSERT_TRUE(store.setFolder(first, L"A\\"));
    ASSERT_TRUE(store.append(first, PhotoRecord{L"a", "http://h", 0, L"1.jpg", {}, false, {}}));
    ASSERT_TRUE(store.append(first, PhotoRecord{L"b", "http://h", 0, L"2.jpg", {}, false, {}}));
    PhotoRecord photo;
    std::wstring folder;
    ASSERT_TRUE(store.take(first.generation(), photo, folder));
    EXPECT_EQ(photo.fileName, L"1.jpg");
    EXPECT_EQ(folder, L"A\\");

    // A second download replaces the first: the first can take, count and add nothing more.
    ASSERT_TRUE(startJob(DownloadJob, noJob, 0, begin));
    const JobContext second(DownloadJob, currentJobGeneration(DownloadJob), 0);
    EXPECT_FALSE(store.take(first.generation(), photo, folder));
    EXPECT_EQ(store.countWritten(first.generation()), -1);
    EXPECT_FALSE(store.append(first, PhotoRecord{L"c", "http://h", 0, L"old.jpg", {}, false, {}}));
    EXPECT_FALSE(store.setFolder(first, L"A\\"));
    EXPECT_EQ(state.queuedCount, 0);
    EXPECT_EQ(state.nextPhotoIndex, 0);

    // The second one starts from photo 1 of its own list.
    ASSERT_TRUE(store.setFolder(second, L"B\\"));
    ASSERT_TRUE(store.append(second, PhotoRecord{L"d", "http://h", 0, L"3.jpg", {}, false, {}}));
    ASSERT_TRUE(store.take(second.generation(), photo, folder));
    EXPECT_EQ(photo.fileName, L"3.jpg");
    EXPECT_EQ(folder, L"B\\");
    EXPECT_EQ(store.countWritten(second.generation()), 1);
    EXPECT_FALSE(store.take(second.generation(), photo, folder));  // every queued photo is taken
    EXPECT_EQ(state.queuedCount, 1);
}
