#pragma once

#include <memory>

#include "cli/check/ResultFormat.h"

namespace vornakle {

// The results as one page for a browser (--format html), whole in itself:
// its style, its bar chart (SVG) and a few lines of script are inline, so
// opening it asks nothing of the network. A summary (the run's times,
// source and options, the count of each class as bars) comes first, then
// the bad links grouped by folder, then every other link in a section that
// starts collapsed. Each table sorts by a column when its heading is
// clicked, and the classes shown can be chosen; without script the page
// shows everything. Every text is escaped, and only http and https
// addresses become links. Narrow screens get one block per link, print gets
// every section open.
std::unique_ptr<ResultWriter> MakeHtmlReportWriter();

}  // namespace vornakle
