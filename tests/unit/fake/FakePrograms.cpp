#include "fake/FakePrograms.h"

#include "fake/FakePlatform.h"

namespace kwn::test {

namespace {
constexpr std::uint32_t kStillActive = 259;

class FakeChild : public platform::ChildProcess {
public:
    FakeChild(FakePrograms& programs, const ScriptedChild& script)
        : programs_(programs), script_(script) {}
    void wait(std::optional<std::uint32_t> milliseconds) override {
        programs_.waits.push_back(milliseconds.value_or(0xFFFFFFFF));
        if (!script_.hangs || !milliseconds)
            finished_ = true;
    }
    std::uint32_t exitCode() override { return finished_ ? script_.exitCode : kStillActive; }
    void terminate(std::uint32_t exitCode) override {
        programs_.terminations.push_back(exitCode);
        finished_ = true;
    }

private:
    FakePrograms& programs_;
    ScriptedChild script_;
    bool finished_ = false;
};

class FakeLibrary : public platform::Library {
public:
    explicit FakeLibrary(const ScriptedLibrary& script) : script_(script) {}
    void* symbol(const std::string& name) override {
        if (auto it = script_.functions.find(name); it != script_.functions.end())
            return it->second;
        // Any other non-null address will do where the caller only passes it on.
        return script_.exports.contains(name) ? static_cast<void*>(this) : nullptr;
    }

private:
    ScriptedLibrary script_;
};
} // namespace

platform::StartResult FakePrograms::run(const std::string& key, Start start,
                                        const std::optional<std::string>& errorOutputFile) {
    starts.push_back(start);
    platform::StartResult result;
    auto it = children.find(key);
    if (it == children.end()) {
        result.error = 2; // ERROR_FILE_NOT_FOUND: nothing scripted for that command line
        return result;
    }
    if (errorOutputFile)
        files_.addFile(*errorOutputFile, it->second.errorOutput);
    if (it->second.effect)
        it->second.effect();
    result.child = std::make_unique<FakeChild>(*this, it->second);
    return result;
}

platform::StartResult FakePrograms::startHidden(const std::string& commandLine,
                                                const std::optional<std::string>& errorOutputFile) {
    return run(commandLine, {"", commandLine}, errorOutputFile);
}

platform::StartResult FakePrograms::startProgramHidden(const std::string& program,
                                                       const std::string& arguments) {
    return run(program, {program, arguments}, std::nullopt);
}

platform::LoadResult FakePrograms::loadLibrary(const std::string& path) {
    loads.push_back(path);
    platform::LoadResult result;
    auto it = libraries.find(path);
    if (it == libraries.end() || it->second.error)
        result.error = it == libraries.end() ? 126 : it->second.error; // 126: ERROR_MOD_NOT_FOUND
    else
        result.library = std::make_unique<FakeLibrary>(it->second);
    return result;
}

} // namespace kwn::test
