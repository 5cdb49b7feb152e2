#pragma once
// Where a download source delivers what it receives: the download task's
// temporary file. A source holds it weakly, so a chunk that arrives after
// the task is gone is refused instead of written into freed memory.

#include <cstdint>
#include <string>

namespace nb {

class DownloadSink {
 public:
  virtual ~DownloadSink() = default;
  // Writes `data` at `pos` of the temporary file. Main thread. False refuses
  // the chunk (task stopped, no file, short or failed write): the source
  // then drops its request.
  virtual bool WriteFile(const std::string& data, std::uint64_t pos) = 0;
  // A source's request ended, finished or failed. Main thread. The task
  // looks at its sources again at once instead of at its next pass.
  virtual void sourceEnded() {}
};

}  // namespace nb
