#pragma once
// Brackets work on a store in one explicit transaction that always ends:
// the destructor ends what the constructor began, whichever way the scope
// is left. A scope opened while another transaction is open begins nothing
// and ends nothing: the outer one commits everything.
//
// `Store` provides `bool TransactionBegin()` (true when it began one) and
// `TransactionEnd()` (which must leave no transaction open; what it returns
// is not used here).

namespace nb {

template <typename Store>
class StoreTransaction {
 public:
  explicit StoreTransaction(Store& store) : store_(store), began_(store.TransactionBegin()) {}
  ~StoreTransaction() {
    if (began_) store_.TransactionEnd();
  }
  StoreTransaction(const StoreTransaction&) = delete;
  StoreTransaction& operator=(const StoreTransaction&) = delete;

  // False when another transaction was already open: its owner ends it.
  bool began() const { return began_; }

 private:
  Store& store_;
  const bool began_;
};

}  // namespace nb
