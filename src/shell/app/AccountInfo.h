#pragma once
// A sign-in's token answer and a fetched account answer taken into the
// running process. Every path that reads the account (sign-in, automatic
// sign-in, SDK sign-in, the push relay's re-read) applies them the same way;
// what each does before (which thread fetches) and after (flags, answers to
// pages) stays with the caller.

#include "api/models/RetToken.h"
#include "api/models/RetUserInfo.h"
#include "api/server/ServerInfo.h"

namespace nb {

// The deployment source when `server` has none yet (skipped when `server` is
// null), the identity fields into the session, and the favourite groups into
// the catalogue. The caller has already checked the answer succeeded.
void applyAccountInfo(const RetUserInfo& info, ServerInfo* server);

// The access and refresh tokens, their lifetime and the account's dateline of
// a successful sign-in into the session. The running session's token refresh
// keeps its own locked update of the token pair instead.
void applySignInToken(const RetToken& token);

}  // namespace nb
