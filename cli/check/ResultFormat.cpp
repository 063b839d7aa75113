#include "cli/check/ResultFormat.h"

#include <QString>

#include "check/LinkCheck.h"
#include "cli/check/HtmlReport.h"
#include "platform/TextDecoding.h"
#include "store/LinkStatus.h"

namespace vornakle {

namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

bool IsControl(unsigned char character) {
    return character < 0x20 || character == 0x7F;
}

class TextWriter : public ResultWriter {
public:
    std::string Record(const LinkRecord& link, const CheckResult& result,
                       const RecordExtras& extras) override {
        const std::int32_t status = result.Status;
        std::string line;
        for (const std::string* field : {&link.Folder, &link.Name, &link.Url}) {
            line += EscapeTextField(DisplayUtf8(*field));
            line += '\t';
        }
        line += std::to_string(status);
        line += '\t';
        line += EscapeTextField(StatusText(status));
        line += '\t';
        line += ClassText(result, extras);
        line += '\t';
        line += EscapeTextField(ReasonColumn(result, extras));
        line += '\t';
        line += EscapeTextField(DisplayUtf8(result.FinalUrl));
        line += '\t';
        line += FailingSinceText(extras);
        line += '\t';
        line += FailuresText(extras);
        line += '\t';
        line += EscapeTextField(extras.ArchiveUrl);
        line += '\n';
        return line;
    }
};

// Lines end in CR LF as RFC 4180 section 2 asks.
class CsvWriter : public ResultWriter {
public:
    std::string Header() const override {
        return "folder,name,url,status,status_text,class,reason,final_url,failing_since,"
               "failures,archive_url\r\n";
    }
    std::string Record(const LinkRecord& link, const CheckResult& result,
                       const RecordExtras& extras) override {
        const std::int32_t status = result.Status;
        std::string line;
        for (const std::string* field : {&link.Folder, &link.Name, &link.Url}) {
            line += QuoteCsvField(DisplayUtf8(*field));
            line += ',';
        }
        line += std::to_string(status);
        line += ',';
        line += QuoteCsvField(StatusText(status));
        line += ',';
        line += ClassText(result, extras);
        line += ',';
        line += QuoteCsvField(ReasonColumn(result, extras));
        line += ',';
        line += QuoteCsvField(DisplayUtf8(result.FinalUrl));
        line += ',';
        line += FailingSinceText(extras);
        line += ',';
        line += FailuresText(extras);
        line += ',';
        line += QuoteCsvField(extras.ArchiveUrl);
        line += "\r\n";
        return line;
    }
};

// One object per line (JSON Lines), so a consumer can read results as they
// come.
class JsonWriter : public ResultWriter {
public:
    std::string Record(const LinkRecord& link, const CheckResult& result,
                       const RecordExtras& extras) override {
        const std::int32_t status = result.Status;
        std::string line = "{\"folder\":";
        line += JsonString(DisplayUtf8(link.Folder));
        line += ",\"name\":";
        line += JsonString(DisplayUtf8(link.Name));
        line += ",\"url\":";
        line += JsonString(DisplayUtf8(link.Url));
        line += ",\"status\":";
        line += std::to_string(status);
        line += ",\"status_text\":";
        line += JsonString(StatusText(status));
        line += ",\"class\":";
        line += JsonString(ClassText(result, extras));
        line += ",\"reason\":";
        line += JsonString(ReasonColumn(result, extras));
        line += ",\"final_url\":";
        line += JsonString(DisplayUtf8(result.FinalUrl));
        line += ",\"failing_since\":";
        line += JsonString(FailingSinceText(extras));
        line += ",\"failures\":";
        // No history, no count: null rather than a 0 that claims one.
        line += extras.Kept ? FailuresText(extras) : std::string("null");
        line += ",\"archive_url\":";
        line += JsonString(extras.ArchiveUrl);
        line += "}\n";
        return line;
    }
};

}  // namespace

bool CountsAsBad(const CheckResult& result, const RecordExtras& extras) {
    return IsBadResult(result) && !extras.Unconfirmed && !extras.Excluded;
}

std::string_view ClassText(const CheckResult& result, const RecordExtras& extras) {
    if (extras.Excluded) {
        return "excluded";
    }
    return extras.Unconfirmed ? "failing" : ResultClass(result);
}

std::string ReasonColumn(const CheckResult& result, const RecordExtras& extras) {
    return extras.Cached ? std::string("cached") : DisplayUtf8(ReasonText(result));
}

std::string FailingSinceText(const RecordExtras& extras) {
    return extras.FailingSince ? IsoDateTime(*extras.FailingSince) : std::string();
}

std::string FailuresText(const RecordExtras& extras) {
    return extras.Kept ? std::to_string(extras.Failures) : std::string();
}

std::unique_ptr<ResultWriter> MakeResultWriter(TOutputFormat format) {
    switch (format) {
        case TOutputFormat::Csv:
            return std::make_unique<CsvWriter>();
        case TOutputFormat::Json:
            return std::make_unique<JsonWriter>();
        case TOutputFormat::Html:
            return MakeHtmlReportWriter();
        case TOutputFormat::Text:
            break;
    }
    return std::make_unique<TextWriter>();
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
                record += field.IsNumber ? field.Value : JsonString(field.Value);
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

std::string DisplayUtf8(const std::string& bytes) {
    if (IsValidUtf8(bytes)) {
        return bytes;
    }
    return DisplayText(bytes).toUtf8().toStdString();
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
