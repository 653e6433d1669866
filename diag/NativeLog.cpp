#include "diag/NativeLog.h"

namespace kwn::diag {

namespace {
const char16_t kDriveRoot[] = u"c:\\";
const char16_t kLogPrefix[] = u"kwn_nlog_";
const char16_t kFallbackLogPath[] = u"c:\\kwn_nlog";
// Numbers tried for a fresh log name before falling back to the fixed path.
constexpr int kLogNumbers = 100000;
// Longest launcher path the header shows, as the original buffer allowed.
constexpr size_t kHeaderPathLimit = 6000 - 1;

bool variableIsYes(platform::Environment& env, const char* name) {
    std::optional<std::string> value = env.get(name);
    return value && *value == "yes";
}
} // namespace

NativeLog::NativeLog(platform::Platform& os) : os_(os), lock_(os.threads.createLock()) {}

std::optional<std::u16string> NativeLog::logFilePath() const {
    platform::LockGuard guard(*lock_);
    return path_;
}

void NativeLog::writeLine(std::string_view prefix, std::string_view format,
                          std::initializer_list<FormatArg> args) {
    platform::LockGuard guard(*lock_);
    std::unique_ptr<platform::TextFile> stream;
    if (!decided_) {
        if (!decide())
            return;
        stream = createLogFile();
    } else if (path_) {
        stream = os_.files.openText(*path_, platform::TextMode::Append);
    }
    if (!stream)
        return; // a lost line; the log never reports its own failures
    stream->write(std::string(prefix) + formatPrintf(format, args) + "\n");
}

bool NativeLog::decide() {
    decided_ = true;
    return forced_ || variableIsYes(os_.environment, "QELVO_LOG") ||
           variableIsYes(os_.environment, "KESTROWAN_LOG");
}

// TMP when it names a directory, else the drive root, as the C runtime's temporary names do.
std::optional<std::u16string> NativeLog::logDirectory() {
    std::optional<std::u16string> tmp = os_.environment.getW(u"TMP");
    if (tmp && !tmp->empty() && os_.files.isDirectory(*tmp).value_or(false)) {
        // A relative TMP is fixed to a full path now: every line reopens the file, and the
        // working directory changes after the first lines are written.
        std::u16string full = os_.files.fullPathNameW(*tmp).value_or(*tmp);
        return full.back() == u'\\' ? full : full + u"\\";
    }
    if (os_.files.isDirectory(kDriveRoot).value_or(false))
        return kDriveRoot;
    return std::nullopt;
}

// Exclusive creation makes two launchers started together write two different files.
std::unique_ptr<platform::TextFile> NativeLog::createNumberedFile(const std::u16string& directory) {
    for (int number = 1; number <= kLogNumbers; ++number) {
        std::u16string candidate = directory + kLogPrefix;
        for (char digit : std::to_string(number))
            candidate.push_back(static_cast<char16_t>(digit));
        if (auto stream = os_.files.openText(candidate, platform::TextMode::CreateNew)) {
            path_ = candidate;
            return stream;
        }
        if (!os_.files.isDirectory(candidate))
            break; // not taken by another file, so the directory refuses us
    }
    return nullptr;
}

std::unique_ptr<platform::TextFile> NativeLog::createLogFile() {
    std::unique_ptr<platform::TextFile> stream;
    if (std::optional<std::u16string> directory = logDirectory())
        stream = createNumberedFile(*directory);
    if (!stream) {
        path_ = kFallbackLogPath;
        stream = os_.files.openText(*path_, platform::TextMode::Write);
    }
    if (stream) {
        stream->write(headerLine());
        stream->flush();
    }
    return stream;
}

std::string NativeLog::headerLine() {
    std::u16string module = os_.process.moduleFileName();
    if (module.size() > kHeaderPathLimit)
        module.resize(kHeaderPathLimit);
    return "Started executable " + narrowLatin1(module) + " at " +
           ctimeText(os_.system.localTime()) + "\n";
}

std::string ctimeText(const platform::LocalTime& t) {
    static const char* const days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    return formatPrintf("%s %s %2d %02d:%02d:%02d %d\n",
                        {days[t.weekday % 7], months[(t.month + 11) % 12], t.day, t.hour, t.minute,
                         t.second, t.year});
}

} // namespace kwn::diag
