#pragma once

#include <functional>

namespace vornakle {

class LinkItems;

// Whoever checks links for a list: the main window, which owns the one HTTP
// client and the settings of its checks. The report window checks its items
// through it.
class LinkTester {
public:
    virtual ~LinkTester() = default;

    // Checks the link of a row and shows its new status; never throws for
    // network failures. Does nothing while another check is under way.
    virtual void TestItem(LinkItems& Items, int Row) = 0;
    // A check is waiting for the network.
    virtual bool CheckRunning() const = 0;
    // Ends the check under way at once.
    virtual void AbortCheck() = 0;

    // Whether TestItems checks many links at once (current rules); else a
    // list is checked row by row through TestItem.
    virtual bool ChecksManyAtOnce() const = 0;
    // Checks every row's link at once and returns when all are done or the
    // check was aborted; Step runs once per link whose result came, after
    // its row shows it. A link whose check was aborted keeps its status.
    virtual void TestItems(LinkItems& Items, const std::function<void()>& Step) = 0;
};

}  // namespace vornakle
