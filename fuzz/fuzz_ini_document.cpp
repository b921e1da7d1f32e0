// The ini settings parser: any text as a settings file. Properties: writing a value
// and reading it back gives the value, in the document and in its text read anew;
// no other value changes; the text of an unchanged document reads as the document.
#include <string>
#include <utility>

#include "fuzz/FuzzReader.h"
#include "os/ini_document.h"

namespace {

// What a front-end reads and writes, and two neighbours that must not move.
const std::pair<const char*, const char*> kProbes[] = {
    {"Settings", "X"}, {"Settings", "Y"}, {"Other", "X"}, {"", "X"}};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::FuzzReader input(data, size);
    const int value = static_cast<int>(input.U16()) - 32768;
    const auto rest = input.Rest();
    const std::string text(rest.begin(), rest.end());

    os::IniDocument document(text);
    const os::IniDocument reread(document.Text());
    std::optional<int> before[std::size(kProbes)];
    for (std::size_t i = 0; i < std::size(kProbes); ++i) {
        before[i] = document.GetInt(kProbes[i].first, kProbes[i].second);
        FUZZ_CHECK(reread.GetInt(kProbes[i].first, kProbes[i].second) == before[i]);
    }
    document.SetInt("Settings", "X", value);
    FUZZ_CHECK(document.GetInt("Settings", "X") == value);
    const os::IniDocument written(document.Text());
    FUZZ_CHECK(written.GetInt("Settings", "X") == value);
    for (std::size_t i = 1; i < std::size(kProbes); ++i) {
        FUZZ_CHECK(document.GetInt(kProbes[i].first, kProbes[i].second) == before[i]);
        FUZZ_CHECK(written.GetInt(kProbes[i].first, kProbes[i].second) == before[i]);
    }
    return 0;
}
