#include "check/OutcomeColumns.h"
#include "cli/check/ResultFormat.h"

#include <gtest/gtest.h>

#include <string>

namespace vornakle {
namespace {

struct EscapeCase {
    std::string input;
    std::string text;
    std::string csv;
    std::string json;
};

TEST(CheckFormat, FieldEscapingKeepsOneRecordPerLine) {
    const EscapeCase cases[] = {
        {"plain", "plain", "plain", "\"plain\""},
        {"", "", "", "\"\""},
        {"a,b", "a,b", "\"a,b\"", "\"a,b\""},
        {"say \"hi\"", "say \"hi\"", "\"say \"\"hi\"\"\"", "\"say \\\"hi\\\"\""},
        {"line\nbreak", "line\\nbreak", "\"line\nbreak\"", "\"line\\nbreak\""},
        {"cr\rlf", "cr\\rlf", "\"cr\rlf\"", "\"cr\\rlf\""},
        {"tab\there", "tab\\there", "tab\there", "\"tab\\there\""},
        {"back\\slash", "back\\\\slash", "back\\slash", "\"back\\\\slash\""},
        {std::string("nul\0x", 5), "nul\\x00x", std::string("nul\0x", 5), "\"nul\\u0000x\""},
        {"bell\x07", "bell\\x07", "bell\x07", "\"bell\\u0007\""},
        {"del\x7f", "del\\x7f", "del\x7f", "\"del\x7f\""},
        {"\xc3\xa4rger", "\xc3\xa4rger", "\xc3\xa4rger", "\"\xc3\xa4rger\""},
    };
    for (const EscapeCase& item : cases) {
        SCOPED_TRACE(item.input);
        EXPECT_EQ(EscapeTextField(item.input), item.text);
        EXPECT_EQ(QuoteCsvField(item.input), item.csv);
        EXPECT_EQ(JsonString(item.input), item.json);
    }
}

TEST(CheckFormat, BytesThatAreNotUtf8AreReadAsWindows1252) {
    // Valid UTF-8 stays byte for byte.
    EXPECT_EQ(DisplayUtf8("B\xc3\xbc"
                          "cher"),
              "B\xc3\xbc"
              "cher");
    // A Windows-1252 umlaut, euro sign and quote become their characters.
    EXPECT_EQ(DisplayUtf8("B\xfc"
                          "cher"),
              "B\xc3\xbc"
              "cher");
    EXPECT_EQ(DisplayUtf8("\x80 \x93x\x94"), "\xe2\x82\xac \xe2\x80\x9cx\xe2\x80\x9d");
    // A byte the code page leaves undefined is kept as its C1 control, not
    // dropped or replaced.
    EXPECT_EQ(DisplayUtf8("a\x81"
                          "b"),
              "a\xc2\x81"
              "b");
    // A truncated UTF-8 sequence makes the whole field Windows-1252.
    EXPECT_EQ(DisplayUtf8("\xc3"), "\xc3\x83");
}

TEST(CheckFormat, RecordsOfEachFormat) {
    const LinkRecord link{"/fav/Bl\xe4tter", "a,\"b\"", "http://h/\x01"};
    // The reason's detail and the final URL may hold a server's bytes:
    // escaped like any field.
    CheckResult malformed =
        CheckResult::Failed(FailureReason::MalformedReply, "HTTP/1.0 \"2\"\t,\xff");
    malformed.FinalUrl = "http://h/\t,\xff";
    CheckResult refused = CheckResult::Failed(FailureReason::Refused);
    refused.FinalUrl = "http://h/\"q\"";
    // What the history says: a run of failures not confirmed yet, and a
    // result the history gave instead of a check.
    const HistoryFacts failing{HistoryTime(std::chrono::seconds(1740808800)), 3, false};
    const LinkOutcome unconfirmed{malformed, OutcomeState::Checked,
                                  HistoryFacts{failing.FailingSince, 3, true},
                                  "https://a/web/2020/http://h/,x"};
    const LinkOutcome cached{CheckResult::Answered(LinkStatus::Reply(304)), OutcomeState::Cached,
                             HistoryFacts{}};
    EXPECT_EQ(
        MakeResultWriter(TOutputFormat::Text)
            ->Record(link, {CheckResult::Answered(LinkStatus::Reply(404))}),
        "/fav/Bl\xc3\xa4tter\ta,\"b\"\thttp://h/\\x01\t404\tNicht gefunden\tinvalid\t\t\t\t\t\n");
    EXPECT_EQ(MakeResultWriter(TOutputFormat::Text)->Record(link, unconfirmed),
              "/fav/Bl\xc3\xa4tter\ta,\"b\"\thttp://h/\\x01\t5\t\tfailing\t"
              "malformed-reply: HTTP/1.0 \"2\"\\t,\xc3\xbf\thttp://h/\\t,\xc3\xbf\t"
              "2025-03-01T06:00:00Z\t3\thttps://a/web/2020/http://h/,x\n");
    EXPECT_EQ(MakeResultWriter(TOutputFormat::Text)->Header(), "");
    EXPECT_EQ(MakeResultWriter(TOutputFormat::Csv)->Header(),
              "folder,name,url,status,status_text,class,reason,final_url,failing_since,failures,"
              "archive_url\r\n");
    EXPECT_EQ(MakeResultWriter(TOutputFormat::Csv)->Record(link, cached),
              "/fav/Bl\xc3\xa4tter,\"a,\"\"b\"\"\",http://h/\x01,304,Nicht "
              "ge\xc3\xa4ndert,ok,cached,,,0,\r\n");
    EXPECT_EQ(MakeResultWriter(TOutputFormat::Csv)->Record(link, unconfirmed),
              "/fav/Bl\xc3\xa4tter,\"a,\"\"b\"\"\",http://h/\x01,5,,failing,"
              "\"malformed-reply: HTTP/1.0 \"\"2\"\"\t,\xc3\xbf\",\"http://h/\t,\xc3\xbf\","
              "2025-03-01T06:00:00Z,3,\"https://a/web/2020/http://h/,x\"\r\n");
    EXPECT_EQ(MakeResultWriter(TOutputFormat::Json)
                  ->Record(link, {refused, OutcomeState::Checked, failing}),
              "{\"folder\":\"/fav/Bl\xc3\xa4tter\",\"name\":\"a,\\\"b\\\"\",\"url\":"
              "\"http://h/\\u0001\",\"status\":5,\"status_text\":\"\",\"class\":\"unknown\","
              "\"reason\":\"refused\",\"final_url\":\"http://h/\\\"q\\\"\",\"failing_since\":"
              "\"2025-03-01T06:00:00Z\",\"failures\":3,\"archive_url\":\"\"}\n");
}

TEST(CheckFormat, StatusClassFollowsTheImageTable) {
    const std::pair<std::int32_t, std::string_view> cases[] = {
        {200, "ok"},      {302, "ok"},      {304, "ok"},      {2, "ok"},        {301, "invalid"},
        {401, "invalid"}, {403, "invalid"}, {404, "invalid"}, {500, "invalid"}, {501, "invalid"},
        {3, "invalid"},   {1, "untested"},  {5, "unknown"},   {201, "unknown"}, {303, "unknown"},
        {502, "unknown"}, {999, "unknown"},
    };
    for (const auto& [status, expected] : cases) {
        EXPECT_EQ(ClassToken(StatusClass(LinkStatus::FromStored(status))), expected) << status;
    }
}

// A new column is one row of the table: each format then writes it, in the
// table's order, under its key or heading.
TEST(CheckFormat, EveryColumnInEveryFormat) {
    const LinkRecord link{"folder-f", "name-n", "http://h/url"};
    CheckResult result = CheckResult::Answered(LinkStatus::Reply(200));
    result.FinalUrl = "http://h/final";
    // Fine, so the page lists it with its folder; every column filled.
    const LinkOutcome outcome{result, OutcomeState::Cached,
                              HistoryFacts{HistoryTime(std::chrono::seconds(1740808800)), 3, false},
                              "http://a/copy"};
    std::string text;
    std::string csv;
    std::string header;
    std::string json = "{";
    const std::unique_ptr<ResultWriter> html = MakeResultWriter(TOutputFormat::Html);
    html->Record(link, outcome);
    const std::string page = html->End(RunFacts{});
    for (const OutcomeColumn& column : OutcomeColumns()) {
        SCOPED_TRACE(column.Key);
        const std::string value = column.Read(link, outcome).value_or("");
        EXPECT_NE(value, "");
        text += (text.empty() ? "" : "\t") + value;
        csv += (csv.empty() ? "" : ",") + value;
        header += (header.empty() ? "" : ",") + std::string(column.Key);
        json += (json == "{" ? "\"" : ",\"") + std::string(column.Key) +
                "\":" + (column.Kind == ColumnKind::Number ? value : "\"" + value + "\"");
        const std::string cell = "<td data-label=\"" + std::string(column.Heading) + "\">" +
                                 (column.Kind == ColumnKind::Url ? "<a href=\"" + value : "");
        EXPECT_NE(page.find("<th>" + std::string(column.Heading) + "</th>"), std::string::npos);
        EXPECT_NE(page.find(cell), std::string::npos) << cell;
        EXPECT_NE(page.find(value), std::string::npos);
    }
    EXPECT_EQ(MakeResultWriter(TOutputFormat::Text)->Record(link, outcome), text + "\n");
    EXPECT_EQ(MakeResultWriter(TOutputFormat::Csv)->Header(), header + "\r\n");
    EXPECT_EQ(MakeResultWriter(TOutputFormat::Csv)->Record(link, outcome), csv + "\r\n");
    EXPECT_EQ(MakeResultWriter(TOutputFormat::Json)->Record(link, outcome), json + "}\n");
}

}  // namespace
}  // namespace vornakle
