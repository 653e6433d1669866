#include "launcher/ErrorReporter.h"

#include "fake/FakePlatform.h"
#include "launcher/LaunchContext.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace kwn::launcher {
namespace {

using platform::MessageBoxStyle;
using test::exitCodeOf;
using testing::ElementsAre;
using testing::HasSubstr;
using testing::IsEmpty;
using testing::Not;

TEST(SubstituteArgument, ReplacesTheFirstPlaceholderOnly) {
    struct Case {
        std::string text;
        std::optional<std::string> argument;
        std::string expected;
    };
    const Case cases[] = {
        {"An internal error occurred (error code: {0})", "16",
         "An internal error occurred (error code: 16)"},
        {"{0} and {0}", "x", "x and {0}"},
        {"no placeholder", "x", "no placeholder"},
        {"keeps {0} without argument", std::nullopt, "keeps {0} without argument"},
        {"{0}", "a{0}", "a{0}"},
        {"{0}", "", ""},
        {"", "x", ""},
        {"{1} {0 } {0}", "x", "{1} {0 } x"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(substituteArgument(c.text, c.argument), c.expected);
    }
    EXPECT_EQ(substituteArgument(std::u16string(u"File {0} not found"),
                                 std::optional<std::u16string>(u"C:\\a.jar")),
              u"File C:\\a.jar not found");
}

class ErrorReporterTest : public testing::Test {
protected:
    void SetUp() override {
        ctx.config.setNarrow(1000, "Error");
        ctx.config.setNarrow(1009, "An internal error occurred (error code: {0})");
        ctx.config.setNarrow(1005, "The JVM could not be started.");
    }
    // Logging on, with its file in a short-named temp directory.
    void logToFile() {
        fake.environment.variables["TMP"] = "C:\\PROGRA~1\\Temp";
        fake.files.addDirectory(u"C:\\PROGRA~1\\Temp");
        fake.files.longPaths[u"C:\\PROGRA~1\\Temp\\kwn_nlog_1"] =
            u"C:\\Program Files\\Temp\\kwn_nlog_1";
        ctx.log.setForced(true);
        ctx.log.logMessage("started");
    }
    std::string logText() const { return fake.files.text(u"C:\\PROGRA~1\\Temp\\kwn_nlog_1"); }

    test::FakePlatform fake;
    LaunchContext ctx{fake.platform()};
};

TEST_F(ErrorReporterTest, MessageBoxCarriesCaptionOwnerAndErrorIcon) {
    int splash = 0;
    ctx.errors.setErrorOwnerWindow(&splash);
    ctx.errors.displayMessage(1009, std::string("16"));
    ASSERT_EQ(fake.ui.boxes.size(), 1u);
    const auto& box = fake.ui.boxes[0];
    EXPECT_EQ(box.text, u"An internal error occurred (error code: 16)");
    EXPECT_EQ(box.caption, u"Error");
    EXPECT_EQ(box.owner, &splash);
    EXPECT_EQ(box.style, MessageBoxStyle::ErrorOk);
    EXPECT_FALSE(box.wide);
    EXPECT_EQ(fake.console.errorOutput, "");
}

TEST_F(ErrorReporterTest, WideMessageUsesTheWideCallAndWidenedCaption) {
    ctx.config.setNarrow(1000, "Fehler \xE9");
    ctx.errors.displayMessageW(1005, std::nullopt);
    ASSERT_EQ(fake.ui.boxes.size(), 1u);
    EXPECT_TRUE(fake.ui.boxes[0].wide);
    EXPECT_EQ(fake.ui.boxes[0].text, u"The JVM could not be started.");
    EXPECT_EQ(fake.ui.boxes[0].caption, u"Fehler \u00E9");
    EXPECT_EQ(fake.ui.boxes[0].owner, nullptr);
}

TEST_F(ErrorReporterTest, ConsoleModeWritesTextAndLineEndToStandardError) {
    ctx.messageBoxMode = false;
    ctx.errors.displayMessage(1009, std::string("7"));
    ctx.errors.displayTextW(u"wide text");
    EXPECT_THAT(fake.ui.boxes, IsEmpty());
    EXPECT_EQ(fake.console.errorOutput, "An internal error occurred (error code: 7)\nwide text\n");
    EXPECT_EQ(fake.console.errorWrites, 2);
}

TEST_F(ErrorReporterTest, AbsentMessageShowsEmptyText) {
    ctx.messageBoxMode = false;
    ctx.errors.displayMessage(1016, std::string("64"));
    EXPECT_EQ(fake.console.errorOutput, "\n");
}

TEST_F(ErrorReporterTest, LogPathIsAppendedInItsLongFormWhenLoggingIsOn) {
    logToFile();
    ctx.errors.displayText("M");
    ctx.errors.displayTextW(u"W");
    ASSERT_EQ(fake.ui.boxes.size(), 2u);
    EXPECT_EQ(fake.ui.boxes[0].text, u"M\n\nLog: C:\\Program Files\\Temp\\kwn_nlog_1");
    EXPECT_EQ(fake.ui.boxes[1].text, u"W\n\nLog: C:\\Program Files\\Temp\\kwn_nlog_1");
}

TEST_F(ErrorReporterTest, LogPathStaysAsItIsWhenItHasNoLongForm) {
    ctx.log.setForced(true);
    ctx.log.logMessage("no directory for the log at all"); // falls back to c:\kwn_nlog
    ctx.messageBoxMode = false;
    ctx.errors.displayText("M");
    EXPECT_EQ(fake.console.errorOutput, "M\n\nLog: c:\\kwn_nlog\n");
}

TEST_F(ErrorReporterTest, NoLogSuffixWhileLoggingIsOffOrUndecided) {
    ctx.log.setForced(true); // forced, but no line written yet: the path is not known
    ctx.errors.displayText("before");
    ctx.log.setForced(false);
    ctx.log.logMessage("decides off");
    ctx.errors.displayText("after");
    ASSERT_EQ(fake.ui.boxes.size(), 2u);
    EXPECT_EQ(fake.ui.boxes[0].text, u"before");
    EXPECT_EQ(fake.ui.boxes[1].text, u"after");
}

TEST_F(ErrorReporterTest, ComposedTextIsCutToTheBuffer) {
    ctx.messageBoxMode = false;
    ctx.errors.displayText(std::string(7000, 'x'));
    EXPECT_EQ(fake.console.errorOutput, std::string(5999, 'x') + "\n");
}

TEST_F(ErrorReporterTest, FatalOperationsShowThenExitWithOne) {
    EXPECT_EQ(exitCodeOf([&] { ctx.errors.fatalText("Internal Error: magic"); }), 1);
    EXPECT_EQ(exitCodeOf([&] { ctx.errors.fatalMessage(1009, std::string("16")); }), 1);
    EXPECT_EQ(exitCodeOf([&] { ctx.errors.fatalMessageW(1005, std::nullopt); }), 1);
    ASSERT_EQ(fake.ui.boxes.size(), 3u);
    EXPECT_EQ(fake.ui.boxes[0].text, u"Internal Error: magic");
    EXPECT_EQ(fake.ui.boxes[1].text, u"An internal error occurred (error code: 16)");
    EXPECT_EQ(fake.ui.boxes[2].text, u"The JVM could not be started.");
    EXPECT_THAT(fake.process.exitCodes, ElementsAre(1, 1, 1));
}

TEST_F(ErrorReporterTest, ExitWithoutTempDirectoryTouchesNoFile) {
    fake.files.addFile("C:\\work\\a.txt", "a");
    EXPECT_EQ(exitCodeOf([&] { ctx.errors.exitLauncher(83); }), 83);
    EXPECT_THAT(fake.files.findPatterns, IsEmpty());
    EXPECT_THAT(fake.files.deleteCalls, IsEmpty());
    EXPECT_THAT(fake.files.removeCalls, IsEmpty());
}

// The layout a launcher temp directory can have after extraction.
void addTempTree(test::FakeFiles& files) {
    files.addFile("C:\\T\\kwn\\a.txt", "a");
    files.addFile("C:\\T\\kwn\\sub\\b.txt", "b");
    files.addFile("C:\\T\\kwn\\sub\\deep\\c.txt", "c");
}

TEST_F(ErrorReporterTest, ExitEmptiesOneLevelDownAndRemovesWhatIsEmpty) {
    addTempTree(fake.files);
    ctx.tempDirectory = "C:\\T\\kwn";
    logToFile();
    EXPECT_EQ(exitCodeOf([&] { ctx.errors.exitLauncher(1); }), 1);
    EXPECT_FALSE(fake.files.hasFile("C:\\T\\kwn\\a.txt"));
    EXPECT_FALSE(fake.files.hasFile("C:\\T\\kwn\\sub\\b.txt"));
    EXPECT_TRUE(fake.files.hasFile("C:\\T\\kwn\\sub\\deep\\c.txt"));
    EXPECT_TRUE(fake.files.hasDirectory("C:\\T\\kwn\\sub\\deep"));
    EXPECT_TRUE(fake.files.hasDirectory("C:\\T\\kwn\\sub"));
    EXPECT_TRUE(fake.files.hasDirectory("C:\\T\\kwn"));
    EXPECT_THAT(logText(), HasSubstr("\nemptying C:\\T\\kwn\n"
                                     "attempting to delete C:\\T\\kwn\\a.txt\n"
                                     "attempting to remove C:\\T\\kwn\\sub (1)\n"
                                     "emptying C:\\T\\kwn\\sub\n"
                                     "attempting to delete C:\\T\\kwn\\sub\\b.txt\n"
                                     "attempting to remove C:\\T\\kwn\\sub\\deep (0)\n"));
    EXPECT_THAT(logText(), Not(HasSubstr("emptying C:\\T\\kwn\\sub\\deep")));
    EXPECT_THAT(fake.files.removeCalls,
                ElementsAre("C:\\T\\kwn\\sub\\deep", "C:\\T\\kwn\\sub", "C:\\T\\kwn"));
}

TEST_F(ErrorReporterTest, ExitRemovesATreeOfFilesCompletely) {
    fake.files.addFile("C:\\T\\kwn\\a.jar", "a");
    fake.files.addFile("C:\\T\\kwn\\user\\b.jar", "b");
    fake.files.addFile("C:\\T\\kwn\\user\\c.jar", "c");
    fake.files.addDirectory("C:\\T\\kwn\\empty");
    ctx.tempDirectory = "C:\\T\\kwn";
    EXPECT_EQ(exitCodeOf([&] { ctx.errors.exitLauncher(1); }), 1);
    EXPECT_FALSE(fake.files.hasDirectory("C:\\T\\kwn"));
    EXPECT_TRUE(fake.files.hasDirectory("C:\\T"));
    EXPECT_TRUE(fake.files.files.empty());
}

TEST_F(ErrorReporterTest, EmptyDirectoryWithoutRecursionOnlyDeletesFilesAndEmptyDirectories) {
    addTempTree(fake.files);
    fake.files.addDirectory("C:\\T\\kwn\\empty");
    ctx.errors.emptyDirectory("C:\\T\\kwn", false);
    EXPECT_FALSE(fake.files.hasFile("C:\\T\\kwn\\a.txt"));
    EXPECT_FALSE(fake.files.hasDirectory("C:\\T\\kwn\\empty"));
    EXPECT_TRUE(fake.files.hasFile("C:\\T\\kwn\\sub\\b.txt"));
    EXPECT_THAT(fake.files.findPatterns, ElementsAre("C:\\T\\kwn\\*.*"));
}

TEST_F(ErrorReporterTest, TrailingBackslashIsNotDoubled) {
    addTempTree(fake.files);
    ctx.errors.emptyDirectory("C:\\T\\kwn\\", true);
    EXPECT_THAT(fake.files.findPatterns, ElementsAre("C:\\T\\kwn\\*.*", "C:\\T\\kwn\\sub\\*.*"));
    EXPECT_THAT(fake.files.deleteCalls, ElementsAre("C:\\T\\kwn\\a.txt", "C:\\T\\kwn\\sub\\b.txt"));
}

TEST_F(ErrorReporterTest, DotPathsAreNeverTouched) {
    logToFile();
    fake.files.addFile(".\\a.txt", "a");
    for (const char* path : {".", "..", ".\\sub", ""}) {
        SCOPED_TRACE(path);
        ctx.errors.emptyDirectory(path, true);
    }
    ctx.tempDirectory = ".";
    EXPECT_EQ(exitCodeOf([&] { ctx.errors.exitLauncher(1); }), 1);
    EXPECT_THAT(fake.files.findPatterns, IsEmpty());
    EXPECT_THAT(fake.files.deleteCalls, IsEmpty());
    EXPECT_THAT(logText(), Not(HasSubstr("emptying")));
}

TEST_F(ErrorReporterTest, MissingTempDirectoryStillExits) {
    ctx.tempDirectory = "C:\\T\\gone";
    EXPECT_EQ(exitCodeOf([&] { ctx.errors.exitLauncher(1); }), 1);
    EXPECT_THAT(fake.files.findPatterns, ElementsAre("C:\\T\\gone\\*.*"));
    EXPECT_THAT(fake.files.deleteCalls, IsEmpty());
}

TEST_F(ErrorReporterTest, FatalErrorShowsTheMessageAndRemovesTheTempDirectory) {
    fake.files.addFile("C:\\T\\kwn\\a.jar", "a");
    ctx.tempDirectory = "C:\\T\\kwn";
    EXPECT_EQ(exitCodeOf([&] { ctx.errors.fatalMessage(1009, std::string("16")); }), 1);
    EXPECT_EQ(fake.ui.boxes.size(), 1u);
    EXPECT_FALSE(fake.files.hasDirectory("C:\\T\\kwn"));
}

} // namespace
} // namespace kwn::launcher
