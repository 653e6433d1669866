#include "files/PackedRuntime.h"

#include "RuntimeMachine.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace kwn::files {
namespace {

using testing::ElementsAre;

// Blanks in the runtime's path reach the tool inside quotes; an archive already there is done,
// and a second call finds nothing left to do although the tool made no archive.
TEST(PackedRuntime, UnpacksTheMissingArchivesOfLibThenExtAnnouncingOnce) {
    test::RuntimeMachine m;
    const std::string r = "C:\\Program Files\\App\\jre";
    for (const char* file : {"\\lib\\charsets.jar.pack", "\\lib\\charsets.jar",
                             "\\lib\\rt.jar.pack", "\\lib\\ext\\a.jar.pack"})
        m.fake.files.addFile(r + file, "PK");
    m.fake.programs.children[r + "\\bin\\unpack200.exe"] = {};
    unpackRuntime(m.ctx, r);
    unpackRuntime(m.ctx, r);
    EXPECT_EQ(m.fake.console.standardOutput, "Preparing JRE ...\n");
    ASSERT_EQ(m.fake.programs.starts.size(), 2u);
    EXPECT_EQ(m.fake.programs.starts[0].commandLine,
              "-r \"" + r + "\\lib\\rt.jar.pack\" \"" + r + "\\lib\\rt.jar\"");
    EXPECT_EQ(m.fake.programs.starts[1].commandLine,
              "-r \"" + r + "\\lib\\ext\\a.jar.pack\" \"" + r + "\\lib\\ext\\a.jar\"");
    EXPECT_THAT(m.fake.programs.waits, ElementsAre(0xFFFFFFFF, 0xFFFFFFFF));
    EXPECT_TRUE(m.fake.files.hasFile(r + "\\lib\\charsets.jar.pack"));
}

// Deleted whatever the tool did, so that no later start runs it on the same file again.
TEST(PackedRuntime, PackFileIsDeletedAndOnlyAFailureOtherThanGoneIsLogged) {
    for (auto [toolRemovesPack, error, logged] : {std::tuple{false, 0u, std::vector<std::string>{}},
                                                  {true, 0u, {}},
                                                  {false, 5u, {"(error 5)"}}}) {
        SCOPED_TRACE(error + toolRemovesPack);
        test::RuntimeMachine m;
        m.fake.files.addFile("c:\\jre\\lib\\rt.jar.pack", "packed");
        if (error)
            m.fake.files.deleteErrors[u"c:\\jre\\lib\\rt.jar.pack"] = error;
        auto& tool = m.fake.programs.children["c:\\jre\\bin\\unpack200.exe"];
        tool.exitCode = 1; // its outcome is not looked at
        if (toolRemovesPack)
            tool.effect = [&m] { m.fake.files.files.erase(u"c:\\jre\\lib\\rt.jar.pack"); };
        unpackRuntime(m.ctx, "c:\\jre");
        EXPECT_THAT(m.fake.files.deleteCalls, ElementsAre("c:\\jre\\lib\\rt.jar.pack"));
        EXPECT_EQ(m.logged("could not delete packed file "), logged);
    }
}

TEST(PackedRuntime, MissingToolIsInternalError20) {
    test::RuntimeMachine m;
    m.fake.files.addFile("c:\\jre\\lib\\rt.jar.pack", "packed");
    EXPECT_EQ(test::exitCodeOf([&] { unpackRuntime(m.ctx, "c:\\jre"); }), 1);
    EXPECT_EQ(m.box(), u"Internal error 20\n\nLog: C:\\Logs\\kwn_nlog_1");
    EXPECT_TRUE(m.fake.files.hasFile("c:\\jre\\lib\\rt.jar.pack"));
}

} // namespace
} // namespace kwn::files
