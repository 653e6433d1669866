// Configured texts, options files and the environment all feed the variable expanders; they
// must end on any input, and the narrow and the wide one must agree on the same text.
#include "FuzzInput.h"
#include "diag/ByteText.h"
#include "fake/FakePlatform.h"
#include "launcher/LaunchContext.h"
#include "windows/VariableExpansion.h"

// Fields: the text, the launcher temp directory, the chosen java executable, then environment
// entries "NAME=value".
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kwn;
    fuzz::FuzzInput input(data, size);
    std::string text = input.field();
    test::FakePlatform fake;
    fake.process.moduleFile = u"C:\\apps\\tool\\run.exe";
    launcher::LaunchContext ctx(fake.platform());
    ctx.tempDirectory = input.field();
    windows::setJvmHome(ctx, input.field());
    for (int i = 0; i < 8 && !input.empty(); ++i) {
        std::string entry = input.field();
        std::size_t equals = entry.find('=', 1);
        if (equals != std::string::npos)
            fake.environment.variables[entry.substr(0, equals)] = entry.substr(equals + 1);
    }
    std::string narrow = text;
    windows::expandVariablesNarrow(ctx, narrow);
    std::u16string wide = diag::widenBytes(text);
    windows::expandVariables(ctx, wide, true);
    if (wide != diag::widenBytes(narrow))
        fuzz::fail("the narrow and the wide expansion differ");
    if (text.find_first_of("%$") == std::string::npos && narrow != text)
        fuzz::fail("a text without references changed");
    windows::expandVariables(ctx, wide, false);
    return 0;
}
