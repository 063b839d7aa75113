#pragma once

namespace vornakle {

class LinkItems;

// Whoever checks links for a list: the main window, which owns the one HTTP
// client. The report window checks its items through it.
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
};

}  // namespace vornakle
