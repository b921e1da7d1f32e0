#include "ui/cli/CheckCommand.h"

#include "app/ReadinessCheck.h"
#include "ui/cli/ArgumentList.h"
#include "ui/cli/JobJson.h"
#include "ui/cli/JsonText.h"

namespace cli {

const char* const kCheckHelp =
    "Usage: emcb-config check [--json]\n"
    "\n"
    "Says, before a job, what `program` would do on this computer and what would stop\n"
    "it:\n"
    "  - each network adapter BOOTP would serve, with its address and the ten\n"
    "    addresses a board may get there (.100 to .109 of it), and each it would not\n"
    "    serve, and why (no IPv4 address, link down, loopback);\n"
    "  - whether UDP ports 67 (BOOTP), 69 (TFTP) and 5020 (the board link) can be\n"
    "    bound: free, in use by another program, or (ports below 1024 on Linux) only\n"
    "    by root or with CAP_NET_BIND_SERVICE;\n"
    "  - on Windows, whether the installer's firewall rule is present.\n"
    "Each port is tried with a test socket that is closed at once; nothing is sent.\n"
    "\n"
    "  --json   print the findings as one JSON object on standard output (the report\n"
    "           then goes to standard error)\n"
    "\n"
    "Exit status 0 when a job could program a board in BOOTP mode, 1 when something\n"
    "would stop it (each reason is named), 2 for a bad argument.\n";

namespace {

std::string AdapterLine(const app::AdapterReadiness& adapter) {
    std::string line = "  " + adapter.name;
    if (!adapter.description.empty() && adapter.description != adapter.name)
        line = "  " + adapter.description + " [" + adapter.name + "]";
    if (!adapter.address.empty()) line += " " + adapter.address;
    if (adapter.served)
        return line + ": served; a board gets " + adapter.poolFirst + " to " + adapter.poolLast;
    return line + ": not served: " + adapter.whyNot;
}

std::string PortLine(const app::PortReadiness& port) {
    std::string line = "  " + std::to_string(port.port) + " (" + port.service + "): ";
    switch (port.state) {
        case app::PortState::kFree:
            return line + "free";
        case app::PortState::kInUse:
            return line + "in use by another program";
        case app::PortState::kNeedsPrivilege:
            return line + "needs root or CAP_NET_BIND_SERVICE";
        case app::PortState::kFailed:
            return line + "cannot be bound: " + port.detail;
    }
    return line;
}

void PrintReport(const app::Readiness& readiness, std::FILE* to) {
    std::fputs("Adapters:\n", to);
    if (readiness.adapters.empty()) std::fputs("  none\n", to);
    for (const app::AdapterReadiness& adapter : readiness.adapters)
        std::fprintf(to, "%s\n", AdapterLine(adapter).c_str());
    std::fputs("UDP ports:\n", to);
    for (const app::PortReadiness& port : readiness.ports)
        std::fprintf(to, "%s\n", PortLine(port).c_str());
    if (readiness.firewallRule != os::FirewallRuleState::kNotApplicable)
        std::fprintf(to, "Firewall rule \"%s\": %s\n", app::kFirewallRuleName,
                     app::FirewallRuleStateName(readiness.firewallRule));
    for (const std::string& warning : readiness.warnings)
        std::fprintf(to, "Warning: %s\n", warning.c_str());
    if (readiness.Ready()) {
        std::fputs("A job can start and program a board in BOOTP mode.\n", to);
        return;
    }
    std::fputs("A job would not program a board in BOOTP mode:\n", to);
    for (const std::string& problem : readiness.problems)
        std::fprintf(to, "  - %s\n", problem.c_str());
}

std::string AdapterJson(const app::AdapterReadiness& adapter) {
    return JsonObject()
        .Add("name", JsonText(adapter.name))
        .Add("description", JsonText(adapter.description))
        .Add("address", JsonTextOrNull(adapter.address))
        .Add("served", adapter.served ? "true" : "false")
        .Add("why_not", JsonTextOrNull(adapter.whyNot))
        .Add("pool_first", JsonTextOrNull(adapter.poolFirst))
        .Add("pool_last", JsonTextOrNull(adapter.poolLast))
        .Text();
}

std::string PortJson(const app::PortReadiness& port) {
    return JsonObject()
        .Add("port", std::to_string(port.port))
        .Add("service", JsonText(port.service))
        .Add("state", JsonText(app::PortStateName(port.state)))
        .Add("detail", JsonTextOrNull(port.detail))
        .Text();
}

std::string TextsJson(const std::vector<std::string>& texts) {
    std::vector<std::string> items;
    for (const std::string& text : texts)
        items.push_back(JsonText(text));
    return JsonList(items);
}

std::string ReadinessJson(const app::Readiness& readiness) {
    std::vector<std::string> adapters;
    for (const app::AdapterReadiness& adapter : readiness.adapters)
        adapters.push_back(AdapterJson(adapter));
    std::vector<std::string> ports;
    for (const app::PortReadiness& port : readiness.ports)
        ports.push_back(PortJson(port));
    return JsonObject()
        .Add("ready", readiness.Ready() ? "true" : "false")
        .Add("adapters", JsonList(adapters))
        .Add("ports", JsonList(ports))
        .Add("firewall_rule", JsonText(app::FirewallRuleStateName(readiness.firewallRule)))
        .Add("problems", TextsJson(readiness.problems))
        .Add("warnings", TextsJson(readiness.warnings))
        .Text();
}

}  // namespace

int RunCheckCommand(const std::vector<std::string>& arguments, std::FILE* out, std::FILE* err) {
    const ArgumentList args(arguments, {}, {"--json", "--help"});
    if (!args.Error().empty()) {
        std::fprintf(err, "emcb-config check: %s\n\n%s", args.Error().c_str(), kCheckHelp);
        return 2;
    }
    if (args.Has("--help")) {
        std::fputs(kCheckHelp, out);
        return 0;
    }
    const app::Readiness readiness = app::CheckReadiness();
    const bool json = args.Has("--json");
    PrintReport(readiness, json ? err : out);
    if (json) std::fprintf(out, "%s\n", ReadinessJson(readiness).c_str());
    return readiness.Ready() ? 0 : 1;
}

}  // namespace cli
