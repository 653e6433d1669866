#include "windows/ClassPath.h"

#include "fake/LoggedLaunchTest.h"
#include "launcher/LaunchContext.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace kwn::windows {
namespace {

using testing::HasSubstr;

const std::string kPrefix = "-Djava.class.path=";

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
    const std::pair<const char*, std::string> cases[] = {
        {"A0.\\app.jar", "C:\\apps\\tool\\.\\app.jar;"},
        {"A0.\\app2.jar", "C:\\apps\\tool\\.\\app2.jar;"}, // optional, added though missing
        {"A1.\\app2.jar", "! File or directory .\\app2.jar not found or empty" + log},
        {"A1app.jar", "C:\\apps\\tool\\app.jar;"},
        {"D0lib;A0C:\\x\\\\y.jar", "C:\\apps\\tool\\lib;C:\\x\\y.jar;"},
        {"D0", ";"},
        {"A1", "! File or directory  not found or empty" + log},
        {"A0${LIBS}", "C:\\apps\\tool\\a.jar;C:\\b.jar;"},
        {";;A;X0foo;A0app.jar;", "C:\\apps\\tool\\app.jar;"},
        {"X1foo", "! File or directory foo not found or empty" + log},
        {"E1QUOTED", "C:\\x.jar;"},
        {"E0HALF", "\"C:\\h.jar;"},
        {"E0TWO", ";"},
        {"E0ENDS", "C:\\a.jar;"},
        {"E0NOPE;A0app.jar", "C:\\apps\\tool\\app.jar;"},
        {"E1NOPE", "! The environment variable NOPE has to be defined" + log},
        {"E0EMPTY", ""},
        {"E1EMPTY", "! File or directory EMPTY not found or empty" + log},
        {"S1lib", "C:\\apps\\tool\\lib\\a.jar;C:\\apps\\tool\\lib\\b.jar;"
                  "C:\\apps\\tool\\lib\\d.jar;C:\\apps\\tool\\lib\\c.zip;"},
        {"S1empty", ""},
        {"S0missing", ""},
        {"S1missing", "! File or directory missing not found or empty" + log},
        {"S1${launcher:sys.launcherDirectory}gone",
         "! File or directory C:\\apps\\tool\\gone not found or empty" + log},
    };
    for (const auto& [key121, expected] : cases) {
        SCOPED_TRACE(key121);
        fake.ui.boxes.clear();
        EXPECT_EQ(configured(key121), expected);
    }
    EXPECT_THAT(logText(),
                HasSubstr("\nclasspath entry ;;A;X0foo;A0app.jar;\nclasspath entries 3\n"));
}

// Directives from the options files go around the configured entries or replace them.
TEST_F(ClassPathTest, DirectivesAroundTheConfiguredEntries) {
    const std::tuple<std::string, ClassPathOverrides, std::string> cases[] = {
        {"", {{}, "x", {}}, ";x"},
        {"A0app.jar", {{}, "x", {}}, "C:\\apps\\tool\\app.jar;x"},
        {"A0app.jar", {{}, {}, "p.jar"}, "p.jar;C:\\apps\\tool\\app.jar;"},
        {"A0app.jar", {"C:\\x.jar", {}, {}}, "C:\\x.jar"},
        {"A1missing.jar", {"C:\\x.jar", "z.jar", {}}, "C:\\x.jar;z.jar"},
        {"", {"C:\\x.jar;", "z.jar", {}}, "C:\\x.jar;z.jar"},
        {"A0app.jar", {"", {}, {}}, ""},
    };
    for (const auto& [key121, overrides, expected] : cases) {
        SCOPED_TRACE(expected);
        ctx.config.setNarrow(121, key121);
        EXPECT_EQ(buildClassPath(ctx, overrides), kPrefix + expected);
    }
    EXPECT_TRUE(fake.files.findPatterns.empty()); // without a temp directory nothing is scanned
}

TEST_F(ClassPathTest, TempDirectoryArchivesThenItsUserDirectory) {
    for (const char* file : {"b.zip", "a.jar", "readme.txt", "user\\v.zip", "user\\u.jar"})
        fake.files.addFile(std::string("C:\\T\\kwn.tmp\\") + file, "");
    ctx.tempDirectory = "C:\\T\\kwn.tmp";
    ctx.config.setNarrow(121, "A0app.jar");
    EXPECT_EQ(buildClassPath(ctx, {}),
              kPrefix + "C:\\T\\kwn.tmp\\a.jar;C:\\T\\kwn.tmp\\b.zip;C:\\T\\kwn.tmp\\user\\u.jar;"
                        "C:\\T\\kwn.tmp\\user\\v.zip;C:\\apps\\tool\\app.jar;");
    EXPECT_EQ(buildClassPath(ctx, {"C:\\x.jar", "z.jar", "p.jar"}),
              kPrefix + "p.jar;C:\\T\\kwn.tmp\\a.jar;C:\\T\\kwn.tmp\\b.zip;C:\\T\\kwn.tmp\\user\\"
                        "u.jar;C:\\T\\kwn.tmp\\user\\v.zip;C:\\x.jar;z.jar");
    // A required entry that is missing ends the launch, and the temp directory goes with it.
    ctx.config.setNarrow(121, "A1missing.jar");
    EXPECT_EQ(test::exitCodeOf([&] { buildClassPath(ctx, {}); }), 1);
    EXPECT_FALSE(fake.files.hasDirectory("C:\\T\\kwn.tmp"));
}

// The second flavour's runtime library sits in the installation directory (key 10003).
TEST_F(ClassPathTest, SecondFlavourAddsTheRuntimeLibrary) {
    const std::tuple<char, const char*, const char*> cases[] = {
        {'i', "C:\\Inst", "C:\\Inst\\"},
        {'i', "..\\Inst\\", "C:\\apps\\Inst\\"},
        {'i', "", "C:\\apps\\tool\\"},
        {'q', "C:\\Inst", nullptr},
    };
    for (const auto& [flavour, key10003, directory] : cases) {
        SCOPED_TRACE(key10003);
        ctx.flavour = flavour;
        ctx.config.setNarrow(10003, key10003);
        EXPECT_EQ(buildClassPath(ctx, {{}, {}, {}}),
                  kPrefix +
                      (directory ? std::string(directory) + ".kestrowan\\kwnruntime.jar;" : ""));
    }
}

} // namespace
} // namespace kwn::windows
