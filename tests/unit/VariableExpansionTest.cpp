#include "windows/VariableExpansion.h"

#include "fake/LoggedLaunchTest.h"
#include "launcher/LaunchContext.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace kwn::windows {
namespace {

using test::widen;
using testing::ElementsAreArray;
using testing::HasSubstr;

struct Fixed {
    const char* reference;
    const char* value;
};
// The fixed variables in the order they must be applied, with the values of kValues.
// clang-format off
const Fixed kFixed[] = {
    {"%QELVO_EXEDIR%", "L\\"}, {"%KESTROWAN_EXEDIR%", "L\\"},
    {"%QELVO_TEMPDIR%", "T"}, {"%KESTROWAN_TEMPDIR%", "T"},
    {"%QELVO_PATHLIST_SEPARATOR%", ";"}, {"%KESTROWAN_PATHLIST_SEPARATOR%", ";"},
    {"%QELVO_JVM_HOME%", "J"}, {"%KESTROWAN_JVM_HOME%", "J"},
    {"${QELVO_EXEDIR}", "L\\"}, {"${KESTROWAN_EXEDIR}", "L\\"},
    {"${QELVO_TEMPDIR}", "T"}, {"${KESTROWAN_TEMPDIR}", "T"},
    {"${QELVO_PATHLIST_SEPARATOR}", ";"}, {"${KESTROWAN_PATHLIST_SEPARATOR}", ";"},
    {"${QELVO_JVM_HOME}", "J"}, {"${KESTROWAN_JVM_HOME}", "J"},
    {"${launcher:sys.launcherDirectory}", "L\\"}, {"${launcher:sys.launcherTempDirectory}", "T"},
    {"${launcher:sys.pathlistSeparator}", ";"}, {"${launcher:sys.jvmHome}", "J"},
    {"${launcher:sys.tempDir}", "S\\"},
};
// clang-format on
const ExpansionValues<std::string> kValues{"L\\", "T", "J", "S\\", {}};

const std::u16string kUnicodeModule = u"C:\\apps\\\u0416tool\\run.exe";

class VariableExpansionTest : public test::LoggedLaunchTest {
protected:
    // Both expanders over the same values; the narrow result is returned.
    std::string expand(std::string text, const ExpansionValues<std::string>& values) {
        ExpansionValues<std::u16string> wide{widen(values.launcherDirectory),
                                             widen(values.launcherTempDirectory),
                                             widen(values.jvmHome),
                                             widen(values.systemTempDirectory),
                                             {}};
        for (const std::string& entry : values.environment)
            wide.environment.push_back(widen(entry));
        std::u16string wideText = widen(text);
        expandText(wideText, wide, ctx.log);
        expandText(text, values, ctx.log);
        EXPECT_EQ(wideText, widen(text)) << "the two expanders differ";
        return text;
    }
    static ExpansionValues<std::string> withEnvironment(std::vector<std::string> environment) {
        ExpansionValues<std::string> values{"C:\\apps\\tool\\", "", "", "C:\\Temp\\", {}};
        values.environment = std::move(environment);
        return values;
    }
};

TEST_F(VariableExpansionTest, FixedReferencesAreReplacedEverywhereInTheirOrder) {
    std::string all;
    for (const Fixed& f : kFixed) {
        SCOPED_TRACE(f.reference);
        std::string r = f.reference;
        EXPECT_EQ(expand("<" + r + "|" + r + ">", kValues),
                  std::string("<") + f.value + "|" + f.value + ">");
        all = r + all; // reversed, so that text order cannot pass for the order applied
    }
    // The log shows the references in the order they were applied.
    ctx.log.logMessage("--");
    expandText(all, kValues, ctx.log);
    const std::string log = logText(), mark = "\nexpanding2 ";
    std::vector<std::string> applied, expected;
    for (size_t at = log.find(mark, log.find("\n--\n")); at != std::string::npos;
         at = log.find(mark, at + 1))
        applied.push_back(log.substr(at + mark.size(), log.find(" to ", at) - at - mark.size()));
    for (const Fixed& f : kFixed)
        expected.push_back(f.reference);
    EXPECT_THAT(applied, ElementsAreArray(expected));
}

TEST_F(VariableExpansionTest, ValuesMeetOnlyTheReferencesAppliedAfterThem) {
    struct Case {
        const char* name;
        ExpansionValues<std::string> values;
        const char* text;
        const char* expected;
    };
    // clang-format off
    const Case cases[] = {
        {"later fixed reference", {"${launcher:sys.jvmHome}\\", "", "J", "", {}}, "%QELVO_EXEDIR%",
         "J\\"},
        {"earlier fixed reference", {"L", "", "%QELVO_EXEDIR%", "", {}}, "${launcher:sys.jvmHome}",
         "%QELVO_EXEDIR%"},
        {"environment after fixed", {"", "${A}", "", "", {"A=a"}}, "%QELVO_TEMPDIR%", "a"},
        {"fixed before environment", {"L", "", "", "", {"A=%QELVO_EXEDIR%"}}, "${A}",
         "%QELVO_EXEDIR%"},
        {"own fixed reference", {"%QELVO_EXEDIR%x", "", "", "", {}}, "%QELVO_EXEDIR%",
         "%QELVO_EXEDIR%x"},
        {"own environment reference", {"", "", "", "", {"Self=x${Self}"}}, "${Self}", "x${Self}"},
        {"own upper-case reference", {"", "", "", "", {"SELF=x${SELF}"}}, "${SELF}", "x${SELF}"},
        {"block order A, B", {"", "", "", "", {"A=${B}", "B=b"}}, "${A}", "b"},
        {"block order B, A", {"", "", "", "", {"B=b", "A=${B}"}}, "${A}", "${B}"},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(expand(c.text, c.values), c.expected);
    }
}

TEST_F(VariableExpansionTest, OnlyExactReferencesAreReplaced) {
    const ExpansionValues<std::string> mixedCase =
        withEnvironment({"Path=C:\\bin", "NOEQUALS", "lazy=z"});
    const ExpansionValues<std::string> upperCase = withEnvironment({"PATH=C:\\bin"});
    const std::pair<const char*, const char*> cases[] = {
        {"${launcher:sys.launcherDirectory}lib\\x.jar", "C:\\apps\\tool\\lib\\x.jar"},
        {"${launcher:sys.launcherDirectory}\\lib", "C:\\apps\\tool\\\\lib"},
        {"[%QELVO_TEMPDIR%][${launcher:sys.jvmHome}]", "[][]"},
        {"${LAUNCHER:SYS.JVMHOME}", "${LAUNCHER:SYS.JVMHOME}"},
        {"%qelvo_exedir%", "%qelvo_exedir%"},
        {"%Path% %PATH%", "%Path% %PATH%"},
        {"${Path}|${PATH}|${path}", "C:\\bin|C:\\bin|${path}"},
        {"${LAZY}", "z"},
        {"${NOEQUALS} ${unknown} ${QELVO_EXEDIR %% $",
         "${NOEQUALS} ${unknown} ${QELVO_EXEDIR %% $"},
    };
    for (const auto& [text, expected] : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(expand(text, mixedCase), expected);
    }
    EXPECT_EQ(expand("${Path}|${PATH}", upperCase), "${Path}|C:\\bin");
}

TEST_F(VariableExpansionTest, EmptyReferenceTakesTheFirstHiddenEntry) {
    ExpansionValues<std::string> values = withEnvironment({"=C:=C:\\work", "=D:=D:\\x", "A=1"});
    EXPECT_EQ(expand("${}|${}|${A}", values), "C:=C:\\work|C:=C:\\work|1");
}

TEST_F(VariableExpansionTest, EverySubstitutionIsLoggedWithTheWholeText) {
    expand("x${B}${B}", withEnvironment({"B=b"}));
    const std::string lines = "\nexpanding2 ${B} to b in xb${B}.\nexpanding2 ${B} to b in xbb.\n";
    EXPECT_THAT(logText(), HasSubstr(lines + lines.substr(1))); // wide, then narrow
}

TEST_F(VariableExpansionTest, ExpandersTakeTheirValuesFromTheLaunchState) {
    fake.files.addDirectory("C:\\Temp");
    fake.files.systemTempPath = u"C:\\Temp\\";
    fake.environment.variables["A"] = "1";
    ctx.tempDirectory = "C:\\Temp\\qvo1.tmp_dir5\xE9";
    const std::string refs = "%QELVO_EXEDIR%|%QELVO_TEMPDIR%|${launcher:sys.jvmHome}|"
                             "${launcher:sys.tempDir}|${A}";
    std::string before = refs, narrowText = refs;
    expandVariablesNarrow(ctx, before);
    EXPECT_EQ(before, "C:\\apps\\tool\\|C:\\Temp\\qvo1.tmp_dir5\xE9||C:\\Temp\\|1");
    setJvmHome(ctx, "C:\\jre\\bin\\java.exe");
    expandVariablesNarrow(ctx, narrowText);
    EXPECT_EQ(narrowText,
              "C:\\apps\\tool\\|C:\\Temp\\qvo1.tmp_dir5\xE9|C:\\jre\\bin\\..|C:\\Temp\\|1");
    std::u16string wideText = widen(refs);
    expandVariables(ctx, wideText, false);
    EXPECT_EQ(wideText, u"C:\\apps\\tool\\|C:\\Temp\\qvo1.tmp_dir5\u00E9|C:\\jre\\bin\\..|"
                        u"C:\\Temp\\|1");
}

TEST_F(VariableExpansionTest, NarrowSafeTakesTheNarrowDirectoryAndTempSelection) {
    fake.process.moduleFile = kUnicodeModule;
    fake.files.shortPaths[kUnicodeModule] = u"C:\\apps\\ZTOOL~1\\run.exe";
    fake.files.systemTempPath = u"C:\\Users\\ZHENYA~1\\Temp\\";
    fake.files.longPaths[u"C:\\Users\\ZHENYA~1\\Temp\\"] = u"C:\\Users\\\u0416enya\\Temp\\";
    fake.files.addDirectory("C:\\Windows\\temp");
    const std::string refs = "${launcher:sys.launcherDirectory}|${launcher:sys.tempDir}";
    std::u16string safe = widen(refs), unicode = widen(refs);
    std::string narrowText = refs;
    expandVariables(ctx, safe, true);
    expandVariables(ctx, unicode, false);
    expandVariablesNarrow(ctx, narrowText);
    EXPECT_EQ(safe, u"C:\\apps\\ZTOOL~1\\|C:\\Windows\\temp");
    EXPECT_EQ(unicode, u"C:\\apps\\\u0416tool\\|C:\\Users\\ZHENYA~1\\Temp\\");
    EXPECT_EQ(narrowText, "C:\\apps\\ZTOOL~1\\|C:\\Windows\\temp");
}

TEST(JvmHome, CutsTheExecutableNameAndAppendsTwoDots) {
    const std::pair<const char*, const char*> cases[] = {
        {"C:\\jre\\bin\\javaw.exe", "C:\\jre\\bin\\.."},
        {"C:\\jre\\bin\\java.exe", "C:\\jre\\bin\\.."},
        {"D:\\j dk\\bin\\\\java.exe", "D:\\j dk\\bin\\\\.."},
    };
    for (const auto& [executable, home] : cases) {
        SCOPED_TRACE(executable);
        EXPECT_EQ(jvmHomeFor(executable), home);
    }
}

} // namespace
} // namespace kwn::windows
