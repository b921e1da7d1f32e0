#include "ui/cli/JobJson.h"

#include <cstdio>

#include "app/BoardReport.h"
#include "ui/cli/JsonText.h"

namespace cli {
namespace {

// The facts each kind of stage carries, after its name, time and text.
void AddStageFacts(const diag::JobStage& stage, JsonObject& json) {
    using diag::JobStageKind;
    switch (stage.kind) {
        case JobStageKind::kBootpAdapters: {
            std::vector<std::string> adapters;
            for (const diag::JobAdapter& adapter : stage.adapters)
                adapters.push_back(JsonObject()
                                       .Add("name", JsonText(adapter.name))
                                       .Add("address", JsonText(adapter.address))
                                       .Text());
            json.Add("adapters", JsonList(adapters));
            break;
        }
        case JobStageKind::kAdapterServed:
        case JobStageKind::kAdapterNoLongerServed:
            json.Add("adapter", JsonText(stage.adapter)).Add("address", JsonText(stage.address));
            break;
        case JobStageKind::kAddressGiven:
            json.Add("adapter", JsonText(stage.adapter))
                .Add("hardware_address", JsonText(stage.hardwareAddress))
                .Add("address", JsonText(stage.address))
                .Add("from_arp_table", stage.fromArpTable ? "true" : "false");
            break;
        case JobStageKind::kTransferStarted:
        case JobStageKind::kTransferFinished:
            json.Add("client", JsonText(stage.address)).Add("bytes", std::to_string(stage.bytes));
            break;
        case JobStageKind::kBoardHeard:
            json.Add("address", JsonText(stage.address));
            break;
        case JobStageKind::kStagesLeftOut:
            json.Add("count", std::to_string(stage.leftOut));
            break;
        case JobStageKind::kOutcome:
            json.Add("outcome", JsonText(stage.outcome));
            break;
        default:
            break;
    }
}

}  // namespace

std::string StagesJson(const std::vector<diag::JobStage>& stages) {
    std::vector<std::string> items;
    for (const diag::JobStage& stage : stages) {
        JsonObject json;
        json.Add("stage", JsonText(diag::JobStageName(stage.kind)))
            .Add("ms", std::to_string(stage.elapsedMs))
            .Add("text", JsonText(stage.text));
        AddStageFacts(stage, json);
        items.push_back(json.Text());
    }
    return JsonList(items);
}

std::string ImageJson(const app::ServedImage& image) {
    char crc[16];
    std::snprintf(crc, sizeof crc, "0x%08X", static_cast<unsigned>(image.Crc32()));
    return JsonObject()
        .Add("source", JsonText(image.Source()))
        .Add("bytes", std::to_string(image.Size()))
        .Add("crc32", JsonText(crc))
        .Text();
}

std::string SecondsJson(const std::optional<std::uint32_t>& ms) {
    return ms ? app::SecondsText(*ms) : "null";
}

std::string JsonTextOrNull(const std::string& text) {
    return text.empty() ? "null" : JsonText(text);
}

}  // namespace cli
