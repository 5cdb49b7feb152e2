#pragma once
// The batch of writes in one exclusive transaction that the stores share
// (the catalogue's list replacements, the message store's array forms).
// Run it inside a store job.

#include <exception>
#include <vector>

#include "foundation/sqlite/FMDatabase.h"
#include "platform/Log.h"

namespace nb {

// Runs `body` inside one exclusive transaction and ends that transaction in
// every case. Each write of the body goes through the retrying update, so a
// write that still fails is skipped and the body goes on; an exception (an
// element the body cannot handle) ends the body early, is logged, and what
// was written before it is committed. A commit that fails is rolled back:
// left open, the transaction would swallow every later statement of the
// store. When a transaction was open already, the body joins it and its
// owner ends it. Nothing escapes the store job.
template <typename Body>
void inBatch(FMDatabase& db, Body body) {
  const bool began = db.beginTransaction();
  try {
    body();
  } catch (const std::exception& e) {
    NBLOG_ERROR("batch write ended early: {}", e.what());
  } catch (...) {
    NBLOG_ERROR("batch write ended early");
  }
  if (began && !db.commit() && db.inTransaction()) {
    NBLOG_ERROR("batch commit failed ({}), rolling back", db.lastErrorMessage());
    db.rollback();
  }
}

// inBatch over `elements` in order: `each` handles one element; an element
// that fails skips the rest.
template <typename Element, typename Each>
void inBatch(FMDatabase& db, const std::vector<Element>& elements, Each each) {
  inBatch(db, [&] {
    for (const Element& element : elements) each(element);
  });
}

}  // namespace nb
