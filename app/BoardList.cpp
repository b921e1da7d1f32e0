#include "app/BoardList.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

#include "app/CsvTable.h"
#include "app/address_text.h"

namespace app {
namespace {

const char* const kColumns[] = {"ip", "mac", "nickname"};

std::string Trimmed(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// Column name to position; nothing, with `error`, for an unknown, repeated or
// missing column.
std::optional<std::map<std::string, std::size_t>> ReadHeader(const CsvRecord& header,
                                                             std::string& error) {
    std::map<std::string, std::size_t> columns;
    for (std::size_t i = 0; i < header.fields.size(); ++i) {
        const std::string name = Lower(Trimmed(header.fields[i]));
        if (std::find(std::begin(kColumns), std::end(kColumns), name) == std::end(kColumns)) {
            error =
                "the header names a column \"" + name + "\"; the columns are ip, mac and nickname";
            return std::nullopt;
        }
        if (!columns.emplace(name, i).second) {
            error = "the header names the column \"" + name + "\" twice";
            return std::nullopt;
        }
    }
    if (columns.count("ip") == 0) {
        error = "the header has no column \"ip\" (the columns are ip, mac and nickname)";
        return std::nullopt;
    }
    return columns;
}

// The field as the file has it; the nickname without the blanks around it. The
// addresses are checked as they stand, blanks included, as every front-end does.
std::string Field(const CsvRecord& record, const std::map<std::string, std::size_t>& columns,
                  const char* name) {
    const auto column = columns.find(name);
    if (column == columns.end()) return "";
    const std::string& field = record.fields[column->second];
    return std::string(name) == "nickname" ? Trimmed(field) : field;
}

// A cleared row, as a spreadsheet exports it (",,"), is no board.
bool IsEmptyRow(const CsvRecord& record) {
    return std::all_of(record.fields.begin(), record.fields.end(),
                       [](const std::string& field) { return Trimmed(field).empty(); });
}

std::string ColumnName(const std::map<std::string, std::size_t>& columns, std::size_t index) {
    for (const auto& [name, position] : columns)
        if (position == index) return "the " + name + " field";
    return "field " + std::to_string(index + 1);
}

// A control byte would reach the board (a NUL cuts the nickname there) while the
// report showed the whole text; a file saved as UTF-16 is full of NULs.
std::optional<std::string> ControlByteProblem(const CsvRecord& record,
                                              const std::map<std::string, std::size_t>* columns) {
    for (std::size_t i = 0; i < record.fields.size(); ++i) {
        const std::string& field = record.fields[i];
        const auto control = std::find_if(field.begin(), field.end(), [](char c) {
            return static_cast<unsigned char>(c) < 0x20;
        });
        if (control == field.end()) continue;
        char byte[8];
        std::snprintf(byte, sizeof byte, "0x%02X", static_cast<unsigned char>(*control));
        const std::string where =
            columns != nullptr ? ColumnName(*columns, i) : "field " + std::to_string(i + 1);
        return where + " holds the control byte " + byte + " at character " +
               std::to_string(control - field.begin() + 1) +
               "; a field may hold no bytes below 0x20" +
               (*control == '\0' ? " (save the list as UTF-8 or plain CSV, not UTF-16)" : "");
    }
    return std::nullopt;
}

std::string TooLong(const char* field, const std::string& text, std::size_t limit) {
    return "the " + std::string(field) + " \"" + text + "\" is longer than " +
           std::to_string(limit) + " characters";
}

// What is wrong with one row's fields, as the file gives them: nothing is cut.
std::optional<std::string> RowProblem(const JobFields& fields) {
    if (fields.ip.empty()) return std::string("the IP address is empty");
    if (fields.ip.size() > kIpTextLimit) return TooLong("IP address", fields.ip, kIpTextLimit);
    if (fields.mac.size() > kMacTextLimit) return TooLong("MAC address", fields.mac, kMacTextLimit);
    if (fields.nickname.size() > kNicknameTextLimit)
        return TooLong("nickname", fields.nickname, kNicknameTextLimit);
    return ConfigFieldProblem(fields.ip.c_str(), fields.mac.c_str());
}

}  // namespace

std::optional<std::vector<BoardRow>> BoardList::Parse(const std::string& text,
                                                      const std::string& name, std::string& error) {
    const auto fail = [&](int line, const std::string& problem) {
        error = name + (line > 0 ? " line " + std::to_string(line) : "") + ": " + problem;
        return std::nullopt;
    };
    std::string csvError;
    const auto records = ParseCsv(text, csvError);
    if (!records) return fail(0, csvError);
    if (records->empty())
        return fail(0, "the file is empty; it needs a header row and a row per board");
    const CsvRecord& header = records->front();
    if (const auto problem = ControlByteProblem(header, nullptr))
        return fail(header.line, *problem);
    std::string headerError;
    const auto columns = ReadHeader(header, headerError);
    if (!columns) return fail(header.line, headerError);

    std::vector<BoardRow> rows;
    std::map<std::uint32_t, int> lineOfAddress;
    for (std::size_t i = 1; i < records->size(); ++i) {
        const CsvRecord& record = (*records)[i];
        if (IsEmptyRow(record)) continue;
        if (const auto problem = ControlByteProblem(record, &*columns))
            return fail(record.line, *problem);
        if (record.fields.size() != header.fields.size())
            return fail(record.line, "the row has " + std::to_string(record.fields.size()) +
                                         " fields and the header " +
                                         std::to_string(header.fields.size()));
        if (rows.size() == kMaxRows)
            return fail(0, "more than " + std::to_string(kMaxRows) + " boards are listed");
        BoardRow row;
        row.row = static_cast<int>(rows.size()) + 1;
        row.line = record.line;
        row.fields.ip = Field(record, *columns, "ip");
        row.fields.mac = Field(record, *columns, "mac");
        row.fields.nickname = Field(record, *columns, "nickname");
        if (row.fields.mac.empty()) row.fields.mac = kDefaultMacText;
        if (row.fields.nickname.empty()) row.fields.nickname = kDefaultNicknameText;
        if (const auto problem = RowProblem(row.fields)) return fail(record.line, *problem);
        const std::uint32_t address = ParseIpv4Text(row.fields.ip).value_or(0);
        const auto [earlier, added] = lineOfAddress.emplace(address, record.line);
        if (!added)
            return fail(record.line, "the IP address " + row.fields.ip +
                                         " is already given to the board of line " +
                                         std::to_string(earlier->second));
        rows.push_back(std::move(row));
    }
    if (rows.empty()) return fail(0, "no boards are listed below the header row");
    return rows;
}

std::optional<std::vector<BoardRow>> BoardList::Load(const std::string& path, std::string& error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = path + ": cannot be read: " + std::strerror(errno);
        return std::nullopt;
    }
    std::ostringstream text;
    text << file.rdbuf();
    if (file.bad()) {
        error = path + ": cannot be read";
        return std::nullopt;
    }
    return Parse(text.str(), path, error);
}

}  // namespace app
