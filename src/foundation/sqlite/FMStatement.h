#pragma once
// One prepared statement; finalized when closed or destroyed.

#include <cstdint>
#include <string>

struct sqlite3_stmt;

namespace nb {

class FMStatement {
 public:
  // Takes ownership of `statement` (may be null).
  FMStatement(sqlite3_stmt* statement, std::string query);
  ~FMStatement();
  FMStatement(const FMStatement&) = delete;
  FMStatement& operator=(const FMStatement&) = delete;

  // Finalizes the statement and forgets it; answers SQLite's code of the
  // finalize (0 when there was nothing to finalize).
  int close();
  // Rewinds the statement to its first row; answers SQLite's code.
  int reset();

  sqlite3_stmt* statement() const { return statement_; }
  const std::string& query() const { return query_; }
  void setQuery(std::string query) { query_ = std::move(query); }
  int64_t useCount() const { return useCount_; }
  void setUseCount(int64_t count) { useCount_ = count; }
  std::string description() const;

 private:
  sqlite3_stmt* statement_;  // owned
  std::string query_;
  int64_t useCount_ = 0;
};

}  // namespace nb
