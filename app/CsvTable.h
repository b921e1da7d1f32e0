// Comma-separated values as spreadsheets write them (RFC 4180): fields may be quoted,
// a quoted field may hold commas, line breaks and doubled quotes; lines end in LF or
// CRLF; a UTF-8 byte-order mark is skipped. Blank lines are left out. A quoted field
// that starts with an apostrophe before a formula's first character loses that one
// apostrophe (see CsvLine).
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace app {

struct CsvRecord {
    int line = 0;  // where the record starts, from 1
    std::vector<std::string> fields;
};

// The records of `text`; nothing, with `error` naming the line, when a quoted field is
// not closed or a quote stands inside an unquoted field.
std::optional<std::vector<CsvRecord>> ParseCsv(const std::string& text, std::string& error);

// One record as a line of CSV (no line end): a field holding a comma, a quote or a
// line break is quoted. A field a spreadsheet would run as a formula (one starting
// with =, +, -, @, TAB or CR) is written quoted behind an apostrophe, so that it shows
// as text; ParseCsv reads it back as it was.
std::string CsvLine(const std::vector<std::string>& fields);

}  // namespace app
