#include "windows/VariableExpansion.h"

#include "fake/LoggedLaunchTest.h"
#include "launcher/LaunchContext.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace kwn::windows {
namespace {

using test::widen;
using Values = ExpansionValues<std::string>;

class VariableExpansionTest : public test::LoggedLaunchTest {
protected:
    // Both expanders over the same values must agree; the narrow result is returned.
    std::string expand(std::string text, const Values& values) {
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
};

// A value meets only the references applied after its own: the fixed ones in their order, then
// the environment block's in its order, each also in upper case.
TEST_F(VariableExpansionTest, ReferencesMeetOnlyTheValuesAppliedBeforeThem) {
    const Values fixed{"L\\", "T", "J", "S\\", {}};
    const Values env{"", "", "", "", {"Path=C:\\bin", "NOEQUALS", "lazy=z", "=C:=C:\\w", "=D:=x"}};
    // clang-format off
    const std::tuple<Values, std::string, std::string> cases[] = {
        {fixed, "%QELVO_EXEDIR%%KESTROWAN_EXEDIR%%QELVO_TEMPDIR%%KESTROWAN_TEMPDIR%%QELVO_JVM_HOME%"
                "%KESTROWAN_JVM_HOME%%QELVO_PATHLIST_SEPARATOR%%KESTROWAN_PATHLIST_SEPARATOR%",
         "L\\L\\TTJJ;;"},
        {fixed, "${QELVO_EXEDIR}${KESTROWAN_EXEDIR}${QELVO_TEMPDIR}${KESTROWAN_TEMPDIR}${QELVO_JVM_HOME}"
                "${KESTROWAN_JVM_HOME}${QELVO_PATHLIST_SEPARATOR}${KESTROWAN_PATHLIST_SEPARATOR}",
         "L\\L\\TTJJ;;"},
        {fixed, "${launcher:sys.launcherDirectory}${launcher:sys.launcherTempDirectory}"
                "${launcher:sys.pathlistSeparator}${launcher:sys.jvmHome}${launcher:sys.tempDir}",
         "L\\T;JS\\"},
        {fixed, "<%QELVO_EXEDIR%|%QELVO_EXEDIR%>", "<L\\|L\\>"},
        {fixed, "${LAUNCHER:SYS.JVMHOME}%qelvo_exedir%", "${LAUNCHER:SYS.JVMHOME}%qelvo_exedir%"},
        {{"${launcher:sys.jvmHome}\\", "", "J", "", {}}, "%QELVO_EXEDIR%", "J\\"},
        {{"L", "", "%QELVO_EXEDIR%", "", {}}, "${launcher:sys.jvmHome}", "%QELVO_EXEDIR%"},
        {{"", "${A}", "", "", {"A=a"}}, "%QELVO_TEMPDIR%", "a"},
        {{"L", "", "", "", {"A=%QELVO_EXEDIR%"}}, "${A}", "%QELVO_EXEDIR%"},
        {{"%QELVO_EXEDIR%x", "", "", "", {}}, "%QELVO_EXEDIR%", "%QELVO_EXEDIR%x"},
        {{"", "", "", "", {"Self=x${Self}"}}, "${Self}", "x${Self}"},
        {{"", "", "", "", {"SELF=x${SELF}"}}, "${SELF}", "x${SELF}"},
        {{"", "", "", "", {"A=${B}", "B=b"}}, "${A}", "b"},
        {{"", "", "", "", {"B=b", "A=${B}"}}, "${A}", "${B}"},
        {{"", "", "", "", {"PATH=C:\\bin"}}, "${Path}|${PATH}", "${Path}|C:\\bin"},
        {env, "%Path% ${Path}|${PATH}|${path}|${LAZY}", "%Path% C:\\bin|C:\\bin|${path}|z"},
        {env, "${NOEQUALS} ${unknown} ${QELVO_EXEDIR %% $", "${NOEQUALS} ${unknown} ${QELVO_EXEDIR %% $"},
        {env, "${}|${}", "C:=C:\\w|C:=C:\\w"}, // the first hidden entry
    };
    // clang-format on
    for (const auto& [values, text, expected] : cases)
        EXPECT_EQ(expand(text, values), expected) << text;
    // Every substitution is logged with the whole text, the wide expander first.
    const std::string lines = "\nexpanding2 ${B} to b in xb${B}.\nexpanding2 ${B} to b in xbb.\n";
    expand("x${B}${B}", {"", "", "", "", {"B=b"}});
    EXPECT_THAT(logText(), testing::HasSubstr(lines + lines.substr(1)));
}

// The narrow-safe forms (and the narrow expander) take the launcher directory and the temp
// directory the ANSI code page can carry.
TEST_F(VariableExpansionTest, ExpandersTakeTheirValuesFromTheLaunchState) {
    fake.process.moduleFile = u"C:\\apps\\\u0416tool\\run.exe";
    fake.files.shortPaths[fake.process.moduleFile] = u"C:\\apps\\ZTOOL~1\\run.exe";
    fake.files.systemTempPath = u"C:\\Users\\ZHENYA~1\\Temp\\";
    fake.files.longPaths[fake.files.systemTempPath] = u"C:\\Users\\\u0416enya\\Temp\\";
    fake.files.addDirectory("C:\\Windows\\temp");
    fake.environment.variables["A"] = "1";
    ctx.tempDirectory = "C:\\T\\q\xE9";
    setJvmHome(ctx, "C:\\jre\\bin\\java.exe");
    const std::string refs = "%QELVO_EXEDIR%|%QELVO_TEMPDIR%|${launcher:sys.jvmHome}|"
                             "${launcher:sys.tempDir}|${A}";
    std::string narrowText = refs;
    std::u16string safe = widen(refs), unicode = widen(refs);
    expandVariablesNarrow(ctx, narrowText);
    expandVariables(ctx, safe, true);
    expandVariables(ctx, unicode, false);
    EXPECT_EQ(narrowText, "C:\\apps\\ZTOOL~1\\|C:\\T\\q\xE9|C:\\jre\\bin\\..|C:\\Windows\\temp|1");
    EXPECT_EQ(safe, widen(narrowText));
    EXPECT_EQ(unicode, u"C:\\apps\\\u0416tool\\|C:\\T\\q\u00E9|C:\\jre\\bin\\..|"
                       u"C:\\Users\\ZHENYA~1\\Temp\\|1");
    EXPECT_EQ(jvmHomeFor("C:\\jre\\bin\\javaw.exe"), "C:\\jre\\bin\\..");
    EXPECT_EQ(jvmHomeFor("D:\\j\\bin\\\\java.exe"), "D:\\j\\bin\\\\..");
}

} // namespace
} // namespace kwn::windows
