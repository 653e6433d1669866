#pragma once
// What the fuzz targets share: turning the fuzzer's bytes into a few text fields, the one name
// Windows gives every spelling of a path (for oracles that must not trust our own rules), and
// the fake platform with a disk of the target's own.
#include "fake/FakePlatform.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace kwn::fuzz {

// Fields are separated by NUL bytes, so that seeds stay readable text and a mutation inside
// one field leaves the others as they were.
class FuzzInput {
public:
    FuzzInput(const std::uint8_t* data, std::size_t size)
        : rest_(reinterpret_cast<const char*>(data), size) {}

    bool empty() const { return rest_.empty(); }

    // Up to the next NUL, or everything that is left.
    std::string field() {
        std::size_t end = rest_.find('\0');
        std::string text(rest_.substr(0, end));
        rest_.remove_prefix(end == std::string_view::npos ? rest_.size() : end + 1);
        return text;
    }

    // The rest of the input as UTF-16LE code units (NULs included); an odd last byte is dropped.
    std::u16string wideRest() {
        std::u16string text;
        for (std::size_t i = 0; i + 1 < rest_.size(); i += 2)
            text.push_back(static_cast<char16_t>(static_cast<unsigned char>(rest_[i]) |
                                                 static_cast<unsigned char>(rest_[i + 1]) << 8));
        rest_ = {};
        return text;
    }

private:
    std::string_view rest_;
};

// Every byte of text as one code unit, as the fake code page does.
inline std::u16string widenLatin1(std::string_view text) {
    return {text.begin(), text.end()};
}

// The path as GetFullPathName leaves it, folded to lower case: relative to currentDirectory
// (an absolute "x:\..." path), "/" taken as "\", "." and ".." resolved, a trailing dot dropped
// from inner components and trailing dots and blanks from the last one. Two spellings with the
// same identity open the same file on Windows.
inline std::u16string windowsIdentity(std::u16string path, std::u16string_view currentDirectory) {
    for (char16_t& c : path)
        c = c == u'/' ? u'\\' : c >= u'A' && c <= u'Z' ? char16_t(c - u'A' + u'a') : c;
    std::u16string current(currentDirectory);
    for (char16_t& c : current)
        c = c >= u'A' && c <= u'Z' ? char16_t(c - u'A' + u'a') : c;
    std::u16string absolute;
    if (path.starts_with(u"\\\\") || (path.size() >= 2 && path[1] == u':'))
        absolute = path;
    else if (path.starts_with(u"\\"))
        absolute = current.substr(0, 2) + path;
    else
        absolute = current + u"\\" + path;
    std::size_t rootEnd = absolute.size() >= 3 && absolute[2] == u'\\' ? 3 : 2;
    std::u16string out = absolute.substr(0, rootEnd);
    std::u16string parts;
    std::vector<std::size_t> starts; // where each kept component begins in parts
    std::size_t start = rootEnd;
    while (start <= absolute.size()) {
        std::size_t end = std::min(absolute.find(u'\\', start), absolute.size());
        std::u16string part = absolute.substr(start, end - start);
        bool last = end == absolute.size();
        if (part == u"..") {
            if (!starts.empty()) {
                parts.resize(starts.back());
                starts.pop_back();
            }
            part.clear();
        } else if (part == u".") {
            part.clear();
        } else if (last) {
            part.erase(part.find_last_not_of(u". ") + 1);
        } else if (part.ends_with(u'.')) {
            part.pop_back();
        }
        if (!part.empty()) {
            starts.push_back(parts.size());
            parts += u"\\" + part;
        }
        start = end + 1;
    }
    return out + (parts.empty() ? parts : parts.substr(1));
}

// The fakes of `fake` with `files` as the disk.
inline platform::Platform withDisk(test::FakePlatform& fake, platform::Files& files) {
    return {files,         fake.environment, fake.process, fake.ui,
            fake.console,  fake.system,      fake.threads, fake.codePage,
            fake.registry, fake.programs,    fake.ipc,     &fake.splash};
}

// A finding of an oracle: says what broke, then ends as a crash so that the fuzzer keeps the
// input.
[[noreturn]] inline void fail(const std::string& what) {
    std::fprintf(stderr, "fuzz oracle: %s\n", what.c_str());
    std::abort();
}

} // namespace kwn::fuzz
