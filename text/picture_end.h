// Whether a downloaded picture body is whole, told from the picture's own structure.
// A missing Content-Length gives the download nothing else to go by: Wine's WinHTTP reports a
// connection closed in the middle of a chunked body as a clean end.
#pragma once

#include <string_view>

enum class PictureEnd { Complete, Cut, UnknownFormat };

// JPEG: its segments and scans are walked up to the end-of-image marker (bytes after it are
// allowed). PNG: chunks up to a whole IEND. GIF: blocks up to the trailer. WebP and BMP: the
// size in their header. A body that breaks its format's structure counts as Cut, as does one too
// short to tell but beginning like one of these formats; anything else, and an empty body (or a
// BMP whose size field is below its smallest header), is UnknownFormat.
// Safe on any bytes; linear in their length.
[[nodiscard]] PictureEnd pictureEnd(std::string_view bytes);

// Whether a body is a web page or a service's error object rather than a picture: its first byte
// past blanks (and a UTF-8 byte-order mark) opens JSON or markup, as no picture format's does. A host that answers "busy" with
// status 200 sends such a body, complete and of the length it announced.
[[nodiscard]] bool isTextPage(std::string_view bytes);
