#include "windows/MainArguments.h"

#include "fake/FakePlatform.h"
#include "launcher/LaunchContext.h"

#include <gtest/gtest.h>

namespace kwn::windows {
namespace {

using Arguments = std::vector<std::u16string>;

// The five leading arguments the entry class relies on, then the program path, the fixed
// arguments and what the user typed, less what the VM takes.
TEST(MainArguments, LeadingFlagsLogPathsFixedThenUserArguments) {
    struct Case {
        std::vector<std::pair<config::Key, std::string>> settings;
        Arguments commandLine, expected;
    };
    const std::string f1999(1999, 'f');
    const Arguments loc = {u"run.exe",
                           u"-J-X",
                           u"x",
                           u"-J",
                           u"-j-l",
                           u"a-J",
                           u"-Dsun.locale.formatasdefault=true",
                           u"-Dsun.locale.formatasdefault"};
    const Case cases[] = {
        {{{107, "1"}, {122, "app.Main"}, {102, "1"}, {103, "e.log"}, {104, "1"}, {105, "o.log"}},
         {u"run.exe", u"a"},
         {u"true", u"app.Main", u"C:\\apps\\e.log", u"C:\\apps\\o.log", u"false", u"run.exe",
          u"a"}},
        {{{107, "2"}, {106, "7"}, {103, "e.log"}, {104, "1"}, {105, "${LOGS}\\x\\\\Y.log"}},
         {u"run.exe"},
         {u"false", u"", u"", u"D:\\Logs\\x\\Y.log", u"true", u"run.exe"}},
        {{{102, "1"}, {103, "${LOGDIR}\\e.log"}, {104, "1"}, {105, "Logs\\..\\O.LOG"}},
         {u"run.exe"},
         {u"false", u"", u"$appdata\\e.log", u"C:\\apps\\O.LOG", u"false", u"run.exe"}},
        {{{125, "1"}},
         loc,
         {u"false", u"", u"", u"", u"false", u"run.exe", u"x", u"-j-l", u"a-J",
          u"-Dsun.locale.formatasdefault"}},
        {{{125, "0"}},
         loc,
         {u"false", u"", u"", u"", u"false", u"run.exe", u"-J-X", u"x", u"-J", u"-j-l", u"a-J",
          u"-Dsun.locale.formatasdefault"}},
        {{{124, "-m=${MODE} \"two words\" 'x y'z %QELVO_EXEDIR%"}},
         {u"run.exe", u"", u" ${MODE} "},
         {u"false", u"", u"", u"", u"false", u"run.exe", u"-m=fast", u"two words", u"x y", u"z",
          u"C:\\apps\\", u"", u" ${MODE} "}},
        {{{124, f1999 + "gh"}}, {}, {u"false", u"", u"", u"", u"false", test::widen(f1999)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.expected));
        test::FakePlatform fake;
        fake.process.moduleFile = u"C:\\apps\\run.exe";
        fake.environment.variables = {
            {"MODE", "fast"}, {"LOGDIR", "$appdata"}, {"LOGS", "D:\\Logs\\\\"}};
        launcher::LaunchContext ctx(fake.platform());
        for (const auto& [key, value] : c.settings)
            ctx.config.setNarrow(key, value);
        ctx.arguments = c.commandLine;
        EXPECT_EQ(buildMainArguments(ctx), c.expected);
    }
}

} // namespace
} // namespace kwn::windows
