#pragma once
// The client's own User-Agent, sent with every request and by the web
// views: "NB_SYNC;<version>;Mac;<system version>", plus ";SOURCE/<source>"
// when the deployment names a source. "Mac" stays as it is: the service
// tells its clients apart by it.

#include <string>

namespace nb {

std::string userAgentFor(const std::string& version, const std::string& systemVersion,
                         const std::string& source);

}  // namespace nb
