#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "check/CheckResult.h"
#include "check/CollectionLinks.h"
#include "history/AddressHistory.h"

namespace vornakle {

// The output formats of the checker. Every field of a link (folder path,
// name, URL) is bytes; it is written as the desktop program shows it: UTF-8
// bytes unchanged, anything else read as Windows-1252 (the code page
// shortcuts made on Windows use), so every byte stays a character and the
// output is valid UTF-8 whatever the collection holds.
// Html is one page for a browser, written once the run has ended.
enum class TOutputFormat { Text, Csv, Json, Html };

// What a record carries beyond the check's result: what the history of
// checks says of it, the archived copy of a dead link, and whether the run
// asked at all.
struct RecordExtras {
    // Whether the run keeps a history; without one its columns stay empty.
    bool Kept = false;
    // The current run of failures (AddressHistory).
    std::optional<HistoryTime> FailingSince;
    int Failures = 0;
    // The result is the history's (--max-age), not a check's.
    bool Cached = false;
    // --confirmed: bad, but not confirmed yet; printed as "failing" and not
    // counted as bad.
    bool Unconfirmed = false;
    // --archive: the snapshot a web archive holds of the page; empty when
    // it holds none or was not asked.
    std::string ArchiveUrl;
    // A filter left the link out: not asked, printed as "excluded" and not
    // counted as bad.
    bool Excluded = false;
};

// Whether a result counts as bad (--bad-only, the exit status): a failing
// link --confirmed does not confirm yet and an excluded one do not.
bool CountsAsBad(const CheckResult& result, const RecordExtras& extras);

// What a report says of the run as a whole.
struct RunFacts {
    std::string Program;  // name and version
    std::string Source;   // what was checked, as given
    // The options of the run, as CheckCommand::Options has them.
    std::vector<std::string> Options;
    HistoryTime Started;
    HistoryTime Ended;
    std::size_t Links = 0;    // of the source
    std::size_t Checked = 0;  // results in; fewer than Links when interrupted
    bool Interrupted = false;
};

// One line (record) per checked link, in the order given: the link's fields,
// the status, its text and class, the reason of a status 5 (empty when the
// server answered) and the final URL (the one whose reply decided; empty
// when nothing was asked), then the history's failing_since (ISO 8601, UTC)
// and failures, and the archive_url.
class ResultWriter {
public:
    virtual ~ResultWriter() = default;
    // What goes before the first record (the CSV header row).
    virtual std::string Header() const { return std::string(); }
    virtual std::string Record(const LinkRecord& link, const CheckResult& result,
                               const RecordExtras& extras) = 0;
    // What follows the last record: the whole page of a format that needs
    // every record first.
    virtual std::string End(const RunFacts& /*facts*/) { return std::string(); }
};

std::unique_ptr<ResultWriter> MakeResultWriter(TOutputFormat format);

// A field of a record that is no check's result (a member of a group of
// duplicates, a change of --update-moved): its key, which the CSV header
// row and JSON name, and its text in UTF-8; a number goes bare into JSON.
struct RecordField {
    std::string_view Key;
    std::string Value;
    bool IsNumber = false;
};

// The CSV header row of such records (empty in the other formats) and one
// record: tab-separated text, a CSV row, or a JSON object on a line, each
// field escaped as the format asks.
std::string FieldsHeader(TOutputFormat format, const std::vector<RecordField>& fields);
std::string FieldsRecord(TOutputFormat format, const std::vector<RecordField>& fields);

// The class a result is printed under: ResultClass, or what the run made of
// it (excluded, failing).
std::string_view ClassText(const CheckResult& result, const RecordExtras& extras);
// The reason column: ReasonText, or "cached" for a result of the history.
std::string ReasonColumn(const CheckResult& result, const RecordExtras& extras);
// The history's columns: failing_since (ISO 8601) and failures, empty
// without a history.
std::string FailingSinceText(const RecordExtras& extras);
std::string FailuresText(const RecordExtras& extras);

// The display decoding of a field: valid UTF-8 as it is, else Windows-1252.
std::string DisplayUtf8(const std::string& bytes);

// Text format: tab-separated fields; a backslash, a tab, a line break and
// every other control character are written as escapes (\\, \t, \n, \r,
// \xHH), so that one record stays one line of seven fields.
std::string EscapeTextField(std::string_view utf8);
// RFC 4180: a field holding a comma, a quote, CR or LF goes in quotes, with
// every quote doubled.
std::string QuoteCsvField(std::string_view utf8);
// A JSON string with its quotes (RFC 8259 section 7): quote, backslash and
// the control characters below U+0020 escaped, the rest as UTF-8.
std::string JsonString(std::string_view utf8);

}  // namespace vornakle
