// ParseCommandLine on arbitrary argument vectors (the input after its first
// byte, split at '\n'; the first byte picks the version block or none, and
// whether a leading '/' may begin a path): the exit status is 0 or 1 and set
// exactly when the process is to end; every box is the version box, the
// usage box or the unknown-option box naming one of the arguments, with the
// application's caption, and only the last box may end the process; the file
// to load is one of the arguments and no option; the switches are set only by
// their options.
#include <string>

#include "app/command_line.h"
#include "app/version_info.h"
#include "fuzz_target.h"
#include "text/app_text.h"

using namespace zor;

namespace {

const uint8_t kTranslation[] = {0x10, 0x04, 0xE4, 0x04};
#define TABLE "\\StringFileInfo\\041004E4\\"
const VersionValue kValues[] = {
    {"\\VarFileInfo\\Translation", kTranslation, 4},
    {TABLE "FileDescription", reinterpret_cast<const uint8_t*>("Zorload"), 8},
    {TABLE "ProductName", reinterpret_cast<const uint8_t*>("Morvanti Zorload"), 17},
    {TABLE "FileVersion", reinterpret_cast<const uint8_t*>("2.1.0.155"), 10},
};
#undef TABLE
const VersionBlock kBlock{kValues, 4};

bool isArgument(const std::vector<std::string>& args, const std::string& s) {
    for (const std::string& a : args) {
        if (a == s)
            return true;
    }
    return false;
}

// Some argument is option name, with either leader, in any case of A-Z.
bool hasOption(const std::vector<std::string>& args, const std::string& name) {
    for (std::string a : args) {
        for (char& c : a) {
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c - 'A' + 'a');
        }
        if (a == "-" + name || a == "/" + name)
            return true;
    }
    return false;
}

}  // namespace

std::vector<FuzzInput> fuzzSeeds() {
    auto line = [](uint8_t block, std::initializer_list<std::string> args) {
        FuzzInput in{block};
        const FuzzInput rest = fuzz::joinInput(args);
        in.insert(in.end(), rest.begin(), rest.end());
        return in;
    };
    return {
        line(0, {"-v", "-HIGH", "/log", "/home/u/nuovo.upd"}),
        line(1, {"aggiornamento.upd", "/High", "-?", "-x"}),
        line(0, {"/", "-", "", "/v/", "-100%s", "/LOG"}),
    };
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    const VersionBlock* block = (data[0] & 1) ? nullptr : &kBlock;
    const std::vector<std::string> args = fuzz::splitInput(data + 1, size - 1);
    const std::string program = "zorload";
    const SlashRule slash = (data[0] & 2) ? SlashRule::Option : SlashRule::OptionUnlessPath;
    const CommandLineResult r = ParseCommandLine(args, slash);
    const std::vector<BoxRequest> boxes = commandLineBoxes(r, program, block);

    FUZZ_CHECK(r.exitStatus == 0 || r.exitStatus == 1);
    FUZZ_CHECK(r.exitProcess == (r.exitStatus == 1));
    const std::string title = applicationTitle(block), usage = usageText(program);
    const std::string unknown = "Opzione della linea di comando sconosciuta: '";
    for (size_t i = 0; i < boxes.size(); ++i) {
        const BoxRequest& box = boxes[i];
        const bool last = i + 1 == boxes.size();
        FUZZ_CHECK(box.caption == title);
        if (box.icon == BoxIcon::Error) {
            const std::string tail = "'\r\n" + usage;
            FUZZ_CHECK(last && r.exitProcess);
            FUZZ_CHECK(box.text.size() >= unknown.size() + tail.size());
            FUZZ_CHECK(box.text.compare(0, unknown.size(), unknown) == 0);
            FUZZ_CHECK(box.text.compare(box.text.size() - tail.size(), tail.size(), tail) == 0);
            const std::string arg =
                box.text.substr(unknown.size(), box.text.size() - unknown.size() - tail.size());
            FUZZ_CHECK(isArgument(args, arg));
        } else {
            FUZZ_CHECK(box.icon == BoxIcon::Information);
            if (box.text == usage) {
                FUZZ_CHECK(last && r.exitProcess && hasOption(args, "?"));
            } else {
                FUZZ_CHECK(box.text == versionBoxText(block) && hasOption(args, "v"));
            }
        }
    }
    FUZZ_CHECK(!r.exitProcess || !boxes.empty());
    if (!r.FileDaCaricare.empty()) {
        FUZZ_CHECK(isArgument(args, r.FileDaCaricare));
        FUZZ_CHECK(r.FileDaCaricare[0] != '-');
        FUZZ_CHECK(slash == SlashRule::OptionUnlessPath || r.FileDaCaricare[0] != '/');
    }
    FUZZ_CHECK(!r.highSpeed || hasOption(args, "high"));
    FUZZ_CHECK(!r.logOption || hasOption(args, "log"));
    return 0;
}
