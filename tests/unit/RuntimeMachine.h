#pragma once
// A fake machine for the runtime search: a launcher in c:\apps\tool, runtimes that answer
// "-version" with a chosen banner, VM libraries that load, and the log read back as lines.
#include "config/ConfigKeys.h"
#include "fake/FakePlatform.h"
#include "launcher/LaunchContext.h"

#include <sstream>
#include <string>
#include <vector>

namespace kwn::test {

inline std::string banner(const std::string& version) {
    return "java version \"" + version + "\"\nJava(TM) SE Runtime Environment\n";
}

// Not copyable: the context refers to the fakes. Tables build one machine per case.
struct RuntimeMachine {
    RuntimeMachine() {
        fake.process.moduleFile = u"c:\\apps\\tool\\run.exe";
        fake.environment.variables = {{"TMP", "C:\\Logs"}, {"PATH", "C:\\Windows"}};
        fake.files.addDirectory("C:\\Logs");
        fake.files.addDirectory(narrow(fake.files.systemTempPath));
        ctx.log.setForced(true);
        // The messages with their argument visible.
        const std::pair<config::Key, const char*> messages[] = {{1005, "VM failed {0}"},
                                                                {1009, "Internal error {0}"},
                                                                {1016, "No {0}-bit JVM"},
                                                                {1018, "env {0}"},
                                                                {1020, "dir {0}"}};
        for (const auto& [key, text] : messages)
            ctx.config.setNarrow(key, text);
        ctx.config.setNarrow(config::key::kMinJavaVersion, "1.7");
    }

    // A home whose "bin\java.exe" prints the banner of version; a loadable one also has a VM
    // library in "bin\hotspot".
    void addRuntime(const std::string& home, const std::string& version, bool loadable = true) {
        std::string executable = home + "\\bin\\java.exe";
        fake.files.addFile(executable, "MZ");
        fake.programs.children[executable + " -version"] = {banner(version), 0, false, nullptr};
        if (loadable)
            fake.programs.libraries[home + "\\bin\\hotspot\\jvm.dll"] = {{"JNI_CreateJavaVM"}, 0};
    }
    void setConfig(config::Key key, const std::string& value) { ctx.config.setNarrow(key, value); }

    std::string logText() const { return fake.files.text(u"C:\\Logs\\kwn_nlog_1"); }
    // The lines that begin with prefix, without it.
    std::vector<std::string> logged(const std::string& prefix) const {
        std::istringstream text(logText());
        std::vector<std::string> found;
        for (std::string line; std::getline(text, line);)
            if (line.starts_with(prefix))
                found.push_back(line.substr(prefix.size()));
        return found;
    }
    // The last message box's text; "" when none was shown.
    std::u16string box() const { return fake.ui.boxes.empty() ? u"" : fake.ui.boxes.back().text; }
    // Each executable checked ("c:\x\bin\java.exe"), each load attempt ("load c:\x\...") and
    // the end of the configured sources ("finished"), in the order they happened.
    std::vector<std::string> attempts() const {
        const std::string check = "checkJavaExe (", load = "Trying to load JVM-DLL from ";
        std::vector<std::string> found;
        for (const std::string& line : logged("")) {
            if (line.starts_with(check))
                found.push_back(line.substr(check.size(), line.find(", [out]") - check.size()));
            else if (line.starts_with(load))
                found.push_back("load " + line.substr(load.size()));
            else if (line == "Search sequence finished")
                found.push_back("finished");
        }
        return found;
    }

    FakePlatform fake;
    launcher::LaunchContext ctx{fake.platform()};
};

} // namespace kwn::test
