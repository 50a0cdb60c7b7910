// The photo store hands each download's tasks its own photos and counts only for the current
// download.
#include "app/core/photo_store.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

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
    uint64_t album = 0;
    ASSERT_TRUE(store.take(first.generation(), photo, folder, album));
    EXPECT_EQ(photo.fileName, L"1.jpg");
    EXPECT_EQ(folder, L"A\\");

    // A second download replaces the first: the first can take, count and add nothing more.
    ASSERT_TRUE(startJob(DownloadJob, noJob, 0, begin));
    const JobContext second(DownloadJob, currentJobGeneration(DownloadJob), 0);
    EXPECT_FALSE(store.take(first.generation(), photo, folder, album));
    EXPECT_EQ(store.countWritten(first.generation()), -1);
    EXPECT_FALSE(store.append(first, PhotoRecord{L"c", "http://h", 0, L"old.jpg", {}, false, {}}));
    EXPECT_FALSE(store.setFolder(first, L"A\\"));
    EXPECT_EQ(state.queuedCount, 0);
    EXPECT_EQ(state.nextPhotoIndex, 0);

    // The second one starts from photo 1 of its own list.
    ASSERT_TRUE(store.setFolder(second, L"B\\"));
    ASSERT_TRUE(store.append(second, PhotoRecord{L"d", "http://h", 0, L"3.jpg", {}, false, {}}));
    ASSERT_TRUE(store.take(second.generation(), photo, folder, album));
    EXPECT_EQ(photo.fileName, L"3.jpg");
    EXPECT_EQ(folder, L"B\\");
    EXPECT_EQ(store.countWritten(second.generation()), 1);
    EXPECT_FALSE(store.take(second.generation(), photo, folder, album));  // every queued photo is taken
    EXPECT_EQ(state.queuedCount, 1);
}

namespace {

PhotoRecord photoNamed(const wchar_t* fileName) { return PhotoRecord{L"", "http://h", 0, fileName, {}, false, {}}; }

} // namespace

// A download of every album stages its next album while the last pictures of the current one are
// on their way: the staged photos are taken only once the current ones are, counted in no album
// until theirs begins, and their tasks wait for it.
TEST(PhotoStore, AStagedAlbumComesAfterTheCurrentOneAndBeginsWithWhatItHas)
{
    static AppState state;
    static PhotoStore store(state);
    ASSERT_TRUE(startJob(DownloadJob, [](const JobContext&) {}, 0, [] { store.beginDownload(); }));
    const JobContext job(DownloadJob, currentJobGeneration(DownloadJob), 0);
    const long generation = job.generation();
    ASSERT_TRUE(store.setFolder(job, L"A\\"));
    ASSERT_TRUE(store.append(job, photoNamed(L"1.jpg")));
    ASSERT_TRUE(store.stageAlbum(job, L"B\\"));
    ASSERT_TRUE(store.append(job, photoNamed(L"2.jpg")));
    ASSERT_TRUE(store.append(job, photoNamed(L"3.jpg")));
    EXPECT_EQ(state.queuedCount, 1);

    PhotoRecord photo;
    std::wstring folder;
    uint64_t current = 0;
    uint64_t staged = 0;
    ASSERT_TRUE(store.take(generation, photo, folder, current));
    EXPECT_EQ(photo.fileName, L"1.jpg");
    EXPECT_EQ(folder, L"A\\");
    EXPECT_TRUE(store.isCurrentAlbum(current));
    ASSERT_TRUE(store.take(generation, photo, folder, staged));
    EXPECT_EQ(photo.fileName, L"2.jpg");
    EXPECT_EQ(folder, L"B\\");
    EXPECT_FALSE(store.isCurrentAlbum(staged));
    EXPECT_FALSE(store.albumDone());  // photo 1 is still on its way
    store.finished(current);
    EXPECT_TRUE(store.albumDone());  // photo 2 is the next album's

    // The album before is over and its counters go; the staged album's tasks wait until it takes
    // its place.
    std::atomic<int> waited{-1};
    std::thread waiter([&] { waited = store.waitForAlbum(generation, staged) ? 1 : 0; });
    ASSERT_TRUE(store.beginAlbum(job));
    EXPECT_EQ(state.queuedCount, 0);
    Sleep(150);
    EXPECT_EQ(waited, -1);
    EXPECT_FALSE(store.isCurrentAlbum(staged));
    ASSERT_TRUE(store.beginStagedAlbum(job));
    waiter.join();
    EXPECT_EQ(waited, 1);
    EXPECT_TRUE(store.isCurrentAlbum(staged));
    EXPECT_EQ(state.queuedCount, 2);
    EXPECT_EQ(state.downloadedCount, 0);
    EXPECT_EQ(state.nextPhotoIndex, 1);
    EXPECT_FALSE(store.albumDone());  // photo 2 is on its way, photo 3 not taken
    ASSERT_TRUE(store.take(generation, photo, folder, staged));
    EXPECT_EQ(photo.fileName, L"3.jpg");
    store.finished(staged);
    EXPECT_FALSE(store.albumDone());
    store.finished(staged);
    EXPECT_TRUE(store.albumDone());
    EXPECT_EQ(store.countWritten(generation), 1);
    EXPECT_EQ(store.handOverList(job).size(), 2u);
}

TEST(PhotoStore, ADroppedStagedAlbumLetsItsTasksGoAndLeavesNothing)
{
    static AppState state;
    static PhotoStore store(state);
    ASSERT_TRUE(startJob(DownloadJob, [](const JobContext&) {}, 0, [] { store.beginDownload(); }));
    const JobContext job(DownloadJob, currentJobGeneration(DownloadJob), 0);
    const long generation = job.generation();
    ASSERT_TRUE(store.stageAlbum(job, L"C\\"));
    ASSERT_TRUE(store.append(job, photoNamed(L"4.jpg")));
    PhotoRecord photo;
    std::wstring folder;
    uint64_t staged = 0;
    ASSERT_TRUE(store.take(generation, photo, folder, staged));
    std::atomic<int> waited{-1};
    std::thread waiter([&] { waited = store.waitForAlbum(generation, staged) ? 1 : 0; });
    Sleep(100);
    store.dropStagedAlbum(job);
    waiter.join();
    EXPECT_EQ(waited, 0);
    store.finished(staged);
    // The next album begins with nothing of the dropped one.
    ASSERT_TRUE(store.beginAlbum(job));
    ASSERT_TRUE(store.beginStagedAlbum(job));
    EXPECT_FALSE(store.isCurrentAlbum(staged));
    EXPECT_EQ(state.queuedCount, 0);
    EXPECT_TRUE(store.albumDone());
    EXPECT_FALSE(store.take(generation, photo, folder, staged));
}

// A task waiting for its album gives up when its download is replaced, and the replaced run
// touches nothing of its successor's.
TEST(PhotoStore, AReplacedDownloadsWaitingTaskGivesUp)
{
    static AppState state;
    static PhotoStore store(state);
    const auto begin = [] { store.beginDownload(); };
    ASSERT_TRUE(startJob(DownloadJob, [](const JobContext&) {}, 0, begin));
    const JobContext job(DownloadJob, currentJobGeneration(DownloadJob), 0);
    ASSERT_TRUE(store.stageAlbum(job, L"D\\"));
    ASSERT_TRUE(store.append(job, photoNamed(L"5.jpg")));
    PhotoRecord photo;
    std::wstring folder;
    uint64_t staged = 0;
    ASSERT_TRUE(store.take(job.generation(), photo, folder, staged));
    std::atomic<int> waited{-1};
    std::thread waiter([&] { waited = store.waitForAlbum(job.generation(), staged) ? 1 : 0; });
    Sleep(100);
    ASSERT_TRUE(startJob(DownloadJob, [](const JobContext&) {}, 0, begin));
    waiter.join();
    EXPECT_EQ(waited, 0);

    // The replaced run, ending late, leaves its successor's staged album alone.
    const JobContext second(DownloadJob, currentJobGeneration(DownloadJob), 0);
    ASSERT_TRUE(store.stageAlbum(second, L"E\\"));
    ASSERT_TRUE(store.append(second, photoNamed(L"6.jpg")));
    store.dropStagedAlbum(job);
    ASSERT_TRUE(store.beginAlbum(second));
    ASSERT_TRUE(store.beginStagedAlbum(second));
    EXPECT_EQ(state.queuedCount, 1);
}
