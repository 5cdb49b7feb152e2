#pragma once
// The page functions of the in-app screen lock: set or remove the lock
// password, lock, unlock with the password, and the two state queries.
// They act on the started application chrome (AppChrome::current()).

namespace nb::bridge {

void registerLockScreenPageFunctions();

}  // namespace nb::bridge
