// Values from the service (owner and album ids, picture names) as parts of a web address.
#pragma once

#include <string>
#include <string_view>

// The UTF-8 text with every byte but ASCII letters, digits and "-._~" written as %XX. The value
// reaches the service as it was given, whatever characters it holds, and can add no query item,
// fragment or path segment of its own. Ids and picture names as the service gives them are made
// of kept characters only, so their address is unchanged.
[[nodiscard]] std::string addressPart(std::string_view utf8);
