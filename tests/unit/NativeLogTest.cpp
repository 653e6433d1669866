#include "diag/NativeLog.h"

#include "fake/FakePlatform.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace kwn::diag {
namespace {

using platform::TextMode;
using testing::HasSubstr;

const std::u16string kTemp = u"C:\\Users\\a\\AppData\\Local\\Temp";
const std::u16string kTempLog = kTemp + u"\\kwn_nlog_1";
const std::u16string kRootLog = u"c:\\kwn_nlog_1";
const std::u16string kFallbackLog = u"c:\\kwn_nlog";

class NativeLogTest : public testing::Test {
protected:
    void SetUp() override {
        fake.process.moduleFile = u"C:\\apps\\tool.exe";
        fake.system.time = {2026, 12, 6, 22, 29, 47, 0};
        fake.files.addDirectory(u"c:\\");
        fake.files.addDirectory(kTemp);
        fake.environment.variables["TMP"] = narrow(kTemp);
    }
    static std::string narrow(const std::u16string& text) { return test::narrow(text); }

    test::FakePlatform fake;
    NativeLog log{fake.platform()};
};

TEST_F(NativeLogTest, OffByDefault) {
    log.logMessage("first line");
    log.logError("second line %d", 2);
    EXPECT_EQ(log.logFilePath(), std::nullopt);
    EXPECT_TRUE(fake.files.textOpens.empty());
    EXPECT_TRUE(fake.files.files.empty());
}

TEST_F(NativeLogTest, EnvironmentSwitchIsExactlyYes) {
    struct Case {
        std::optional<std::string> qelvo;
        std::optional<std::string> kestrowan;
        bool on;
    };
    const Case cases[] = {
        {"yes", std::nullopt, true},
        {"YES", std::nullopt, false},
        {"Yes", std::nullopt, false},
        {"true", std::nullopt, false},
        {"yes ", std::nullopt, false},
        {" yes", std::nullopt, false},
        {"", std::nullopt, false},
        {std::nullopt, "yes", true},
        {"no", "yes", true},
        {"YES", "yes", true},
        {"yes", "no", true},
        {std::nullopt, "YES", false},
        {std::nullopt, std::nullopt, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.qelvo.value_or("<unset>") + " / " + c.kestrowan.value_or("<unset>"));
        test::FakePlatform platform;
        platform.files.addDirectory(u"c:\\");
        if (c.qelvo)
            platform.environment.variables["QELVO_LOG"] = *c.qelvo;
        if (c.kestrowan)
            platform.environment.variables["KESTROWAN_LOG"] = *c.kestrowan;
        NativeLog subject(platform.platform());
        subject.logMessage("line");
        EXPECT_EQ(subject.logFilePath().has_value(), c.on);
        EXPECT_EQ(platform.files.hasFile(kRootLog), c.on);
    }
}

TEST_F(NativeLogTest, ForcedLogIsOnWithoutVariables) {
    log.setForced(true);
    EXPECT_TRUE(log.isForced());
    log.logMessage("line");
    EXPECT_EQ(log.logFilePath(), kTempLog);
}

TEST_F(NativeLogTest, PathIsUnknownBeforeTheFirstLine) {
    log.setForced(true);
    EXPECT_EQ(log.logFilePath(), std::nullopt);
    EXPECT_TRUE(fake.files.textOpens.empty());
}

TEST_F(NativeLogTest, DecisionIsTakenAtTheFirstLineOnly) {
    log.logMessage("undecided until now");
    fake.environment.variables["QELVO_LOG"] = "yes";
    log.setForced(true);
    log.logMessage("too late");
    EXPECT_EQ(log.logFilePath(), std::nullopt);
    EXPECT_TRUE(fake.files.textOpens.empty());

    test::FakePlatform platform;
    platform.files.addDirectory(u"c:\\");
    platform.environment.variables["KESTROWAN_LOG"] = "yes";
    NativeLog on(platform.platform());
    on.logMessage("first");
    platform.environment.variables.clear();
    on.logMessage("second");
    EXPECT_THAT(platform.files.text(kRootLog), HasSubstr("\nfirst\nsecond\n"));
}

TEST_F(NativeLogTest, NewFileStartsWithHeaderEmptyLineAndFirstLine) {
    log.setForced(true);
    log.logMessage("number of sections: %d", 5);
    EXPECT_EQ(fake.files.text(kTempLog),
              "Started executable C:\\apps\\tool.exe at Sun Dec  6 22:29:47 2026\n\n"
              "number of sections: 5\n");
    EXPECT_GE(fake.files.flushes, 1); // the header is on disk before anything else happens
}

TEST_F(NativeLogTest, ErrorLinesCarryThePrefix) {
    log.setForced(true);
    log.logMessage("plain");
    log.logError("Could not open %S", std::u16string(u"C:\\apps\\tool.exe"));
    EXPECT_THAT(fake.files.text(kTempLog),
                HasSubstr("\nplain\nERROR: Could not open C:\\apps\\tool.exe\n"));
}

TEST_F(NativeLogTest, FormatWithoutArgumentsIsWrittenUnchanged) {
    log.setForced(true);
    log.logMessage("100% sure, %d and %s stay");
    EXPECT_THAT(fake.files.text(kTempLog), HasSubstr("\n100% sure, %d and %s stay\n"));
}

TEST_F(NativeLogTest, EveryLineIsWrittenByOpenAppendClose) {
    log.setForced(true);
    int openDuringCall = -1;
    log.logMessage("one");
    EXPECT_EQ(fake.files.openTextStreams, 0);
    fake.files.onOpenText = [&] { openDuringCall = fake.threads.depth; };
    log.logMessage("two");
    EXPECT_EQ(fake.files.openTextStreams, 0);
    log.logError("three");
    EXPECT_EQ(fake.files.openTextStreams, 0);
    ASSERT_EQ(fake.files.textOpens.size(), 3u);
    EXPECT_EQ(fake.files.textOpens[0].mode, TextMode::CreateNew);
    for (size_t i = 1; i < 3; ++i) {
        EXPECT_EQ(fake.files.textOpens[i].path, kTempLog);
        EXPECT_EQ(fake.files.textOpens[i].mode, TextMode::Append);
    }
    EXPECT_EQ(openDuringCall, 1); // the file is touched only under the log lock
    EXPECT_EQ(fake.threads.enters, fake.threads.leaves);
    EXPECT_THAT(fake.files.text(kTempLog), HasSubstr("\none\ntwo\nERROR: three\n"));
}

TEST_F(NativeLogTest, NameIsKwnNlogNumberedInTmp) {
    fake.environment.variables["TMP"] = narrow(kTemp) + "\\";
    log.setForced(true);
    log.logMessage("x");
    EXPECT_EQ(log.logFilePath(), kTempLog);
}

// Lines reopen the file by its path, and the working directory changes after the first ones.
TEST_F(NativeLogTest, RelativeTmpIsFixedToAFullPath) {
    fake.environment.variables["TMP"] = "wd_tmp";
    fake.files.addDirectory(u"wd_tmp"); // as the current directory sees it
    fake.files.addDirectory(u"C:\\work\\wd_tmp");
    log.setForced(true);
    log.logMessage("x");
    EXPECT_EQ(log.logFilePath(), u"C:\\work\\wd_tmp\\kwn_nlog_1");
}

TEST_F(NativeLogTest, TakenNumbersAreSkippedAndLeftAlone) {
    fake.files.addFile(kTempLog, std::string_view("earlier run"));
    fake.files.addDirectory(kTemp + u"\\kwn_nlog_2");
    log.setForced(true);
    log.logMessage("x");
    EXPECT_EQ(log.logFilePath(), kTemp + u"\\kwn_nlog_3");
    EXPECT_EQ(fake.files.text(kTempLog), "earlier run");
}

TEST_F(NativeLogTest, UnusableTmpFallsBackToTheDriveRoot) {
    struct Case {
        const char* name;
        std::optional<std::string> tmp;
    };
    const Case cases[] = {
        {"unset", std::nullopt},
        {"missing directory", "C:\\nowhere"},
        {"a file", "C:\\file.txt"},
        {"empty", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::FakePlatform platform;
        platform.files.addDirectory(u"c:\\");
        platform.files.addFile("C:\\file.txt", "not a directory");
        if (c.tmp)
            platform.environment.variables["TMP"] = *c.tmp;
        NativeLog subject(platform.platform());
        subject.setForced(true);
        subject.logMessage("x");
        EXPECT_EQ(subject.logFilePath(), kRootLog);
        EXPECT_THAT(platform.files.text(kRootLog), HasSubstr("\n\nx\n"));
    }
}

TEST_F(NativeLogTest, NoDirectoryAtAllLeavesTheFixedPathAndRetriesIt) {
    test::FakePlatform platform; // no TMP, no c:\ drive
    NativeLog subject(platform.platform());
    subject.setForced(true);
    subject.logMessage("lost");
    EXPECT_EQ(subject.logFilePath(), kFallbackLog);
    EXPECT_FALSE(platform.files.hasFile(kFallbackLog));
    ASSERT_EQ(platform.files.textOpens.size(), 1u);
    EXPECT_EQ(platform.files.textOpens[0].mode, TextMode::Write);

    platform.files.addDirectory(u"c:\\"); // the drive comes back: later lines get through
    subject.logMessage("kept");
    ASSERT_EQ(platform.files.textOpens.size(), 2u);
    EXPECT_EQ(platform.files.textOpens[1].path, kFallbackLog);
    EXPECT_EQ(platform.files.textOpens[1].mode, TextMode::Append);
    EXPECT_EQ(platform.files.text(kFallbackLog), "kept\n");
}

TEST_F(NativeLogTest, UncreatableNumberedFileFallsBackToTheFixedPathTruncated) {
    fake.files.readOnlyDirectories.insert(kTemp);
    fake.files.addFile(kFallbackLog, std::string_view("old run\n"));
    log.setForced(true);
    log.logMessage("x");
    EXPECT_EQ(log.logFilePath(), kFallbackLog);
    EXPECT_EQ(fake.files.text(kFallbackLog),
              "Started executable C:\\apps\\tool.exe at Sun Dec  6 22:29:47 2026\n\nx\n");
}

TEST(CtimeText, MatchesTheCLibraryForm) {
    EXPECT_EQ(ctimeText({2026, 12, 6, 22, 29, 47, 0}), "Sun Dec  6 22:29:47 2026\n");
    EXPECT_EQ(ctimeText({1999, 1, 31, 0, 0, 5, 6}), "Sat Jan 31 00:00:05 1999\n");
}

} // namespace
} // namespace kwn::diag
