// The album rows' covers at the window's scale: each row keeps the cover as fetched, and the image
// list holds it drawn at the size the window's DPI asks for, made anew when the DPI changes.
#pragma once

#include <vector>

#include "ui/image_list.h"
#include "ui/image_object.h"

// The cover at `side` × `side`: the picture itself when it has that size, else the whole of it
// drawn smoothly; a grey square when there is no picture or it cannot be drawn, so every row adds
// exactly one image.
ImageObject coverAtSize(const ImageObject& cover, int side);

// A new list at `side` with every cover of `covers` in order; false when Windows refused.
[[nodiscard]] bool makeCoverList(ImageListObject& list, const std::vector<ImageObject>& covers, int side);
