#pragma once
// Page events from text that native code was handed (a page's, the
// server's, a notification's). The text never becomes script: JSON text of
// an object or array is parsed and written again by our writer; any other
// text reaches the page as one JSON string.

#include <optional>
#include <string_view>

#include "foundation/app/PageEvent.h"

namespace nb {

// Nothing for an empty text (a page gets no event from it) or a name that
// is not an identifier.
std::optional<PageEvent> pageEventFromText(std::string_view name, std::string_view text);

}  // namespace nb
