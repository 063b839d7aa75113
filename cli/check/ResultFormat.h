#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "check/CollectionLinks.h"
#include "check/LinkOutcome.h"
#include "history/AddressHistory.h"
#include "platform/TextDecoding.h"

namespace vornakle {

// The output formats of the checker. Every field of a link (folder path,
// name, URL) is bytes; it is written as the desktop program shows it: UTF-8
// bytes unchanged, anything else read as Windows-1252 (the code page
// shortcuts made on Windows use), so every byte stays a character and the
// output is valid UTF-8 whatever the collection holds.
// Html is one page for a browser, written once the run has ended.
enum class TOutputFormat { Text, Csv, Json, Html };

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

// One record per link, in the order given: the columns of OutcomeColumns,
// each as its format writes it.
class ResultWriter {
public:
    virtual ~ResultWriter() = default;
    // What goes before the first record (the CSV header row).
    virtual std::string Header() const { return std::string(); }
    virtual std::string Record(const LinkRecord& link, const LinkOutcome& outcome) = 0;
    // What follows the last record: the whole page of a format that needs
    // every record first.
    virtual std::string End(const RunFacts& /*facts*/) { return std::string(); }
};

std::unique_ptr<ResultWriter> MakeResultWriter(TOutputFormat format);

// A field of a record: its key, which the CSV header row and JSON name, and
// its text in UTF-8; a number goes bare into JSON, as null when empty.
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

// A link's outcome as the fields of OutcomeColumns, decoded for display;
// a cell the run has nothing for is empty.
std::vector<RecordField> OutcomeFields(const LinkRecord& link, const LinkOutcome& outcome);

// Text format: tab-separated fields; a backslash, a tab, a line break and
// every other control character are written as escapes (\\, \t, \n, \r,
// \xHH), so that one record stays one line.
std::string EscapeTextField(std::string_view utf8);
// RFC 4180: a field holding a comma, a quote, CR or LF goes in quotes, with
// every quote doubled.
std::string QuoteCsvField(std::string_view utf8);
// A JSON string with its quotes (RFC 8259 section 7): quote, backslash and
// the control characters below U+0020 escaped, the rest as UTF-8.
std::string JsonString(std::string_view utf8);

}  // namespace vornakle
