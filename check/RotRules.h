#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "check/CheckResult.h"
#include "check/PagePhrases.h"

namespace vornakle {

// The rules that tell rot a reply number does not show, as pure functions
// over what a current check found: the hops, the page's title and first
// heading, and the page of a made-up address next to it.

// What a GET of a page showed: the reply number, the body bytes read (at most
// kRotPageBytes), and the title and first heading as text (blanks collapsed).
struct PageSample {
    std::string Url;  // the address asked
    std::int32_t Status = 0;
    std::size_t Size = 0;
    std::string Title;
    std::string Heading;
    // Where its redirections led (the address asked when there were none).
    std::string FinalUrl{};
    // What a person reads first, and the refresh the page asks for
    // (PageLandmarks).
    std::string Text{};
    std::string Refresh{};
    // The code of its only script when it shows nothing else.
    std::string Script{};
};

// A page is read this far: titles and first headings come early, and a
// server streaming without end must not hold the check.
inline constexpr std::size_t kRotPageBytes = 256 * 1024;

// A refresh that sends the browser on within this many seconds is a
// redirection a person does not read the page before.
inline constexpr int kMaxRefreshSeconds = 10;

// Whether path is the front page of a site: its root, an index file there,
// or a language's root ("/en/", "/pt_BR", "/de/index.html"; an ISO 639-1
// code, so "/tv" or "/go" are ordinary sections).
bool IsFrontPagePath(std::string_view path);

// Whether url names more than the site's front page: its path goes beyond
// it ("/x", not "/", "/?q", "/index.html" or "/en/"), or its query chooses
// a page ("/?p=123", "/index.php?id=5"; IsQueryChosen).
bool IsDeepLink(std::string_view url);

// The hops went through permanent redirections only (301, 308), ended on a
// 2xx reply, and at an address that differs from the first by more than a
// trailing slash or the letter case of scheme and host, a default port or a
// fragment: the bookmark should point there.
bool IsPermanentMove(const std::vector<RequestHop>& hops);

// What is known of the last hop's page beyond its address: whether it is
// the page its site's root serves (SameAsRoot).
enum class LastPage { ByAddress, SameAsRoot };

// For a deep link whose redirections ended with 2xx: on the sign-in page of
// its site (sign-in-redirect), on the front page of its site
// (front-page-redirect) or of another (moved-away), or at an error page's
// own address (its last path part or a query key named for an error:
// "/error", "/404.html", "?aspxerrorpath="; a section such as "/docs/errors"
// is none) that the link's own address does not name, on another path
// (error-page-redirect). The clue's detail is the final URL.
std::optional<Clue> RedirectSuspicion(const std::vector<RequestHop>& hops,
                                      LastPage lastPage = LastPage::ByAddress);

// What the hops alone say, RedirectSuspicion deciding before
// IsPermanentMove (a move for good to the front page is a removal): the
// class, and for Suspect its clue.
std::pair<Finding, Clue> RotOfHops(const std::vector<RequestHop>& hops,
                                   LastPage lastPage = LastPage::ByAddress);

// Whether a redirected deep link's final page might be its site's front page
// although its address does not say so: the hops moved it to another path,
// whose page the site's root may serve.
bool NeedsRootComparison(const std::vector<RequestHop>& hops);

// The clue of a page whose title or first heading says it is an error page:
// it is nothing but an error text ("Page not found", "404 Not Found"), or
// it has one beside other words ("Page not found | Shop") and madeUp, the
// page of a made-up address of the same shape, is a 2xx page with the same
// other words. A title that only speaks of errors ("Error 404: Costume Not
// Found - T-Shirt") on a site that answers made-up addresses with a 404 is
// none.
std::optional<Clue> ErrorPageSuspicion(const PageSample& page, const PageSample* madeUp = nullptr);

// The clue of an empty 2xx page (no body, or blanks only) when the made-up
// address next to it got a 404 or 410: the site tells missing pages apart,
// and this one has nothing. Its detail is the made-up address and status.
std::optional<Clue> EmptyPageSuspicion(const PageSample& madeUp);

// The clue of a page that offers its domain for sale, in its title, first
// heading or first text; its detail is the phrase.
std::optional<Clue> ParkedSuspicion(const PageSample& page);

// Whether page is what the site serves for any address: the made-up sibling
// got the same status, the same title (not none) and a size within a few
// percent. A page with no heading and no text is a shell that scripts fill,
// never the same as anything.
bool SameAsMadeUp(const PageSample& page, const PageSample& madeUp);

// Whether page is the one the site's root leads to: the same final address,
// or the same status, title and size as SameAsMadeUp compares them, the
// same heading and nine in ten of its words (pages of one template share
// the rest).
bool SameAsRoot(const PageSample& page, const PageSample& root);

// The address next to url that no site has, shaped like it: scheme, host and
// folder kept, its last path part replaced by token with the part's
// extension ("/news/x7.html" for "/news/item.html", "/blog/x7/" for
// "/blog/post/"), the query dropped; for a page chosen by its query
// (IsQueryChosen) the same path and keys with made-up values
// ("/watch?v=x7..."; MadeUpQuery). With an empty token, the shape itself:
// links of one shape on one site share it. Read as a browser reads an
// address; empty for a url that is no web address.
std::string MadeUpSibling(std::string_view url, std::string_view token);

// The shape of url's made-up sibling, as one key: its site, and the query
// keys of a page chosen by its query (MadeUpSibling with an empty token), or
// else how many folders deep it lies, its extension and a trailing slash
// ("http://a.example/2.html" for "/news/item.html" and "/blog/post.html").
// A site serves the pages of one shape alike whatever their folder, and a
// collection with many folders costs few looks.
std::string MadeUpShape(std::string_view url);

// The root of url's site: scheme, user information, host and port, path
// "/", as a browser reads the link "/"; empty for a url that is no web
// address.
std::string RootOf(std::string_view url);

// The address a refresh (a <meta http-equiv="refresh"> content, "5;
// url=/next", read as the HTML standard reads it) sends a browser on to
// from the page at pageUrl, when it does so within kMaxRefreshSeconds and
// to another address; none otherwise (a page that reloads itself stays, an
// address the URL Standard refuses leads nowhere). The target is resolved
// by the URL Standard (ResolveWebUrl, which a Refresh header's target
// shares), whatever its scheme; the caller decides whether to ask it.
std::optional<std::string> RefreshTarget(std::string_view refresh, std::string_view pageUrl);

// The address a page's script (ScriptAddress) sends a browser on to from
// the page at pageUrl, when that is another address.
std::optional<std::string> ScriptTarget(std::string_view script, std::string_view pageUrl);

}  // namespace vornakle
