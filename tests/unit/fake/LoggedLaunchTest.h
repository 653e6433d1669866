#pragma once
// The set-up most unit tests share: a launch context over the fakes, the launcher at a fixed
// path, and the native log switched on into C:\Logs so that tests can read what was logged.
#include "fake/FakePlatform.h"
#include "launcher/LaunchContext.h"

#include <gtest/gtest.h>

namespace kwn::test {

// One machine; table rows that each need a fresh one make their own.
struct LoggedLaunch {
    explicit LoggedLaunch(std::u16string moduleFile = u"C:\\apps\\tool\\run.exe") {
        fake.process.moduleFile = std::move(moduleFile);
        fake.environment.variables["TMP"] = "C:\\Logs";
        fake.files.addDirectory("C:\\Logs");
        ctx.log.setForced(true);
    }
    std::string logText() const { return fake.files.text(u"C:\\Logs\\kwn_nlog_1"); }

    FakePlatform fake;
    launcher::LaunchContext ctx{fake.platform()};
};

struct LoggedLaunchTest : testing::Test, LoggedLaunch {
    using LoggedLaunch::LoggedLaunch;
};

} // namespace kwn::test
