// The album rows' state images: saved whole, saved in part, not saved yet. Drawn by the program at
// any size, so they stay crisp at every display scale.
#pragma once

#include <cstdint>
#include <vector>

#include "app/jobs/job_window.h"
#include "ui/image_list.h"

// One image, `size` × `size`, as premultiplied BGRA rows from the top.
std::vector<uint32_t> albumStatePixels(AlbumState state, int size);

// A list of the three images in AlbumState order, for LVSIL_STATE (whose index 0 means none);
// false when Windows refused.
[[nodiscard]] bool makeAlbumStateImages(ImageListObject& list, int size);
