#pragma once
// What the build tool's tests share: errors as text, scratch directories, whole files, stubs.
#include "tools/kwnbuild/BuildError.h"
#include "tools/kwnbuild/PeImage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <set>

namespace kwn::build::test_support {

using Bytes = std::vector<unsigned char>;
using Rows = std::vector<std::pair<std::string, std::string>>;

inline std::string errorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const BuildError& error) {
        return error.what();
    }
    return "(accepted)";
}

// Holds when the action fails with a message that holds the text.
inline testing::AssertionResult failsWith(const std::function<void()>& action,
                                          const std::string& text) {
    std::string error = errorOf(action);
    if (error.find(text) != std::string::npos)
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << "\"" << error << "\" lacks \"" << text << "\"";
}

inline void expectErrors(const Rows& rows, const std::function<void(const std::string&)>& action) {
    for (const auto& [input, expected] : rows)
        EXPECT_TRUE(failsWith([&, &input = input] { action(input); }, expected)) << input;
}

// A fresh directory per test, removed afterwards.
struct Scratch {
    std::filesystem::path path = std::filesystem::temp_directory_path() /
                                 ("kwnbuild-test-" + std::to_string(std::random_device()()));
    Scratch() { std::filesystem::create_directories(path / "project"); }
    ~Scratch() { std::filesystem::remove_all(path); }

    template <class Data> std::filesystem::path write(const std::string& name, const Data& bytes) {
        std::ofstream(path / name, std::ios::binary)
            .write(reinterpret_cast<const char*>(std::data(bytes)), std::size(bytes));
        return path / name;
    }
    std::set<std::string> names(const std::string& under = "") const {
        std::set<std::string> result;
        for (const auto& entry : std::filesystem::directory_iterator(path / under))
            result.insert(entry.path().filename().string());
        return result;
    }
};

inline Bytes read(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A PE image with one section-table entry per {raw data offset, size}, in the order given; the
// section table is at 0x138, and the file is as long as the furthest range reaches.
inline Bytes peImage(const std::vector<std::pair<std::uint32_t, std::uint32_t>>& sections) {
    Bytes image(0x138 + 40 * sections.size(), 0);
    for (const auto& [offset, length] : sections)
        image.resize(std::max<std::size_t>(image.size(), offset + length));
    // MZ, where the PE signature is, the signature, the number of sections, the optional header's
    // size.
    for (auto [offset, value] : {std::pair<std::size_t, std::size_t>{0, 'M' | 'Z' << 8},
                                 {60, 0x40},
                                 {0x40, 'P' | 'E' << 8},
                                 {0x44, sections.size() << 16},
                                 {0x54, 0xE0}})
        putLittleEndian(image, offset, value, 4);
    for (std::size_t i = 0; i < sections.size(); ++i) {
        putLittleEndian(image, 0x138 + 40 * i + 16, sections[i].second, 4);
        putLittleEndian(image, 0x138 + 40 * i + 20, sections[i].first, 4);
    }
    return image;
}

// The raw data of its last section ends the file at 512.
inline Bytes stub() {
    return peImage({{0x190, 0x30}, {0x1C0, 0x40}});
}

} // namespace kwn::build::test_support
