#include "windows/MainArguments.h"

#include "fake/FakePlatform.h"
#include "launcher/LaunchContext.h"

#include <gtest/gtest.h>

namespace kwn::windows {
namespace {

// The five leading arguments the entry class relies on (type 1, main class, the two log paths
// when passed, the entry flag), the program path, the fixed arguments (key 124, expanded and
// split), then what the user typed less what the VM takes. Arguments are joined with "|".
TEST(MainArguments, LeadingFlagsLogPathsFixedThenUserArguments) {
    const std::u16string f = u"|-Dsun.locale.formatasdefault";
    const std::tuple<std::vector<std::pair<config::Key, std::string>>, std::u16string,
                     std::u16string>
        cases[] = {
            {{{107, "1"}, {122, "M"}, {102, "1"}, {103, "e.log"}, {104, "1"}, {105, "o.log"}},
             u"run.exe|a",
             u"true|M|C:\\apps\\e.log|C:\\apps\\o.log|false|run.exe|a"},
            {{{107, "2"}, {106, "7"}, {103, "e.log"}, {104, "1"}, {105, "${LOGS}\\x\\\\Y.log"}},
             u"run.exe",
             u"false|||D:\\Logs\\x\\Y.log|true|run.exe"},
            {{{102, "1"}, {103, "${LOGDIR}\\e.log"}, {104, "1"}, {105, "Logs\\..\\O.LOG"}},
             u"run.exe",
             u"false||$appdata\\e.log|C:\\apps\\O.LOG|false|run.exe"},
            {{{125, "1"}},
             u"run.exe|-J-X|x|-J|-j-l|a-J" + f + u"=true" + f,
             u"false||||false|run.exe|x|-j-l|a-J" + f},
            {{{125, "0"}}, u"run.exe|-J-X|x" + f + u"=1", u"false||||false|run.exe|-J-X|x"},
            {{{124, "-m=${MODE} \"two words\" 'x y'z %QELVO_EXEDIR%"}},
             u"run.exe||${MODE}",
             u"false||||false|run.exe|-m=fast|two words|x y|z|C:\\apps\\||${MODE}"},
            {{{124, std::string(1999, 'f') + "gh"}},
             u"",
             u"false||||false|" + std::u16string(1999, u'f')},
        };
    for (const auto& [settings, commandLine, expected] : cases) {
        SCOPED_TRACE(test::narrow(expected));
        test::FakePlatform fake;
        fake.process.moduleFile = u"C:\\apps\\run.exe";
        fake.environment.variables = {
            {"MODE", "fast"}, {"LOGDIR", "$appdata"}, {"LOGS", "D:\\Logs\\\\"}};
        launcher::LaunchContext ctx(fake.platform());
        for (const auto& [key, value] : settings)
            ctx.config.setNarrow(key, value);
        for (std::size_t start = 0; !commandLine.empty() && start <= commandLine.size();) {
            std::size_t end = std::min(commandLine.find(u'|', start), commandLine.size());
            ctx.arguments.push_back(commandLine.substr(start, end - start));
            start = end + 1;
        }
        std::vector<std::u16string> list = buildMainArguments(ctx);
        std::u16string joined = list.at(0);
        for (std::size_t i = 1; i < list.size(); ++i)
            joined += u"|" + list[i];
        EXPECT_EQ(joined, expected);
    }
}

} // namespace
} // namespace kwn::windows
