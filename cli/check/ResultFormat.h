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
enum class TOutputFormat { Text, Csv, Json };

// What a record carries beyond the check's result: what the history of
// checks says of it, and the archived copy of a dead link.
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
                               const RecordExtras& extras) const = 0;
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
