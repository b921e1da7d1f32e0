#include "ui/cli/BoardsCommand.h"

#include <cstdio>
#include <filesystem>
#include <utility>

#include "app/BoardRun.h"
#include "ui/cli/JobJson.h"
#include "ui/cli/JsonText.h"

namespace cli {
namespace {

// By identity (device and inode, or the volume's file index), so that another name
// of the file, a link to it or a path spelled otherwise is the same file; a report
// that does not exist yet is no other file.
bool SameFile(const std::string& a, const std::string& b) {
    std::error_code error;
    return std::filesystem::equivalent(a, b, error);
}

void SayHeld(const std::string& path) {
    std::fprintf(stderr,
                 "emcb-config program: the report %s is open in another program and cannot be "
                 "replaced now; the run goes on, and the report is written at its end\n",
                 path.c_str());
}

// Writes the report, saying so when that failed (the first time another program held
// it, or every time it failed otherwise); false only when it failed.
bool WriteReport(app::BoardReportFile& report, const std::vector<app::BoardResult>& results,
                 bool& heldBefore) {
    std::string error;
    switch (report.Write(results, error)) {
        case os::ReplaceOutcome::kReplaced:
            return true;
        case os::ReplaceOutcome::kHeld:
            if (!heldBefore) SayHeld(report.Path());
            heldBefore = true;
            return true;
        case os::ReplaceOutcome::kFailed:
            break;
    }
    std::fprintf(stderr, "emcb-config program: the report %s cannot be written: %s\n",
                 report.Path().c_str(), error.c_str());
    return false;
}

std::string ResultJson(const app::BoardResult& result) {
    const app::JobFields& fields = result.board.fields;
    return JsonObject()
        .Add("row", std::to_string(result.board.row))
        .Add("line", std::to_string(result.board.line))
        .Add("hardware_address", JsonTextOrNull(result.hardwareAddress))
        .Add("bootp_address", JsonTextOrNull(result.bootpAddress))
        .Add("ip", JsonText(fields.ip))
        .Add("mac", JsonText(fields.mac))
        .Add("nickname", JsonText(fields.nickname))
        .Add("outcome", JsonText(result.outcome))
        .Add("seconds", SecondsJson(result.msFromAddressToResult))
        .Add("attempts", std::to_string(result.attempts))
        .Add("message", JsonText(result.message))
        .Text();
}

void PrintJson(const app::BoardRun& run, const app::ServedImage& image, const std::string& report) {
    std::vector<std::string> boards;
    int programmed = 0;
    for (const app::BoardResult& result : run.Results()) {
        boards.push_back(ResultJson(result));
        programmed += result.Programmed() ? 1 : 0;
    }
    const std::string json = JsonObject()
                                 .Add("image", ImageJson(image))
                                 .Add("rows", std::to_string(run.Results().size()))
                                 .Add("programmed", std::to_string(programmed))
                                 .Add("interrupted", run.Interrupted() ? "true" : "false")
                                 .Add("report", JsonTextOrNull(report))
                                 .Add("boards", JsonList(boards))
                                 .Text();
    std::printf("%s\n", json.c_str());
}

// "Board 2 of 3: programmed (02-00-00-00-0C-02 at 10.9.9.100) in 2.345 s".
std::string OutcomeLine(const app::BoardResult& result, std::size_t count) {
    std::string line = "Board " + std::to_string(result.board.row) + " of " +
                       std::to_string(count) + ": " + result.outcome;
    if (!result.hardwareAddress.empty())
        line += " (" + result.hardwareAddress + " at " + result.bootpAddress + ")";
    if (result.msFromAddressToResult)
        line += " in " + app::SecondsText(*result.msFromAddressToResult) + " s";
    return line;
}

}  // namespace

std::optional<BoardsPlan> PrepareBoards(const BoardsRequest& request, std::string& error) {
    auto rows = app::BoardList::Load(request.listPath, error);
    if (!rows) return std::nullopt;
    BoardsPlan plan{request, std::move(*rows), std::nullopt};
    if (request.reportPath.empty()) return plan;
    if (SameFile(request.reportPath, request.listPath)) {
        error = "the report " + request.reportPath + " would replace the list of boards";
        return std::nullopt;
    }
    if (!request.imagePath.empty() && SameFile(request.reportPath, request.imagePath)) {
        error = "the report " + request.reportPath + " would replace the firmware image";
        return std::nullopt;
    }
    std::vector<app::BoardResult> results;
    for (const app::BoardRow& row : plan.rows) {
        app::BoardResult result;
        result.board = row;
        results.push_back(std::move(result));
    }
    plan.report.emplace(request.reportPath);
    std::string writeError;
    switch (plan.report->Write(results, writeError)) {
        case os::ReplaceOutcome::kReplaced:
            break;
        case os::ReplaceOutcome::kHeld:
            SayHeld(request.reportPath);
            plan.reportHeld = true;
            break;
        case os::ReplaceOutcome::kFailed:
            error = "the report " + request.reportPath + " cannot be written: " + writeError;
            return std::nullopt;
    }
    return plan;
}

int RunBoards(BoardsPlan& plan, const app::JobOptions& options, const app::ServedImage& image,
              const std::atomic<bool>& stopAfterBoard) {
    const std::size_t count = plan.rows.size();
    app::BoardRun run(plan.rows, options);
    app::BoardRun::Hooks hooks;
    hooks.beforeBoard = [](const std::string& prompt) {
        std::fprintf(stderr, "%s\n", prompt.c_str());
    };
    hooks.afterBoard = [&](const app::BoardResult& result,
                           const std::vector<app::BoardResult>& results) {
        std::fprintf(stderr, "%s\n", OutcomeLine(result, count).c_str());
        if (plan.report) WriteReport(*plan.report, results, plan.reportHeld);
    };
    run.Run(plan.request.retryFailed, &stopAfterBoard, hooks);

    std::string reportIn;
    bool reportWritten = true;
    if (plan.report) {
        std::string error;
        const auto written = plan.report->Finish(error);
        reportWritten = written.has_value();
        if (!written) {
            std::fprintf(stderr, "emcb-config program: the report %s cannot be written: %s\n",
                         plan.report->Path().c_str(), error.c_str());
        } else {
            reportIn = *written;
            if (*written != plan.report->Path())
                std::fprintf(stderr,
                             "emcb-config program: the report %s is still open in another "
                             "program; this run's report is in %s\n",
                             plan.report->Path().c_str(), written->c_str());
        }
    }

    std::size_t programmed = 0;
    for (const app::BoardResult& result : run.Results())
        programmed += result.Programmed();
    std::fprintf(stderr, "%zu of %zu boards programmed%s%s%s\n", programmed, count,
                 run.Interrupted() ? "; the run was stopped" : "",
                 reportIn.empty() ? "" : "; the report is in ", reportIn.c_str());
    if (plan.request.json) PrintJson(run, image, reportIn);
    return run.AllProgrammed() && reportWritten ? 0 : 1;
}

}  // namespace cli
