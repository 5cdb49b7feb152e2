#pragma once
// The stores' side of the seams the session (api layer) leaves for them.
// The shell calls registerStoreSeams once at start-up, before other threads
// start; tests that need the real stores behind the session call it too.

namespace nb {

// Registers the older sync store conversion (Syncdb::update2to3) as the
// session's update2to3 hook. The session's other hooks are kept as they are.
void registerStoreSeams();

}  // namespace nb
