#include "files/PackedRuntime.h"

#include "RuntimeMachine.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace kwn::files {
namespace {

using test::RuntimeMachine;
using testing::ElementsAre;
using testing::HasSubstr;
using testing::Not;

const std::string kTool = "c:\\jre\\bin\\unpack200.exe";

TEST(PackedRuntime, RuntimeWithoutPackFilesIsLeftAlone) {
    RuntimeMachine m;
    unpackRuntime(m.ctx, "c:\\jre");
    EXPECT_THAT(m.fake.files.findPatterns,
                ElementsAre("c:\\jre\\lib\\*.jar.pack", "c:\\jre\\lib\\ext\\*.jar.pack"));
    EXPECT_EQ(m.logText(), "");
    EXPECT_EQ(m.fake.console.standardOutput, "");
}

// Blanks in the runtime's path reach the tool inside quotes; an archive already there is done.
TEST(PackedRuntime, UnpacksTheMissingArchivesOfLibThenExtAnnouncingOnce) {
    RuntimeMachine m;
    const std::string r = "C:\\Program Files\\My App\\jre", tool = r + "\\bin\\unpack200.exe";
    for (const char* file : {"\\lib\\charsets.jar.pack", "\\lib\\charsets.jar",
                             "\\lib\\rt.jar.pack", "\\lib\\ext\\a.jar.pack"})
        m.fake.files.addFile(r + file, "PK");
    m.fake.programs.children[tool] = {};
    unpackRuntime(m.ctx, r);
    unpackRuntime(m.ctx, r); // the tool made no archive: the pack files are gone all the same
    EXPECT_EQ(m.fake.console.standardOutput, "Preparing JRE ...\n");
    EXPECT_THAT(m.logText(),
                HasSubstr("\nchecking " + r + "\\lib\\charsets.jar\nchecking " + r +
                          "\\lib\\rt.jar\nUnpacking JRE\n" + tool + "\n-r \"" + r +
                          "\\lib\\rt.jar.pack\" \"" + r +
                          "\\lib\\rt.jar\"\n"
                          "waiting for unpack200 to finish\nunpack done\nchecking " +
                          r + "\\lib\\ext\\a.jar\n" + tool + "\n-r \"" + r +
                          "\\lib\\ext\\a.jar.pack\" \"" + r +
                          "\\lib\\ext\\a.jar\"\nwaiting for unpack200 to finish\nunpack done\n"
                          "Unpacking JRE done\n"));
    ASSERT_EQ(m.fake.programs.starts.size(), 2u);
    EXPECT_EQ(m.fake.programs.starts[1].program, tool);
    EXPECT_THAT(m.fake.programs.waits, ElementsAre(0xFFFFFFFF, 0xFFFFFFFF));
    EXPECT_TRUE(m.fake.files.hasFile(r + "\\lib\\charsets.jar.pack"));
    EXPECT_FALSE(m.fake.files.hasFile(r + "\\lib\\rt.jar.pack"));
}

// Deleted whatever the tool did, so that no later start runs it on the same file again.
TEST(PackedRuntime, PackFileIsDeletedAndOnlyAFailureOtherThanGoneIsLogged) {
    struct Case {
        const char* name;
        bool toolRemovesPack;
        std::uint32_t deleteError;
        std::vector<std::string> logged;
    };
    const Case cases[] = {{"deleted", false, 0, {}},
                          {"already gone", true, 0, {}},
                          {"access denied", false, 5, {"(error 5)"}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RuntimeMachine m;
        m.fake.files.addFile("c:\\jre\\lib\\rt.jar.pack", "packed");
        if (c.deleteError)
            m.fake.files.deleteErrors[u"c:\\jre\\lib\\rt.jar.pack"] = c.deleteError;
        m.fake.programs.children[kTool].exitCode = 1; // its outcome is not looked at
        if (c.toolRemovesPack)
            m.fake.programs.children[kTool].effect = [&] {
                m.fake.files.files.erase(u"c:\\jre\\lib\\rt.jar.pack");
            };
        unpackRuntime(m.ctx, "c:\\jre");
        EXPECT_THAT(m.fake.files.deleteCalls, ElementsAre("c:\\jre\\lib\\rt.jar.pack"));
        EXPECT_EQ(m.logged("could not delete packed file "), c.logged);
        EXPECT_THAT(m.logged("Unpacking JRE done"), ElementsAre(""));
    }
}

// Another launcher preparing the same runtime may take a pack file away behind our listing.
TEST(PackedRuntime, PackFileGoneSinceTheListingIsSkipped) {
    RuntimeMachine m;
    m.fake.files.addFile("c:\\jre\\lib\\a.jar.pack", "packed");
    m.fake.files.addFile("c:\\jre\\lib\\b.jar.pack", "packed");
    m.fake.programs.children[kTool].effect = [&] {
        m.fake.files.files.erase(u"c:\\jre\\lib\\b.jar.pack");
    };
    unpackRuntime(m.ctx, "c:\\jre");
    EXPECT_EQ(m.fake.programs.starts.size(), 1u);
    EXPECT_THAT(m.logText(),
                HasSubstr("\nchecking c:\\jre\\lib\\b.jar\npack path doesn't exists\n"));
    EXPECT_THAT(m.fake.files.deleteCalls, ElementsAre("c:\\jre\\lib\\a.jar.pack"));
}

TEST(PackedRuntime, MissingToolIsInternalError20) {
    RuntimeMachine m;
    m.setConfig(config::key::kMessageInternalError, "Internal error {0}");
    m.fake.files.addFile("c:\\jre\\lib\\rt.jar.pack", "packed");
    EXPECT_EQ(test::exitCodeOf([&] { unpackRuntime(m.ctx, "c:\\jre"); }), 1);
    ASSERT_EQ(m.fake.ui.boxes.size(), 1u);
    EXPECT_EQ(m.fake.ui.boxes[0].text, u"Internal error 20\n\nLog: C:\\Logs\\kwn_nlog_1");
    EXPECT_THAT(m.logText(), HasSubstr("\ncould not create unpack process\n"));
    EXPECT_THAT(m.logText(), Not(HasSubstr("waiting")));
    EXPECT_TRUE(m.fake.files.hasFile("c:\\jre\\lib\\rt.jar.pack"));
}

} // namespace
} // namespace kwn::files
