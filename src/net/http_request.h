// The one kind of HTTP request the player sends, and the program version it names itself with.
#pragma once

#include <string>

#include "net/url.h"

namespace ktv {

// "GET <escaped path> HTTP/1.1", Host (never with the port; an IPv6 literal in brackets), Authorization:
// Basic only when HasLogin, User-Agent, "Connection: close", each ended by CR LF, then the empty line. No
// body. Control characters in the host are left out, so no address can add lines of its own to the request.
std::string BuildHTTPGetRequest(const tURLParts& Parts);

// The program's version as four dotted numbers ("1.0.0.1"), from the build's project version; "Unknown"
// when the build did not give one in that form. Never fails.
std::string GetProgramVersion();

// Checks and normalises a version text: one to four dotted decimal numbers of 0..65535 each, missing ones
// counted as 0 ("1.2" gives "1.2.0.0"); "Unknown" for anything else.
std::string FormatProgramVersion(const std::string& Version);

}  // namespace ktv
