#include "tools/kwnbuild/IncludedFileList.h"

#include "ScratchDirectory.h"
#include "tools/kwnbuild/BuildConfig.h"
#include "tools/kwnbuild/BuildError.h"
#include "tools/kwnbuild/LauncherBuild.h"

#include <gtest/gtest.h>

#include <functional>

namespace kwn::build {
namespace {

std::string errorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const BuildError& error) {
        return error.what();
    }
    return "(accepted)";
}

std::vector<std::string> namesOf(const std::vector<IncludedFile>& files) {
    std::vector<std::string> names;
    for (const IncludedFile& file : files)
        names.push_back(file.name);
    return names;
}

TEST(IncludedFileList, NamesAreStoredWithBackslashesInWindows1252) {
    const std::pair<const char*, std::string> accepted[] = {
        {"lib.jar", "lib.jar"},
        {"user/lib.jar", "user\\lib.jar"},
        {"user\\lib.jar", "user\\lib.jar"},
        {"Café.jar", "Caf\xE9.jar"},
        {"a b.jar", "a b.jar"},
        {".hidden", ".hidden"},
        {"a..b", "a..b"},
        {"console.jar", "console.jar"},
    };
    for (const auto& [input, stored] : accepted)
        EXPECT_EQ(includedFileName(input, "w"), stored) << input;
}

TEST(IncludedFileList, NamesTheLauncherCouldNotCreateOrWouldRefuseAreRejected) {
    const std::pair<const char*, const char*> rejected[] = {
        {"", "the name is empty"},
        {"/x", "has a rooted or UNC start"},
        {"\\x", "has a rooted or UNC start"},
        {"//server/share/x", "has a rooted or UNC start"},
        {"C:\\x", "holds ':'"},
        {"C:x", "holds ':'"},
        {"..\\evil", "has a '.' or '..' component"},
        {"../evil", "has a '.' or '..' component"},
        {"./a", "has a '.' or '..' component"},
        {"a/..", "has a '.' or '..' component"},
        {"a//b", "has an empty component"},
        {"a/", "has an empty component"},
        {"a/b/c", "has more than one directory level"},
        {"a;b", "holds ';'"},
        {"a<b", "holds '<'"},
        {"a>b", "holds '>'"},
        {"a\"b", "holds '\"'"},
        {"a|b", "holds '|'"},
        {"a?b", "holds '?'"},
        {"a*b", "holds '*'"},
        {"a\tb", "holds a control character"},
        {"a\x1F", "holds a control character"},
        {"中.jar", "U+4E2D has no Windows-1252 byte"},
        {"a\xFF", "the text is not valid UTF-8"},
        {"NUL", "has a device name"},
        {"user/com1.jar", "has a device name"},
        {"lib.jar.", "has a part ending in '.'"},
        {"dir /a.jar", "has a part ending in ' '"},
    };
    for (const auto& [input, expected] : rejected) {
        std::string message = errorOf([&] { includedFileName(input, "where"); });
        EXPECT_EQ(message.rfind("where: ", 0), 0u) << input << ": " << message;
        EXPECT_NE(message.find(expected), std::string::npos) << input << ": " << message;
    }
}

TEST(IncludedFileList, NamesWindowsWouldTakeForOneAnotherAreRejected) {
    struct Case {
        std::vector<std::string> names;
        const char* error; // nullptr when the list is accepted
    };
    const Case cases[] = {
        {{"lib.jar", "LIB.JAR"}, "the name is taken already, by #1"},
        {{"caf\xE9.jar", "CAF\xC9.JAR"}, "the name is taken already, by #1"},
        {{"\x9A.jar", "\x8A.jar"}, "the name is taken already, by #1"},
        {{"a", "b", "user\\x", "User\\X"}, "the name is taken already, by #3"},
        {{"lib", "Lib\\a.jar"}, "the name clashes with #1"},
        {{"lib\\a.jar", "LIB"}, "the name clashes with #1"},
        {{"a\\x.jar", "a\\y.jar", "b.jar"}, nullptr},
        {{"ab", "a\\b"}, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.names.back());
        std::vector<IncludedFile> files;
        std::string error = errorOf([&] {
            for (const std::string& name : c.names)
                addIncludedFile(files, {name, "src", "#" + std::to_string(files.size() + 1)});
        });
        if (c.error) {
            EXPECT_EQ(error.rfind("#" + std::to_string(c.names.size()) + ": " + c.error, 0), 0u)
                << error;
            EXPECT_EQ(files.size(), c.names.size() - 1);
        } else {
            EXPECT_EQ(error, "(accepted)");
            EXPECT_EQ(namesOf(files), c.names);
        }
    }
}

TEST(IncludedFileList, KeysCountAndListTheNamesInRecordOrder) {
    ConfigModel model;
    setIncludedFileKeys(model);
    EXPECT_TRUE(model.narrow.empty()); // no files: the launcher reads 0 from the absent key
    model.includedFiles = {{"b.jar", "x", ""}, {"user\\a.jar", "y", ""}, {"c", "z", ""}};
    setIncludedFileKeys(model);
    EXPECT_EQ(model.narrow,
              (std::map<Key, std::string>{{2002, "3"}, {2003, "b.jar;user\\a.jar;c"}}));
}

// A name of `length` bytes, distinct for each number.
std::string numberedName(int number, std::size_t length) {
    std::string name = std::to_string(number);
    return name + std::string(length - name.size(), 'x');
}

TEST(IncludedFileList, TheNameListMustFitWhatTheLauncherReads) {
    // 59 names of 100 bytes and their separators take 5958 bytes; the last name brings the list
    // to the 5999 bytes the launcher's key buffer holds, or one byte past it.
    for (std::size_t last : {40u, 41u}) {
        ConfigModel model;
        for (int i = 0; i < 59; ++i)
            model.includedFiles.push_back({numberedName(i, 100), "", ""});
        model.includedFiles.push_back({numberedName(59, last), "", ""});
        std::string error = errorOf([&] { setIncludedFileKeys(model); });
        if (last == 40) {
            EXPECT_EQ(error, "(accepted)");
            EXPECT_EQ(model.narrow.at(2003).size(), 5999u);
        } else {
            EXPECT_EQ(error, "the names of the included files take 6000 bytes joined by ';', more "
                             "than the 5999 the launcher reads");
            EXPECT_TRUE(model.narrow.empty());
        }
    }
}

TEST(IncludedFileList, KeysOfTheIncludedFilesCannotBeSetByHand) {
    struct Case {
        std::function<void()> action;
        std::string where;
        int key;
    };
    const Case cases[] = {
        {[] { parseConfig("[settings]\n2002 = 1\n", "app.toml"); }, "app.toml:2: [settings] 2002",
         2002},
        {[] { parseConfig("[settings]\n1 = 1\n2003 = \"a\"\n", "app.toml"); },
         "app.toml:3: [settings] 2003", 2003},
        {[] {
             ConfigModel model;
             applySetting(model, "2002=0");
         },
         "--set 2002=0", 2002},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(errorOf(c.action), c.where + ": key " + std::to_string(c.key) +
                                         " is written by kwnbuild from the included files "
                                         "([[file]] and --include) and cannot be set");
    }
    // The wide table is never read for these keys, so it is left alone.
    EXPECT_EQ(parseConfig("[wide]\n2002 = \"x\"\n", "t").wide.at(2002), u"x");
}

TEST(IncludedFileList, FileEntriesComeFromTomlThenFromTheCommandLine) {
    test::ScratchDirectory dir;
    std::filesystem::create_directory(dir / "project");
    BuildRequest request;
    request.config = dir.write("project/app.toml",
                               std::string("[[file]]\nname = \"user/lib.jar\"\nsource = "
                                           "\"build/lib.jar\"\n\n[[file]]\nsource = \"/abs/b\"\n"
                                           "name = \"b.jar\"\n"));
    request.includes = {"c.dll=native/c.dll", "d=x=y"};
    ConfigModel model = collectConfig(request);
    ASSERT_EQ(model.includedFiles.size(), 4u);
    EXPECT_EQ(namesOf(model.includedFiles),
              (std::vector<std::string>{"user\\lib.jar", "b.jar", "c.dll", "d"}));
    EXPECT_EQ(model.includedFiles[0].source, dir / "project" / "build/lib.jar");
    EXPECT_EQ(model.includedFiles[1].source, std::filesystem::path("/abs/b"));
    EXPECT_EQ(model.includedFiles[2].source, std::filesystem::path("native/c.dll"));
    EXPECT_EQ(model.includedFiles[3].source, std::filesystem::path("x=y"));
    EXPECT_EQ(model.narrow.at(2002), "4");
    EXPECT_EQ(model.narrow.at(2003), "user\\lib.jar;b.jar;c.dll;d");

    request.includes = {"USER\\LIB.JAR=other"};
    EXPECT_EQ(errorOf([&] { collectConfig(request); }),
              "--include USER\\LIB.JAR=other: the name is taken already, by " +
                  (dir / "project/app.toml").string() +
                  ":1: [[file]] #1 (Windows ignores the case of names)");
}

TEST(IncludedFileList, MalformedFileEntriesAreRejected) {
    const std::pair<const char*, const char*> toml[] = {
        {"[file]\nname = \"a\"", "app.toml:1: 'file' must be an array of tables"},
        {"[[file]]\nsource = \"a\"", "app.toml:1: [[file]] #1: the entry has no 'name'"},
        {"[[file]]\nname = \"a\"", "app.toml:1: [[file]] #1: the entry has no 'source'"},
        {"[[file]]\nname = 1\nsource = \"a\"",
         "app.toml:2: [[file]] #1 name: expected a string, not integer"},
        {"[[file]]\nname = \"a\"\nsource = \"\"", "app.toml:3: [[file]] #1 source: the source is"},
        {"[[file]]\nname = \"a\"\nsource = \"s\"\nmode = 1",
         "app.toml:4: [[file]] #1 mode: unknown key; an included file holds 'name' and 'source'"},
        {"[[file]]\nname = \"a\"\nsource = \"s\"\n[[file]]\nname = \"../b\"\nsource = \"s\"",
         "app.toml:5: [[file]] #2 name: the name '../b' has a '.' or '..' component"},
    };
    for (const auto& [text, expected] : toml) {
        std::string message = errorOf([&] { parseConfig(text, "app.toml"); });
        EXPECT_EQ(message.rfind(expected, 0), 0u) << message;
    }
    const std::pair<const char*, const char*> options[] = {
        {"lib.jar", "--include lib.jar: expected NAME=SOURCE"},
        {"lib.jar=", "--include lib.jar=: expected NAME=SOURCE"},
        {"=src", "--include =src: the name is empty"},
        {"C:\\x=src", "--include C:\\x=src: the name 'C:\\x' holds ':'"},
    };
    for (const auto& [option, expected] : options) {
        std::string message = errorOf([&] { parseIncludeOption(option); });
        EXPECT_EQ(message.rfind(expected, 0), 0u) << message;
    }
}

} // namespace
} // namespace kwn::build
