// The protocol's commands: one table row for each (its word, its least token count, whether it is
// served without the permission, its handler and its fixed reply), and the dispatch that reads it.
#pragma once

#include <string_view>

#include "line_protocol.h"
#include "session.h"

// Whether line, stripped and whole, is a command served while the Accessibility permission is
// missing: the queries that post nothing, and the way out. Nothing else may pass the gate.
bool servedWithoutPermission(std::string_view line);

// Tokenizes an accepted, stripped line and runs its command on the session, writing its replies to
// out; a word no row matches is answered as unknown. Returns false when the line was QUIT.
bool dispatchCommand(Session& session, std::string_view line, const ReplyOut& out);
