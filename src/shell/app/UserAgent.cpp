#include "shell/app/UserAgent.h"

namespace nb {

std::string userAgentFor(const std::string& version, const std::string& systemVersion,
                         const std::string& source) {
  std::string agent = "NB_SYNC;" + version + ";Mac;" + systemVersion;
  if (!source.empty()) agent += ";SOURCE/" + source;
  return agent;
}

}  // namespace nb
