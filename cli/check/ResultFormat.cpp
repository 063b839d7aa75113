#include "cli/check/ResultFormat.h"

#include <QString>

#include "check/OutcomeColumns.h"
#include "cli/check/HtmlReport.h"
#include "platform/TextDecoding.h"

namespace vornakle {

namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

bool IsControl(unsigned char character) {
    return character < 0x20 || character == 0x7F;
}

// Text, CSV (lines end in CR LF as RFC 4180 section 2 asks) and JSON Lines
// (one object per line, so a consumer can read results as they come).
class FieldsWriter : public ResultWriter {
public:
    explicit FieldsWriter(TOutputFormat format) : format_(format) {}
    std::string Header() const override {
        return FieldsHeader(format_, OutcomeFields(LinkRecord{}, LinkOutcome{}));
    }
    std::string Record(const LinkRecord& link, const LinkOutcome& outcome) override {
        return FieldsRecord(format_, OutcomeFields(link, outcome));
    }

private:
    TOutputFormat format_;
};

}  // namespace

std::vector<RecordField> OutcomeFields(const LinkRecord& link, const LinkOutcome& outcome) {
    std::vector<RecordField> fields;
    for (const OutcomeColumn& column : OutcomeColumns()) {
        const std::optional<std::string> cell = column.Read(link, outcome);
        fields.push_back({column.Key, cell ? DisplayUtf8(*cell) : std::string(),
                          column.Kind == ColumnKind::Number});
    }
    return fields;
}

std::unique_ptr<ResultWriter> MakeResultWriter(TOutputFormat format) {
    switch (format) {
        case TOutputFormat::Html:
            return MakeHtmlReportWriter();
        case TOutputFormat::Text:
        case TOutputFormat::Csv:
        case TOutputFormat::Json:
            break;
    }
    return std::make_unique<FieldsWriter>(format);
}

// Each piece is appended: GCC 12 warns falsely (-Wrestrict) on
// "literal" + std::string in optimised builds.
std::string FieldsHeader(TOutputFormat format, const std::vector<RecordField>& fields) {
    if (format != TOutputFormat::Csv) {
        return std::string();
    }
    std::string header;
    for (const RecordField& field : fields) {
        header += &field == &fields.front() ? "" : ",";
        header += field.Key;
    }
    return header + "\r\n";
}

std::string FieldsRecord(TOutputFormat format, const std::vector<RecordField>& fields) {
    std::string record;
    for (const RecordField& field : fields) {
        const bool first = &field == &fields.front();
        switch (format) {
            case TOutputFormat::Text:
                record += first ? "" : "\t";
                record += EscapeTextField(field.Value);
                break;
            case TOutputFormat::Csv:
                record += first ? "" : ",";
                record += QuoteCsvField(field.Value);
                break;
            case TOutputFormat::Json:
            case TOutputFormat::Html:
                record += first ? "{" : ",";
                record += JsonString(field.Key);
                record += ':';
                // No count is null rather than a 0 that claims one.
                record += !field.IsNumber       ? JsonString(field.Value)
                          : field.Value.empty() ? std::string("null")
                                                : field.Value;
                break;
        }
    }
    switch (format) {
        case TOutputFormat::Text:
            return record + "\n";
        case TOutputFormat::Csv:
            return record + "\r\n";
        case TOutputFormat::Json:
        case TOutputFormat::Html:
            break;
    }
    return record + "}\n";
}

std::string EscapeTextField(std::string_view utf8) {
    std::string escaped;
    escaped.reserve(utf8.size());
    for (const char character : utf8) {
        const auto code = static_cast<unsigned char>(character);
        switch (character) {
            case '\\':
                escaped += "\\\\";
                break;
            case '\t':
                escaped += "\\t";
                break;
            case '\n':
                escaped += "\\n";
                break;
            case '\r':
                escaped += "\\r";
                break;
            default:
                if (IsControl(code)) {
                    escaped += "\\x";
                    escaped += kHexDigits[code >> 4];
                    escaped += kHexDigits[code & 0xF];
                } else {
                    escaped += character;
                }
        }
    }
    return escaped;
}

std::string QuoteCsvField(std::string_view utf8) {
    if (utf8.find_first_of(",\"\r\n") == std::string_view::npos) {
        return std::string(utf8);
    }
    std::string quoted = "\"";
    for (const char character : utf8) {
        if (character == '"') {
            quoted += '"';
        }
        quoted += character;
    }
    quoted += '"';
    return quoted;
}

std::string JsonString(std::string_view utf8) {
    std::string text = "\"";
    for (const char character : utf8) {
        const auto code = static_cast<unsigned char>(character);
        switch (character) {
            case '"':
                text += "\\\"";
                break;
            case '\\':
                text += "\\\\";
                break;
            case '\b':
                text += "\\b";
                break;
            case '\f':
                text += "\\f";
                break;
            case '\n':
                text += "\\n";
                break;
            case '\r':
                text += "\\r";
                break;
            case '\t':
                text += "\\t";
                break;
            default:
                if (code < 0x20) {
                    text += "\\u00";
                    text += kHexDigits[code >> 4];
                    text += kHexDigits[code & 0xF];
                } else {
                    text += character;
                }
        }
    }
    text += '"';
    return text;
}

}  // namespace vornakle
