#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "check/CheckResult.h"
#include "check/RotRules.h"

namespace vornakle {

// The refusal pages of the big CDNs, bot managers and website firewalls,
// told by what they always carry: a header line of the service and the
// shape of its page. Each has its own signal; all keep programs out where a
// browser gets through (Blocked). An ordinary 403 page is none of them.
//
// - access-denied-reference: Akamai's "Access Denied" with "Reference
//   #18.…" (Server: AkamaiGHost, or its error host edgesuite.net);
// - incident-id: Imperva (Incapsula) "Incident ID" with its X-Iinfo header
//   or its _Incapsula_Resource script;
// - captcha-delivery: DataDome's captcha (captcha-delivery.com), or its
//   x-datadome header on a refusal;
// - press-and-hold: PerimeterX (HUMAN), its px-captcha or _pxAppId, or
//   "Press & Hold" on a challenge;
// - firewall-block: Sucuri's WebSite Firewall (its name on the page, or
//   x-sucuri-id with an "Access Denied" page of Sucuri's), Wordfence's
//   block page, Cloudflare's "Sorry, you have been blocked" (cf-ray).
//
// Page is the reply's page when it was read (its title, first heading and
// text), html its bytes.
std::optional<Clue> BotWallOfReply(std::int32_t status, const std::string& header,
                                   const PageSample* page, std::string_view html);

}  // namespace vornakle
