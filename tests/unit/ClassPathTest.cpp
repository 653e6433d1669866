#include "windows/ClassPath.h"

#include "fake/LoggedLaunchTest.h"
#include "launcher/LaunchContext.h"

#include <gmock/gmock.h>

namespace kwn::windows {
namespace {

class ClassPathTest : public test::LoggedLaunchTest {
protected:
    void SetUp() override {
        ctx.config.setNarrow(1006, "File or directory {0} not found or empty");
        ctx.config.setNarrow(1008, "The environment variable {0} has to be defined");
        fake.environment.variables = {
            {"TMP", "C:\\Logs"}, {"QUOTED", "\"C:\\x.jar\""}, {"HALF", "\"C:\\h.jar"},
            {"TWO", "\"\""},     {"ENDS", "C:\\a.jar;"},      {"LIBS", "a.jar;;C:\\b.jar"},
            {"EMPTY", ""}};
        // Scanned in the platform's order, jar before zip, a directory named like a jar too.
        for (const char* file : {"app.jar", "lib\\b.jar", "lib\\a.jar", "lib\\c.zip", "lib\\n.txt"})
            fake.files.addFile(std::string("C:\\apps\\tool\\") + file, "");
        fake.files.addDirectory("C:\\apps\\tool\\lib\\d.jar");
        fake.files.addDirectory("C:\\apps\\tool\\empty");
    }
    // The class path the entries of key 121 make, or "! " and the message the launch ended with.
    std::string configured(const std::string& key121) {
        ctx.config.setNarrow(121, key121);
        std::string classPath;
        if (test::exitCodeOf([&] { addConfiguredClassPath(ctx, classPath); }))
            return "! " + test::narrow(fake.ui.boxes.back().text);
        return classPath;
    }
};

// An entry is a type, a required flag and a value; the value is expanded first.
TEST_F(ClassPathTest, ConfiguredEntriesByTypeAndFlag) {
    const std::string log = "\n\nLog: C:\\Logs\\kwn_nlog_1";
    // clang-format off
    const std::pair<const char*, std::string> cases[] = {
        {"A0.\\app2.jar", "C:\\apps\\tool\\.\\app2.jar;"}, // optional, added though missing
        {"A1.\\app2.jar", "! File or directory .\\app2.jar not found or empty" + log},
        {"A1app.jar", "C:\\apps\\tool\\app.jar;"}, {"D0lib;A0C:\\x\\\\y.jar", "C:\\apps\\tool\\lib;C:\\x\\y.jar;"},
        {"D0", ";"}, {"A0${LIBS}", "C:\\apps\\tool\\a.jar;C:\\b.jar;"},
        {";;A;X0foo;A0app.jar;", "C:\\apps\\tool\\app.jar;"}, {"X1foo", "! File or directory foo not found or empty" + log},
        {"E1QUOTED", "C:\\x.jar;"}, {"E0HALF", "\"C:\\h.jar;"}, {"E0TWO", ";"}, {"E0ENDS", "C:\\a.jar;"},
        {"E0NOPE;A0app.jar", "C:\\apps\\tool\\app.jar;"}, {"E1NOPE", "! The environment variable NOPE has to be defined" + log},
        {"E0EMPTY", ""}, {"E1EMPTY", "! File or directory EMPTY not found or empty" + log},
        {"S1lib", "C:\\apps\\tool\\lib\\a.jar;C:\\apps\\tool\\lib\\b.jar;C:\\apps\\tool\\lib\\d.jar;C:\\apps\\tool\\lib\\c.zip;"},
        {"S1empty", ""}, {"S1missing", "! File or directory missing not found or empty" + log}};
    // clang-format on
    for (const auto& [key121, expected] : cases) {
        fake.ui.boxes.clear();
        EXPECT_EQ(configured(key121), expected) << key121;
    }
    EXPECT_THAT(logText(), testing::HasSubstr(
                               "\nclasspath entry ;;A;X0foo;A0app.jar;\nclasspath entries 3\n"));
}

// Directives from the options files go around the configured entries or replace them. The
// second flavour's runtime library sits in the installation directory (key 10003); the other
// flavour (a null installation here) has none.
TEST_F(ClassPathTest, DirectivesAndTheRuntimeLibraryAroundTheConfiguredEntries) {
    // clang-format off
    const std::tuple<const char*, std::string, ClassPathOverrides, std::string> cases[] = {
        {nullptr, "", {{}, "x", {}}, ";x"}, {nullptr, "A0app.jar", {{}, "x", {}}, "C:\\apps\\tool\\app.jar;x"},
        {nullptr, "A0app.jar", {{}, {}, "p.jar"}, "p.jar;C:\\apps\\tool\\app.jar;"},
        {nullptr, "A0app.jar", {"C:\\x.jar", {}, {}}, "C:\\x.jar"}, {nullptr, "A0app.jar", {"", {}, {}}, ""},
        {nullptr, "A1missing.jar", {"C:\\x.jar", "z.jar", {}}, "C:\\x.jar;z.jar"},
        {nullptr, "", {"C:\\x.jar;", "z.jar", {}}, "C:\\x.jar;z.jar"},
        {"C:\\Inst", "", {}, "C:\\Inst\\.kestrowan\\kwnruntime.jar;"}, {"..\\Inst\\", "", {}, "C:\\apps\\Inst\\.kestrowan\\kwnruntime.jar;"},
        {"", "", {}, "C:\\apps\\tool\\.kestrowan\\kwnruntime.jar;"},
    };
    // clang-format on
    for (const auto& [installation, key121, overrides, expected] : cases) {
        ctx.flavour = installation ? 'i' : 'q';
        ctx.config.setNarrow(10003, installation ? installation : "C:\\Inst");
        ctx.config.setNarrow(121, key121);
        EXPECT_EQ(buildClassPath(ctx, overrides), "-Djava.class.path=" + expected) << key121;
    }
}

} // namespace
} // namespace kwn::windows
