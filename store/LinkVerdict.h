#pragma once

#include <memory>
#include <string>

#include "store/LinkStatus.h"

namespace vornakle {

// The checker's account of a link (check/LinkOutcome.h). The store keeps it
// whole for the lists without reading it: what a list shows of it, in
// which words, is the program's (report/).
struct LinkOutcome;

// What a check under current rules found about a link beyond its status,
// kept on the link node for the lists while the program runs. Never written
// to a shortcut file: the next start knows only the status. It goes with
// the status it was filed with (TBookTree::FileStatus).
struct LinkVerdict {
    // How the link stands, where the status alone does not tell: a page
    // behind a sign-in is fine whatever its reply number, one the site keeps
    // from programs is in doubt, and one that answers 2xx but is probably
    // gone is bad.
    LinkStanding Standing = LinkStanding::Bad;
    // What the check found, whole: the columns a list reads from the
    // outcome's column table and the status column's tooltip show it, made
    // when a view asks (LinkItems::SetStatusNote). Null where the check kept
    // none.
    std::shared_ptr<const LinkOutcome> Outcome = nullptr;
};

}  // namespace vornakle
