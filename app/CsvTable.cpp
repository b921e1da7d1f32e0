#include "app/CsvTable.h"

#include <algorithm>
#include <string>

namespace app {
namespace {

constexpr char kUtf8Bom[] = "\xEF\xBB\xBF";

// A spreadsheet runs a cell that starts with one of these as a formula (or, for TAB
// and CR, may drop what follows). Such a field is written quoted behind an
// apostrophe, which spreadsheets take as "this cell is text"; the reader removes one
// apostrophe from a quoted field that has one or more of them before such a
// character. A field that itself starts with apostrophes before such a character
// gets one more, so every field reads back as it was written.
constexpr char kFormulaStarts[] = "=+-@\t\r";
constexpr char kTextMark = '\'';

bool StartsLikeAFormula(const std::string& field) {
    const std::size_t first = field.find_first_not_of(kTextMark);
    return first != std::string::npos &&
           std::char_traits<char>::find(kFormulaStarts, sizeof kFormulaStarts - 1, field[first]) !=
               nullptr;
}

// Reads one record at a time, keeping the line count across quoted line breaks.
class CsvReader {
  public:
    explicit CsvReader(const std::string& text) : text_(text) {
        if (text_.compare(0, sizeof kUtf8Bom - 1, kUtf8Bom) == 0) at_ = sizeof kUtf8Bom - 1;
    }

    bool AtEnd() const { return at_ >= text_.size(); }
    int Line() const { return line_; }

    // False, with `error`, on malformed quoting.
    bool Next(CsvRecord& record, std::string& error) {
        record = CsvRecord{line_, {}};
        for (;;) {
            std::string field;
            if (!ReadField(field, error)) return false;
            record.fields.push_back(std::move(field));
            if (AtEnd()) return true;
            const char separator = text_[at_++];
            if (separator == ',') continue;
            if (separator == '\r' && at_ < text_.size() && text_[at_] == '\n') ++at_;
            ++line_;
            return true;
        }
    }

  private:
    bool ReadField(std::string& field, std::string& error) {
        if (at_ < text_.size() && text_[at_] == '"') return ReadQuoted(field, error);
        const std::size_t end = std::min(text_.find_first_of(",\r\n", at_), text_.size());
        field.assign(text_, at_, end - at_);
        at_ = end;
        if (field.find('"') != std::string::npos) {
            error = "line " + std::to_string(line_) + ": a quote inside a field not in quotes";
            return false;
        }
        return true;
    }

    bool ReadQuoted(std::string& field, std::string& error) {
        const int startLine = line_;
        for (++at_; at_ < text_.size(); ++at_) {
            const char c = text_[at_];
            if (c == '"') {
                if (at_ + 1 < text_.size() && text_[at_ + 1] == '"') {
                    field += '"';
                    ++at_;
                    continue;
                }
                ++at_;
                if (AtEnd() || text_[at_] == ',' || text_[at_] == '\r' || text_[at_] == '\n') {
                    if (!field.empty() && field[0] == kTextMark && StartsLikeAFormula(field))
                        field.erase(0, 1);
                    return true;
                }
                error = "line " + std::to_string(line_) + ": text after a closing quote";
                return false;
            }
            if (c == '\n') ++line_;
            field += c;
        }
        error = "line " + std::to_string(startLine) + ": a quoted field is never closed";
        return false;
    }

    const std::string& text_;
    std::size_t at_ = 0;
    int line_ = 1;
};

bool IsBlank(const CsvRecord& record) {
    return record.fields.size() == 1 &&
           record.fields[0].find_first_not_of(" \t") == std::string::npos;
}

}  // namespace

std::optional<std::vector<CsvRecord>> ParseCsv(const std::string& text, std::string& error) {
    std::vector<CsvRecord> records;
    CsvReader reader(text);
    while (!reader.AtEnd()) {
        CsvRecord record;
        if (!reader.Next(record, error)) return std::nullopt;
        if (!IsBlank(record)) records.push_back(std::move(record));
    }
    return records;
}

std::string CsvLine(const std::vector<std::string>& fields) {
    std::string line;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) line += ',';
        const std::string& field = fields[i];
        const bool formula = StartsLikeAFormula(field);
        if (!formula && field.find_first_of(",\"\r\n") == std::string::npos) {
            line += field;
            continue;
        }
        line += '"';
        if (formula) line += kTextMark;
        for (const char c : field) {
            if (c == '"') line += '"';
            line += c;
        }
        line += '"';
    }
    return line;
}

}  // namespace app
