#include "files/PackedRuntime.h"

#include "fake/FakePlatform.h"
#include "launcher/LaunchContext.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

namespace kwn::files {
namespace {

using test::exitCodeOf;
using testing::ElementsAre;
using testing::HasSubstr;
using testing::IsEmpty;
using testing::Not;

const std::u16string kLogFile = u"C:\\Temp\\kwn_nlog_1";
const std::string kRuntime = "c:\\jre";
const std::string kTool = "c:\\jre\\bin\\unpack200.exe";
constexpr std::uint32_t kUnboundedWait = 0xFFFFFFFF;

class PackedRuntimeTest : public testing::Test {
protected:
    void SetUp() override {
        fake.process.moduleFile = u"C:\\apps\\tool.exe";
        fake.environment.variables["TMP"] = "C:\\Temp";
        fake.files.addDirectory(u"C:\\Temp");
        ctx.log.setForced(true);
        ctx.config.setNarrow(1000, "Error");
        ctx.config.setNarrow(1009, "An internal error occurred (error code: {0})");
        fake.files.addFile(kRuntime + "\\bin\\java.exe", "MZ");
        fake.files.addFile(kRuntime + "\\lib\\ext\\localedata.jar", "PK");
    }

    // A tool that does its job: the archive appears beside the pack file.
    void installTool(const std::string& runtime) {
        fake.programs.children[runtime + "\\bin\\unpack200.exe"].effect = [this] {
            const std::string& arguments = fake.programs.starts.back().commandLine;
            size_t open = arguments.rfind('"', arguments.size() - 2);
            fake.files.addFile(arguments.substr(open + 1, arguments.size() - open - 2), "PK");
        };
    }

    // The lines written after the log's header.
    std::vector<std::string> logLines() const {
        std::string text = fake.files.text(kLogFile);
        size_t body = text.find("\n\n");
        std::vector<std::string> lines;
        for (size_t start = body == std::string::npos ? text.size() : body + 2;
             start < text.size();) {
            size_t end = text.find('\n', start);
            lines.push_back(text.substr(start, end - start));
            start = end + 1;
        }
        return lines;
    }

    std::vector<std::string> startedArguments() const {
        std::vector<std::string> arguments;
        for (const auto& start : fake.programs.starts)
            arguments.push_back(start.commandLine);
        return arguments;
    }

    test::FakePlatform fake;
    launcher::LaunchContext ctx{fake.platform()};
};

TEST_F(PackedRuntimeTest, RuntimeWithoutPackFilesIsLeftAlone) {
    installTool(kRuntime);
    unpackRuntime(ctx, kRuntime);
    EXPECT_THAT(fake.files.findPatterns,
                ElementsAre("c:\\jre\\lib\\*.jar.pack", "c:\\jre\\lib\\ext\\*.jar.pack"));
    EXPECT_EQ(fake.files.text(kLogFile), "");
    EXPECT_EQ(fake.console.standardOutput, "");
    EXPECT_THAT(fake.programs.starts, IsEmpty());
}

TEST_F(PackedRuntimeTest, UnpacksLibThenExtAndAnnouncesOnce) {
    fake.files.addFile("c:\\jre\\lib\\rt.jar.pack", "packed");
    fake.files.addFile("c:\\jre\\lib\\ext\\a.jar.pack", "packed");
    installTool(kRuntime);
    unpackRuntime(ctx, kRuntime);

    EXPECT_EQ(fake.console.standardOutput, "Preparing JRE ...\n");
    EXPECT_THAT(logLines(),
                ElementsAre("checking c:\\jre\\lib\\rt.jar", "Unpacking JRE", kTool,
                            "-r \"c:\\jre\\lib\\rt.jar.pack\" \"c:\\jre\\lib\\rt.jar\"",
                            "waiting for unpack200 to finish", "unpack done",
                            "checking c:\\jre\\lib\\ext\\a.jar", kTool,
                            "-r \"c:\\jre\\lib\\ext\\a.jar.pack\" \"c:\\jre\\lib\\ext\\a.jar\"",
                            "waiting for unpack200 to finish", "unpack done",
                            "Unpacking JRE done"));
    ASSERT_EQ(fake.programs.starts.size(), 2u);
    EXPECT_EQ(fake.programs.starts[0].program, kTool);
    EXPECT_EQ(fake.programs.starts[1].program, kTool);
    EXPECT_THAT(fake.programs.waits, ElementsAre(kUnboundedWait, kUnboundedWait));
    EXPECT_FALSE(fake.files.hasFile("c:\\jre\\lib\\rt.jar.pack"));
    EXPECT_FALSE(fake.files.hasFile("c:\\jre\\lib\\ext\\a.jar.pack"));
    EXPECT_TRUE(fake.files.hasFile("c:\\jre\\lib\\ext\\a.jar"));
}

TEST_F(PackedRuntimeTest, ArchiveThatExistsIsOnlyChecked) {
    fake.files.addFile("c:\\jre\\lib\\rt.jar.pack", "packed");
    fake.files.addFile("c:\\jre\\lib\\rt.jar", "PK");
    installTool(kRuntime);
    unpackRuntime(ctx, kRuntime);
    EXPECT_THAT(logLines(), ElementsAre("checking c:\\jre\\lib\\rt.jar"));
    EXPECT_EQ(fake.console.standardOutput, "");
    EXPECT_THAT(fake.programs.starts, IsEmpty());
    EXPECT_TRUE(fake.files.hasFile("c:\\jre\\lib\\rt.jar.pack"));
}

TEST_F(PackedRuntimeTest, OnlyTheMissingArchivesAreUnpacked) {
    fake.files.addFile("c:\\jre\\lib\\charsets.jar.pack", "packed");
    fake.files.addFile("c:\\jre\\lib\\rt.jar.pack", "packed");
    fake.files.addFile("c:\\jre\\lib\\charsets.jar", "PK");
    installTool(kRuntime);
    unpackRuntime(ctx, kRuntime);
    EXPECT_THAT(startedArguments(),
                ElementsAre("-r \"c:\\jre\\lib\\rt.jar.pack\" \"c:\\jre\\lib\\rt.jar\""));
    EXPECT_EQ(fake.console.standardOutput, "Preparing JRE ...\n");
    EXPECT_TRUE(fake.files.hasFile("c:\\jre\\lib\\charsets.jar.pack"));
}

TEST_F(PackedRuntimeTest, EveryCallAnnouncesItsOwnWork) {
    fake.files.addFile("c:\\jre\\lib\\rt.jar.pack", "packed");
    fake.files.addFile("d:\\jdk\\jre\\lib\\ext\\a.jar.pack", "packed");
    installTool(kRuntime);
    installTool("d:\\jdk\\jre");
    unpackRuntime(ctx, kRuntime);
    unpackRuntime(ctx, "d:\\jdk\\jre");
    unpackRuntime(ctx, kRuntime); // nothing left to do
    EXPECT_EQ(fake.console.standardOutput, "Preparing JRE ...\nPreparing JRE ...\n");
    std::vector<std::string> lines = logLines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "Unpacking JRE done"), 2);
}

TEST_F(PackedRuntimeTest, BlanksInThePathsReachTheToolInsideQuotes) {
    const std::string runtime = "C:\\Program Files\\My App\\jre";
    fake.files.addFile(runtime + "\\lib\\rt.jar.pack", "packed");
    installTool(runtime);
    unpackRuntime(ctx, runtime);
    ASSERT_EQ(fake.programs.starts.size(), 1u);
    EXPECT_EQ(fake.programs.starts[0].program, runtime + "\\bin\\unpack200.exe");
    EXPECT_EQ(fake.programs.starts[0].commandLine,
              "-r \"C:\\Program Files\\My App\\jre\\lib\\rt.jar.pack\" "
              "\"C:\\Program Files\\My App\\jre\\lib\\rt.jar\"");
}

TEST_F(PackedRuntimeTest, MissingToolIsInternalError20) {
    fake.files.addFile("c:\\jre\\lib\\rt.jar.pack", "packed");
    EXPECT_EQ(exitCodeOf([&] { unpackRuntime(ctx, kRuntime); }), 1);
    ASSERT_EQ(fake.ui.boxes.size(), 1u);
    EXPECT_EQ(fake.ui.boxes[0].text,
              u"An internal error occurred (error code: 20)\n\nLog: " + kLogFile);
    EXPECT_THAT(fake.files.text(kLogFile), HasSubstr("\ncould not create unpack process\n"));
    EXPECT_THAT(fake.files.text(kLogFile), Not(HasSubstr("waiting")));
    EXPECT_TRUE(fake.files.hasFile("c:\\jre\\lib\\rt.jar.pack"));
}

TEST_F(PackedRuntimeTest, PackFileIsDeletedWhateverTheToolDid) {
    struct Case {
        const char* name;
        bool toolRemovesPack;
        std::optional<std::uint32_t> deleteError;
        const char* logged; // nullptr: no complaint
    };
    const Case cases[] = {
        {"deleted", false, std::nullopt, nullptr},
        {"already gone", true, std::nullopt, nullptr},
        {"access denied", false, 5u, "could not delete packed file (error 5)"},
        {"sharing violation", false, 32u, "could not delete packed file (error 32)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::FakePlatform platform;
        platform.environment.variables["TMP"] = "C:\\Temp";
        platform.files.addDirectory(u"C:\\Temp");
        launcher::LaunchContext context(platform.platform());
        context.log.setForced(true);
        const std::string pack = "c:\\jre\\lib\\rt.jar.pack";
        platform.files.addFile(pack, "packed");
        if (c.deleteError)
            platform.files.deleteErrors[test::widen(pack)] = *c.deleteError;
        platform.programs.children[kTool].exitCode = 1; // its outcome is not looked at
        if (c.toolRemovesPack)
            platform.programs.children[kTool].effect = [&] {
                platform.files.files.erase(test::widen(pack));
            };

        unpackRuntime(context, kRuntime);
        EXPECT_THAT(platform.files.deleteCalls, ElementsAre(pack));
        std::string log = platform.files.text(kLogFile);
        if (c.logged)
            EXPECT_THAT(log, HasSubstr("\nunpack done\n" + std::string(c.logged) + "\n"));
        else
            EXPECT_THAT(log, Not(HasSubstr("could not delete")));
        EXPECT_THAT(log, HasSubstr("\nUnpacking JRE done\n"));
    }
}

// Another launcher preparing the same runtime may take a pack file away behind our listing.
TEST_F(PackedRuntimeTest, PackFileGoneSinceTheListingIsSkipped) {
    fake.files.addFile("c:\\jre\\lib\\a.jar.pack", "packed");
    fake.files.addFile("c:\\jre\\lib\\b.jar.pack", "packed");
    fake.programs.children[kTool].effect = [this] {
        fake.files.files.erase(u"c:\\jre\\lib\\b.jar.pack");
    };
    unpackRuntime(ctx, kRuntime);
    EXPECT_EQ(fake.programs.starts.size(), 1u);
    EXPECT_THAT(logLines(),
                testing::IsSupersetOf({"checking c:\\jre\\lib\\b.jar", "pack path doesn't exists",
                                       "Unpacking JRE done"}));
    EXPECT_THAT(fake.files.deleteCalls, ElementsAre("c:\\jre\\lib\\a.jar.pack"));
}

} // namespace
} // namespace kwn::files
