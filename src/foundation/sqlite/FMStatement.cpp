#include "foundation/sqlite/FMStatement.h"

#include <sqlcipher/sqlite3.h>

#include <fmt/format.h>

namespace nb {

FMStatement::FMStatement(sqlite3_stmt* statement, std::string query)
    : statement_(statement), query_(std::move(query)) {}

FMStatement::~FMStatement() { close(); }

int FMStatement::close() {
  if (statement_ == nullptr) return SQLITE_OK;
  const int rc = sqlite3_finalize(statement_);
  statement_ = nullptr;
  return rc;
}

int FMStatement::reset() {
  return statement_ != nullptr ? sqlite3_reset(statement_) : SQLITE_OK;
}

std::string FMStatement::description() const {
  return fmt::format("FMStatement {} hit(s) for query {}", useCount_, query_);
}

}  // namespace nb
