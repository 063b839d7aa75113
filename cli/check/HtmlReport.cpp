#include "cli/check/HtmlReport.h"

#include <algorithm>
#include <array>
#include <map>
#include <span>
#include <vector>

#include "check/OutcomeColumns.h"
#include "platform/AsciiCase.h"
#include "platform/HtmlEscape.h"

namespace vornakle {

namespace {

std::string EscapeHtml(std::string_view utf8) {
    return vornakle::EscapeHtml(utf8, HtmlControls::Replace);
}

// The colour of each class, in the order of LinkClass.
constexpr auto kClassColours = std::to_array<std::string_view>(
    {"#c62828", "#ef6c00", "#8e24aa", "#f9a825", "#546e7a", "#1565c0", "#00838f", "#2e7d32",
     "#78909c", "#9e9e9e", "#bdbdbd"});
static_assert(kClassColours.size() == static_cast<std::size_t>(LinkClass::Excluded) + 1);

std::string_view ColourOf(LinkClass linkClass) {
    return kClassColours[static_cast<std::size_t>(linkClass)];
}

// The bar chart's geometry, in the SVG's own units.
constexpr int kChartWidth = 420;
constexpr int kBarHeight = 20;
constexpr int kBarGap = 6;
constexpr int kLabelWidth = 80;
constexpr int kCountWidth = 50;

constexpr char kStyle[] = R"css(
:root { color-scheme: light dark; --line: #ddd; --muted: #666; }
body { font: 15px/1.45 system-ui, sans-serif; margin: 0 auto; max-width: 80em; padding: 1em; }
h1 { font-size: 1.5em; margin: 0 0 .3em; }
h2 { font-size: 1.2em; margin: 1.5em 0 .5em; }
h3 { font-size: 1em; margin: 1.2em 0 .3em; overflow-wrap: anywhere; }
.facts { color: var(--muted); margin: 0; }
.facts code { overflow-wrap: anywhere; }
svg.chart { width: 100%; max-width: 32em; height: auto; }
svg.chart text { font: 13px system-ui, sans-serif; fill: currentColor; }
table { border-collapse: collapse; width: 100%; }
th, td { border-bottom: 1px solid var(--line); padding: .3em .5em; text-align: left;
         vertical-align: top; }
td { overflow-wrap: anywhere; }
th.sortable { cursor: pointer; }
th[aria-sort=ascending]::after { content: " \25B2"; }
th[aria-sort=descending]::after { content: " \25BC"; }
.class { border-radius: .7em; color: #fff; display: inline-block; font-size: .85em;
         padding: 0 .5em; white-space: nowrap; }
nav.filter label { margin-right: .8em; white-space: nowrap; }
summary { cursor: pointer; font-size: 1.2em; font-weight: bold; margin: 1.5em 0 .5em; }
@media (max-width: 40em) {
  table, tbody, tr, td { display: block; }
  thead { display: none; }
  tr { border-bottom: 1px solid var(--line); padding: .4em 0; }
  td { border: 0; padding: .1em 0; }
  td:empty { display: none; }
  td::before { color: var(--muted); content: attr(data-label) ": "; }
}
@media print {
  nav.filter { display: none; }
  details::details-content { content-visibility: visible; display: block; }
  a { color: inherit; }
  tr { break-inside: avoid; }
}
)css";

// Sorting by a heading's column (numbers within texts by their value, again
// the other way on a second click) and the class filter, which the page shows only when
// script runs; printing opens the collapsed section.
constexpr char kScript[] = R"js(
var order = new Intl.Collator(undefined, { numeric: true, sensitivity: "base" });
document.querySelectorAll("table.links").forEach(function (table) {
  table.querySelectorAll("th").forEach(function (th) {
    th.classList.add("sortable");
    th.addEventListener("click", function () {
      var up = th.getAttribute("aria-sort") !== "ascending", column = th.cellIndex;
      table.querySelectorAll("th").forEach(function (other) { other.removeAttribute("aria-sort"); });
      th.setAttribute("aria-sort", up ? "ascending" : "descending");
      var rows = Array.from(table.tBodies[0].rows), text = function (row) {
        return row.cells[column].textContent;
      };
      rows.sort(function (a, b) { return order.compare(text(a), text(b)) * (up ? 1 : -1); });
      rows.forEach(function (row) { table.tBodies[0].appendChild(row); });
    });
  });
});
var filter = document.querySelector("nav.filter");
filter.hidden = false;
filter.addEventListener("change", function (event) {
  document.body.classList.toggle("hide-" + event.target.value, !event.target.checked);
});
window.addEventListener("beforeprint", function () {
  document.querySelectorAll("details").forEach(function (details) { details.open = true; });
});
)js";

// One link as the page shows it: its cells in the order of OutcomeColumns,
// UTF-8 and not yet escaped.
struct ReportRow {
    std::vector<RecordField> Cells;
    std::string Folder;
    LinkClass Class = LinkClass::Ok;
    bool Bad = false;
};

// A URL as a link when a browser may follow it safely (http, https); any
// other (javascript:, data:, file:) as text only.
std::string UrlCell(const std::string& url) {
    const std::string lower = AsciiLowerCase(url.substr(0, url.find(':') + 1));
    if (lower != "http:" && lower != "https:") {
        return EscapeHtml(url);
    }
    const std::string escaped = EscapeHtml(url);
    return "<a href=\"" + escaped + "\" rel=\"noreferrer\">" + escaped + "</a>";
}

class HtmlReportWriter : public ResultWriter {
public:
    std::string Record(const LinkRecord& link, const LinkOutcome& outcome) override {
        rows_.push_back({OutcomeFields(link, outcome), DisplayUtf8(link.Folder), outcome.Class(),
                         outcome.CountsAsBad()});
        return std::string();
    }

    std::string End(const RunFacts& facts) override {
        std::string page =
            "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
            "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
            "<title>Link report: " +
            EscapeHtml(facts.Source) + "</title>\n<style>" + kStyle + ClassStyles() +
            "</style>\n</head>\n<body>\n";
        page += Summary(facts);
        page += Filter();
        std::vector<const ReportRow*> bad;
        std::vector<const ReportRow*> rest;
        for (const ReportRow& row : rows_) {
            (row.Bad ? bad : rest).push_back(&row);
        }
        page += "<section id=\"bad\">\n<h2>Bad links (" + std::to_string(bad.size()) + ")</h2>\n";
        if (bad.empty()) {
            page += "<p>None.</p>\n";
        }
        // Grouped by folder, the folders in the order the scan met them.
        std::vector<std::string> folders;
        std::map<std::string, std::vector<const ReportRow*>> byFolder;
        for (const ReportRow* row : bad) {
            auto& group = byFolder[row->Folder];
            if (group.empty()) {
                folders.push_back(row->Folder);
            }
            group.push_back(row);
        }
        for (const std::string& folder : folders) {
            page += "<h3>" + EscapeHtml(folder.empty() ? std::string("(no folder)") : folder) +
                    "</h3>\n" + Table(byFolder[folder], Grouping::InFolder);
        }
        page += "</section>\n<details id=\"rest\">\n<summary>Other links (" +
                std::to_string(rest.size()) + ")</summary>\n" + Table(rest, Grouping::WithFolder) +
                "</details>\n";
        page += "<script>" + std::string(kScript) + "</script>\n</body>\n</html>\n";
        return page;
    }

private:
    enum class Grouping { InFolder, WithFolder };

    // The classes present, in the summary's order (LinkClass's), with their
    // counts.
    std::map<LinkClass, std::size_t> ClassCounts() const {
        std::map<LinkClass, std::size_t> counts;
        for (const ReportRow& row : rows_) {
            ++counts[row.Class];
        }
        return counts;
    }

    std::string ClassStyles() const {
        std::string styles;
        for (std::size_t index = 0; index < kClassColours.size(); ++index) {
            const std::string name(ClassToken(static_cast<LinkClass>(index)));
            styles +=
                ".c-" + name + " { background: " + std::string(kClassColours[index]) + "; }\n";
            styles += ".hide-" + name + " tr.r-" + name + " { display: none; }\n";
        }
        return styles;
    }

    std::string Summary(const RunFacts& facts) const {
        std::string options;
        for (const std::string& option : facts.Options) {
            options += (options.empty() ? "" : " ") + option;
        }
        std::string html = "<header>\n<h1>Link report: " + EscapeHtml(facts.Source) +
                           "</h1>\n<p class=\"facts\">" + EscapeHtml(facts.Program) + ", from " +
                           IsoDateTime(facts.Started) + " to " + IsoDateTime(facts.Ended) + ": " +
                           std::to_string(rows_.size()) + " links shown, " +
                           std::to_string(facts.Checked) + " of " + std::to_string(facts.Links) +
                           " done";
        if (facts.Interrupted) {
            html += "; <strong>interrupted</strong>";
        }
        html += ".<br>Options: <code>" +
                EscapeHtml(options.empty() ? std::string("none") : options) +
                "</code></p>\n</header>\n";
        html += "<section id=\"summary\">\n<h2>Classes</h2>\n" + Chart() + "</section>\n";
        return html;
    }

    std::string Chart() const {
        const std::map<LinkClass, std::size_t> counts = ClassCounts();
        std::size_t largest = 1;
        for (const auto& entry : counts) {
            largest = std::max(largest, entry.second);
        }
        const int height =
            std::max<int>(1, static_cast<int>(counts.size())) * (kBarHeight + kBarGap);
        std::string svg = "<svg class=\"chart\" viewBox=\"0 0 " + std::to_string(kChartWidth) +
                          " " + std::to_string(height) +
                          "\" role=\"img\" aria-labelledby=\"chart-title\">\n<title "
                          "id=\"chart-title\">Links per class</title>\n";
        const int room = kChartWidth - kLabelWidth - kCountWidth;
        int top = 0;
        for (const auto& [linkClass, count] : counts) {
            const std::string name(ClassToken(linkClass));
            const int width =
                std::max(1, static_cast<int>(static_cast<double>(count) * room / largest));
            const std::string middle = std::to_string(top + kBarHeight / 2);
            svg += "<g class=\"bar\" data-class=\"" + name + "\"><text x=\"0\" y=\"" + middle +
                   "\" dominant-baseline=\"middle\">" + name + "</text><rect x=\"" +
                   std::to_string(kLabelWidth) + "\" y=\"" + std::to_string(top) + "\" width=\"" +
                   std::to_string(width) + "\" height=\"" + std::to_string(kBarHeight) +
                   "\" fill=\"" + std::string(ColourOf(linkClass)) + "\"/><text x=\"" +
                   std::to_string(kLabelWidth + width + kBarGap) + "\" y=\"" + middle +
                   "\" dominant-baseline=\"middle\" class=\"count\">" + std::to_string(count) +
                   "</text></g>\n";
            top += kBarHeight + kBarGap;
        }
        return svg + "</svg>\n";
    }

    std::string Filter() const {
        std::string html = "<nav class=\"filter\" hidden>Show: ";
        for (const auto& entry : ClassCounts()) {
            const std::string name(ClassToken(entry.first));
            html += "<label><input type=\"checkbox\" value=\"" + name + "\" checked> " + name +
                    "</label>";
        }
        return html + "</nav>\n";
    }

    // A column of OutcomeColumns per column of the table, but the folder
    // where the table is one folder's and a column no row fills.
    std::string Table(const std::vector<const ReportRow*>& rows, Grouping grouping) const {
        const std::span<const OutcomeColumn> columns = OutcomeColumns();
        std::vector<std::size_t> shown;
        for (std::size_t column = 0; column < columns.size(); ++column) {
            const bool filled = std::any_of(
                rows.begin(), rows.end(),
                [column](const ReportRow* row) { return !row->Cells[column].Value.empty(); });
            if (filled &&
                (grouping == Grouping::WithFolder || columns[column].Key != kFolderColumn)) {
                shown.push_back(column);
            }
        }
        std::string html = "<table class=\"links\">\n<thead><tr>";
        for (const std::size_t column : shown) {
            html += "<th>" + std::string(columns[column].Heading) + "</th>";
        }
        html += "</tr></thead>\n<tbody>\n";
        for (const ReportRow* row : rows) {
            const std::string name(ClassToken(row->Class));
            html += "<tr class=\"r-" + name + "\">";
            for (const std::size_t column : shown) {
                const std::string& value = row->Cells[column].Value;
                html += "<td data-label=\"" + std::string(columns[column].Heading) + "\">";
                if (columns[column].Key == kClassColumn) {
                    html += "<span class=\"class c-" + name + "\">" + name + "</span>";
                } else {
                    html += columns[column].Kind == ColumnKind::Url ? UrlCell(value)
                                                                    : EscapeHtml(value);
                }
                html += "</td>";
            }
            html += "</tr>\n";
        }
        return html + "</tbody>\n</table>\n";
    }

    std::vector<ReportRow> rows_;
};

}  // namespace

std::unique_ptr<ResultWriter> MakeHtmlReportWriter() {
    return std::make_unique<HtmlReportWriter>();
}

}  // namespace vornakle
