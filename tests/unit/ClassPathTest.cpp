#include "windows/ClassPath.h"

#include "fake/LoggedLaunchTest.h"
#include "launcher/LaunchContext.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace kwn::windows {
namespace {

using testing::ElementsAre;
using testing::HasSubstr;
using testing::IsEmpty;

const std::string kPrefix = "-Djava.class.path=";

class ClassPathTest : public test::LoggedLaunchTest {
protected:
    void SetUp() override {
        ctx.config.setNarrow(1000, "Error");
        ctx.config.setNarrow(1006, "File or directory {0} not found or empty\n");
        ctx.config.setNarrow(1008, "The environment variable {0} has to be defined");
    }
    std::string shownMessage() const {
        return fake.ui.boxes.empty() ? "" : test::narrow(fake.ui.boxes.back().text);
    }

    ClassPathOverrides overrides;
};

struct EntryCase {
    const char* name;
    std::string key121;
    std::string classPath;                             // after the prefix, when the launch goes on
    std::optional<std::string> message = std::nullopt; // the message the launch ends with
};

class ConfiguredClassPathTest : public ClassPathTest,
                                public testing::WithParamInterface<EntryCase> {
protected:
    void SetUp() override {
        ClassPathTest::SetUp();
        fake.files.addFile("C:\\apps\\tool\\app.jar", "");
        fake.environment.variables["QUOTED"] = "\"C:\\lib\\x.jar\"";
        fake.environment.variables["ENDS"] = "C:\\a.jar;";
        fake.environment.variables["LIBS"] = "a.jar;;C:\\b.jar";
        fake.environment.variables["EMPTY"] = "";
        // Scanned in the platform's order, jar before zip, a directory named like a jar too.
        fake.files.addFile("C:\\apps\\tool\\lib\\b.jar", "");
        fake.files.addFile("C:\\apps\\tool\\lib\\a.jar", "");
        fake.files.addFile("C:\\apps\\tool\\lib\\c.zip", "");
        fake.files.addFile("C:\\apps\\tool\\lib\\notes.txt", "");
        fake.files.addDirectory("C:\\apps\\tool\\lib\\d.jar");
        fake.files.addDirectory("C:\\apps\\tool\\empty");
    }
};

TEST_P(ConfiguredClassPathTest, EntriesByTypeAndFlag) {
    const EntryCase& c = GetParam();
    ctx.config.setNarrow(121, c.key121);
    std::string classPath = kPrefix;
    std::optional<int> exit = test::exitCodeOf([&] { addConfiguredClassPath(ctx, classPath); });
    if (c.message) {
        EXPECT_EQ(exit, 1);
        // Logging is on, so the log file is named behind the message.
        EXPECT_EQ(shownMessage(), *c.message + "\n\nLog: C:\\Logs\\kwn_nlog_1");
    } else {
        EXPECT_EQ(exit, std::nullopt);
        EXPECT_EQ(classPath, kPrefix + c.classPath);
        EXPECT_THAT(fake.ui.boxes, IsEmpty());
    }
}

const char* const kMissingApp = "File or directory .\\app2.jar not found or empty\n";

INSTANTIATE_TEST_SUITE_P(
    Key121, ConfiguredClassPathTest,
    testing::Values(
        EntryCase{"ArchiveKeepsTheDot", "A0.\\app.jar", "C:\\apps\\tool\\.\\app.jar;"},
        EntryCase{"MissingOptionalArchiveIsAdded", "A0.\\app2.jar", "C:\\apps\\tool\\.\\app2.jar;"},
        EntryCase{"MissingRequiredArchive", "A1.\\app2.jar", "", kMissingApp},
        EntryCase{"ExistingRequiredArchive", "A1app.jar", "C:\\apps\\tool\\app.jar;"},
        EntryCase{"DirectoryAndAbsolute", "D0lib;A0C:\\x\\\\y.jar",
                  "C:\\apps\\tool\\lib;C:\\x\\y.jar;"},
        EntryCase{"ExpansionGivesSeveralPaths", "A0${LIBS}", "C:\\apps\\tool\\a.jar;C:\\b.jar;"},
        EntryCase{"EmptyShortAndUnknownEntriesSkipped", ";;A;X0foo;A0app.jar;",
                  "C:\\apps\\tool\\app.jar;"},
        EntryCase{"RequiredUnknownTypeIsNeverFound", "X1foo", "",
                  "File or directory foo not found or empty\n"},
        EntryCase{"VariableWithoutQuotes", "E1QUOTED", "C:\\lib\\x.jar;"},
        EntryCase{"VariableEndingInSemicolon", "E0ENDS", "C:\\a.jar;"},
        EntryCase{"UndefinedOptionalVariable", "E0NOPE;A0app.jar", "C:\\apps\\tool\\app.jar;"},
        EntryCase{"UndefinedRequiredVariable", "E1NOPE", "",
                  "The environment variable NOPE has to be defined"},
        EntryCase{"EmptyOptionalVariable", "E0EMPTY", ""},
        EntryCase{"EmptyRequiredVariableIsNotFound", "E1EMPTY", "",
                  "File or directory EMPTY not found or empty\n"},
        EntryCase{"ScannedDirectory", "S1lib",
                  "C:\\apps\\tool\\lib\\a.jar;C:\\apps\\tool\\lib\\b.jar;"
                  "C:\\apps\\tool\\lib\\d.jar;C:\\apps\\tool\\lib\\c.zip;"},
        EntryCase{"EmptyScannedDirectoryIsFound", "S1empty", ""},
        EntryCase{"MissingOptionalScannedDirectory", "S0missing", ""},
        EntryCase{"MissingRequiredScannedDirectory", "S1missing", "",
                  "File or directory missing not found or empty\n"},
        EntryCase{"MessageNamesTheExpandedValue", "S1${launcher:sys.launcherDirectory}gone", "",
                  "File or directory C:\\apps\\tool\\gone not found or empty\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ClassPathTest, ConfiguredEntriesAreLogged) {
    ctx.config.setNarrow(121, "A0a.jar;;E0B");
    std::string classPath;
    addConfiguredClassPath(ctx, classPath);
    EXPECT_THAT(logText(), HasSubstr("\nclasspath entry A0a.jar;;E0B\nclasspath entries 2\n"));
}

TEST_F(ClassPathTest, RequiredMissingEntryRemovesTheTempDirectory) {
    fake.files.addFile("C:\\T\\kwn.tmp\\a.jar", "");
    ctx.tempDirectory = "C:\\T\\kwn.tmp";
    ctx.config.setNarrow(121, "A1missing.jar");
    EXPECT_EQ(test::exitCodeOf([&] { buildClassPath(ctx, overrides); }), 1);
    EXPECT_FALSE(fake.files.hasDirectory("C:\\T\\kwn.tmp"));
}

struct OverrideCase {
    const char* name;
    std::string key121;
    ClassPathOverrides overrides;
    std::string classPath;
};

class ClassPathOverrideTest : public ClassPathTest,
                              public testing::WithParamInterface<OverrideCase> {};

TEST_P(ClassPathOverrideTest, DirectivesAroundTheConfiguredEntries) {
    ctx.config.setNarrow(121, GetParam().key121);
    EXPECT_EQ(buildClassPath(ctx, GetParam().overrides), kPrefix + GetParam().classPath);
}

INSTANTIATE_TEST_SUITE_P(
    Overrides, ClassPathOverrideTest,
    testing::Values(
        OverrideCase{"AppendAlone", "", {{}, "x", {}}, ";x"},
        OverrideCase{"AppendAfterEntries", "A0app.jar", {{}, "x", {}}, "C:\\apps\\tool\\app.jar;x"},
        OverrideCase{
            "PrependFirst", "A0app.jar", {{}, {}, "p.jar"}, "p.jar;C:\\apps\\tool\\app.jar;"},
        OverrideCase{
            "ClassPathReplacesTheEntries", "A0app.jar", {"C:\\x.jar", {}, {}}, "C:\\x.jar"},
        OverrideCase{
            "ClassPathWithAppend", "A1missing.jar", {"C:\\x.jar", "z.jar", {}}, "C:\\x.jar;z.jar"},
        OverrideCase{
            "ClassPathEndingInSemicolon", "", {"C:\\x.jar;", "z.jar", {}}, "C:\\x.jar;z.jar"},
        OverrideCase{"EmptyClassPathDirective", "A0app.jar", {"", {}, {}}, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ClassPathTest, ClassPathDirectiveKeepsTempArchivesRuntimeAndDirectives) {
    fake.files.addFile("C:\\T\\kwn.tmp\\a.jar", "");
    ctx.tempDirectory = "C:\\T\\kwn.tmp";
    ctx.flavour = 'i';
    ctx.config.setNarrow(10003, "C:\\inst");
    ctx.config.setNarrow(121, "A0app.jar");
    overrides = {"C:\\x.jar", "z.jar", "p.jar"};
    EXPECT_EQ(buildClassPath(ctx, overrides),
              kPrefix + "p.jar;C:\\T\\kwn.tmp\\a.jar;C:\\inst\\.kestrowan\\kwnruntime.jar;"
                        "C:\\x.jar;z.jar");
}

TEST_F(ClassPathTest, TempDirectoryArchivesThenItsUserDirectory) {
    fake.files.addFile("C:\\T\\kwn.tmp\\b.zip", "");
    fake.files.addFile("C:\\T\\kwn.tmp\\a.jar", "");
    fake.files.addFile("C:\\T\\kwn.tmp\\readme.txt", "");
    fake.files.addFile("C:\\T\\kwn.tmp\\user\\v.zip", "");
    fake.files.addFile("C:\\T\\kwn.tmp\\user\\u.jar", "");
    ctx.tempDirectory = "C:\\T\\kwn.tmp";
    ctx.config.setNarrow(121, "A0app.jar");
    EXPECT_EQ(buildClassPath(ctx, overrides),
              kPrefix + "C:\\T\\kwn.tmp\\a.jar;C:\\T\\kwn.tmp\\b.zip;C:\\T\\kwn.tmp\\user\\u.jar;"
                        "C:\\T\\kwn.tmp\\user\\v.zip;C:\\apps\\tool\\app.jar;");
    EXPECT_THAT(fake.files.findPatterns,
                ElementsAre("C:\\T\\kwn.tmp\\*.jar", "C:\\T\\kwn.tmp\\*.zip",
                            "C:\\T\\kwn.tmp\\user\\*.jar", "C:\\T\\kwn.tmp\\user\\*.zip"));
}

TEST_F(ClassPathTest, NoTempDirectoryNoScan) {
    EXPECT_EQ(buildClassPath(ctx, overrides), kPrefix);
    EXPECT_THAT(fake.files.findPatterns, IsEmpty());
}

struct RuntimeCase {
    const char* name;
    char flavour;
    std::string key10003;
    std::string classPath;
};

class RuntimeLibraryTest : public ClassPathTest, public testing::WithParamInterface<RuntimeCase> {};

TEST_P(RuntimeLibraryTest, SecondFlavourAddsTheRuntimeJar) {
    ctx.flavour = GetParam().flavour;
    ctx.config.setNarrow(10003, GetParam().key10003);
    EXPECT_EQ(buildClassPath(ctx, overrides), kPrefix + GetParam().classPath);
}

INSTANTIATE_TEST_SUITE_P(Key10003, RuntimeLibraryTest,
                         testing::Values(RuntimeCase{"Absolute", 'i', "C:\\Inst",
                                                     "C:\\Inst\\.kestrowan\\kwnruntime.jar;"},
                                         RuntimeCase{"RelativeResolvedCaseKept", 'i', "..\\Inst\\",
                                                     "C:\\apps\\Inst\\.kestrowan\\kwnruntime.jar;"},
                                         RuntimeCase{"EmptyIsTheLauncherDirectory", 'i', "",
                                                     "C:\\apps\\tool\\.kestrowan\\kwnruntime.jar;"},
                                         RuntimeCase{"FirstFlavourHasNone", 'q', "C:\\Inst", ""}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ClassPathTest, HundredKilobyteTextsPassIntact) {
    std::string big(100 * 1024, 'j');
    fake.environment.variables["BIG"] = big;
    ctx.config.setNarrow(121, "E1BIG");
    EXPECT_EQ(buildClassPath(ctx, overrides), kPrefix + big + ";");
    overrides.classPath = big + "1";
    overrides.appendClassPath = big + "2";
    EXPECT_EQ(buildClassPath(ctx, overrides), kPrefix + big + "1;" + big + "2");
}

} // namespace
} // namespace kwn::windows
