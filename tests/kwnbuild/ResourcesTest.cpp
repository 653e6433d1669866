// An application's resources in its launcher: the resource section rebuilt with the sections
// behind it moved, the icon, splash pictures, version information and manifest written into it,
// broken input files refused, the [resources] table, the runtime jar's place, the checksum over
// the whole launcher, and the inputs a build refuses to read.
#include "tests/kwnbuild/BuildTestSupport.h"
#include "tools/kwnbuild/ApplicationResources.h"
#include "tools/kwnbuild/BuildConfig.h"
#include "tools/kwnbuild/LauncherBuild.h"
#include "tools/kwnbuild/LauncherShow.h"
#include "tools/kwnbuild/OutputFile.h"
#include "tools/kwnbuild/PeImage.h"
#include "tools/kwnbuild/RuntimeJar.h"
#include "tools/kwnbuild/WholeFile.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/stat.h>

namespace kwn::build {
namespace {
using namespace kwn::build::test_support;

constexpr std::uint64_t kOptional = 0x58, kTable = 0x148;

// Where the data directories start: PE32+ widens the image base and the four stack and heap sizes.
const auto directories = [](bool pe32) { return kOptional + (pe32 ? 96 : 112); };
const auto field = [](const Bytes& image, std::uint64_t offset) {
    return static_cast<std::uint32_t>(readLittleEndian(image, offset, 4));
};
const auto key = [](std::uint16_t type, std::uint16_t name, std::uint16_t language = 2057) {
    return ResourceKey{resourceNumber(type), resourceNumber(name), language};
};

// A PE image as the linker lays out the stub: code, then an empty resource section (a root
// directory without entries), then the base relocations, which reach further in memory than in
// the file; file alignment 0x200, section alignment 0x1000, a checksum set.
Bytes peWithResourceSection(bool pe32 = false) {
    Bytes image(0x800, 0);
    // clang-format off
    for (auto [offset, value] : std::initializer_list<std::pair<std::uint64_t, std::uint32_t>>{
             {0, 'M' | 'Z' << 8}, {60, 0x40}, {0x40, 'P' | 'E' << 8}, {0x44, 3 << 16}, {0x54, 0xF0}, // 3 sections
             {kOptional, pe32 ? 0x10B : 0x20B}, {kOptional + 8, 0x400}, {kOptional + 32, 0x1000},
             {kOptional + 36, 0x200}, {kOptional + 56, 0x5000}, {kOptional + 64, 0x1234},
             {directories(pe32) - 4, 16}, {directories(pe32) + 16, 0x2000},
             {directories(pe32) + 20, 16}, {directories(pe32) + 40, 0x3000}, {directories(pe32) + 44, 8}})
        putLittleEndian(image, offset, value, 4);
    for (std::uint32_t i = 0; i < 3; ++i)
        for (auto [field, value] : std::initializer_list<std::pair<std::uint64_t, std::uint32_t>>{
                 {8, i == 2 ? 0x1100 : 0x10}, {12, 0x1000 * (i + 1)}, {16, 0x200}, {20, 0x200 * (i + 1)}})
            putLittleEndian(image, kTable + 40 * i + field, value, 4);
    // clang-format on
    putLittleEndian(image, 0x600, 0xC0FFEE, 8); // the relocations' content
    return image;
}

TEST(PeResources, TheSectionIsRebuiltAndTheRelocationsMoveBehindIt) {
    ResourceId named{true, 0, u"PNG"};
    ResourceTree tree = {{key(3, 2), Bytes(5000, 7)},
                         {key(3, 1), {1}},
                         {{named, named, 0}, {2, 3}},
                         {{named, resourceNumber(9), 0}, {}}};
    for (bool pe32 : {false, true}) {
        Bytes stub = peWithResourceSection(pe32);
        Bytes image = withResources(stub, tree);
        EXPECT_EQ(readResources(image), tree);
        // Named entries come first in every directory, as Windows' binary search expects.
        EXPECT_EQ(field(image, 0x40C), 0x10001u); // at the root: one named type, one numbered
        EXPECT_NE(field(image, 0x410) & 0x80000000, 0u);
        // Of the headers, only what follows the section's new size changes.
        std::uint32_t size = field(image, kTable + 40 + 8);
        std::uint32_t rawSize = (size + 0x1FF) / 0x200 * 0x200;
        std::uint32_t relocations = 0x2000 + (size + 0xFFF) / 0x1000 * 0x1000;
        Bytes expected(stub.begin(), stub.begin() + 0x400);
        // clang-format off
        for (auto [offset, value] : std::initializer_list<std::pair<std::uint64_t, std::uint32_t>>{
                 {kTable + 40 + 8, size}, {kTable + 40 + 16, rawSize}, {directories(pe32) + 20, size},
                 {kTable + 80 + 12, relocations}, {kTable + 80 + 20, 0x400 + rawSize},
                 {directories(pe32) + 40, relocations}, {kOptional + 56, relocations + 0x2000},
                 {kOptional + 8, 0x200 + rawSize}, {kOptional + 64, 0}}) // the caller sets the checksum
            putLittleEndian(expected, offset, value, 4);
        // clang-format on
        EXPECT_EQ(Bytes(image.begin(), image.begin() + 0x400), expected) << pe32;
        EXPECT_EQ(field(image, 0x400 + rawSize), 0xC0FFEEu);
        EXPECT_EQ(validateStub(image), 0x600u + rawSize);
        // Smaller again: everything moves back.
        EXPECT_EQ(withResources(image, {}), withResources(stub, {}));
    }
    // The layout itself: three directories of one entry each, the data entry, the data.
    Bytes small = withResources(peWithResourceSection(), {{key(3, 1), Bytes(5, 1)}});
    EXPECT_EQ(field(small, kTable + 40 + 8), 96u);
    EXPECT_EQ(field(small, 0x400 + 72), 0x2000u + 88);
}

TEST(PeResources, ImagesThatCannotBeRewrittenAreRefused) {
    auto changed = [](std::uint64_t offset, std::uint32_t value) {
        Bytes image = peWithResourceSection();
        putLittleEndian(image, offset, value, 4);
        return image;
    };
    // clang-format off
    const std::pair<Bytes, const char*> cases[] = {
        {changed(kOptional + 112 + 16, 0x2100), "no resource section of its own"},
        {changed(kOptional + 112 + 40, 0x1000), "other than the base relocations follows"},
        {changed(kOptional + 112, 0x3000), "data directory 0 lies in or behind"},
        {changed(kOptional + 112 + 32, 0x800), "the stub is signed"},
        {changed(kOptional, 0x10C), "not a PE32 or PE32+ image"},
        {changed(0x400 + 12, 0xFFFF), "the resource tree points past its section"}};
    // clang-format on
    for (const auto& [image, message] : cases)
        EXPECT_TRUE(
            failsWith([&image = image] { withResources(image, readResources(image)); }, message));
}

// An .ico file: the directory, then each image's bytes.
Bytes icoFile(const std::vector<Bytes>& images) {
    Bytes file = {0, 0, 1, 0, static_cast<unsigned char>(images.size()), 0};
    std::size_t offset = 6 + 16 * images.size();
    for (std::size_t i = 0; i < images.size(); ++i) {
        Bytes entry = {static_cast<unsigned char>(16 * (i + 1)), 16, 0, 0, 1, 0, 32, 0};
        entry.resize(16);
        putLittleEndian(entry, 8, images[i].size(), 4);
        putLittleEndian(entry, 12, offset, 4);
        file.insert(file.end(), entry.begin(), entry.end());
        offset += images[i].size();
    }
    for (const Bytes& image : images)
        file.insert(file.end(), image.begin(), image.end());
    return file;
}

const Bytes kPng = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n',
                    'I',  'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82};

// A 2x2 bitmap (bottom-up unless the height is negative) with 16 bytes of pixels at `pixels`,
// behind the colour masks and palette.
Bytes bmpFile(std::int32_t height = 2, std::uint32_t bits = 24, std::uint32_t colours = 0,
              std::uint32_t compression = 0, std::uint32_t pixels = 54) {
    Bytes file(pixels + 16, 0);
    file[0] = 'B';
    file[1] = 'M';
    // clang-format off
    for (auto [offset, value, width] : std::initializer_list<std::tuple<std::uint64_t, std::uint32_t, std::size_t>>{
             {2, pixels + 16, 4}, {10, pixels, 4}, {14, 40, 4}, {18, 2, 4}, {22, static_cast<std::uint32_t>(height), 4},
             {26, 1, 2}, {28, bits, 2}, {30, compression, 4}, {46, colours, 4}})
        putLittleEndian(file, offset, value, width);
    // clang-format on
    return file;
}

// What a stub carries: icon group 1001 and a second group that shares its image 2.
ResourceTree stubTree() {
    Bytes group1001 = {0, 0, 1, 0, 3, 0};
    Bytes shared = {0, 0, 1, 0, 1, 0};
    for (std::uint16_t image : {1, 2, 5}) {
        Bytes entry(14, 0);
        entry[12] = static_cast<unsigned char>(image);
        group1001.insert(group1001.end(), entry.begin(), entry.end());
        if (image == 2)
            shared.insert(shared.end(), entry.begin(), entry.end());
    }
    return {{key(3, 1), {1}},           {key(3, 2), {2}},     {key(3, 5), {5}},
            {key(14, 1001), group1001}, {key(14, 7), shared}, {key(2, 10000), {9}},
            {key(24, 1), {'<'}}};
}

TEST(ApplicationResources, ReplaceTheStubsOwnAndKeepTheRest) {
    Scratch dir;
    Bytes bitmap = bmpFile(-2); // top-down
    // clang-format off
    ResourceSettings settings{dir.write("a.ico", icoFile({kPng, kPng, kPng})), dir.write("s.bmp", bitmap),
        dir.write("s.gif", std::string("GIF89a;")), "requireAdministrator", std::nullopt,
        VersionInfo{{1, 2, 3, 4}, {5, 6, 0, 0}, {{"ProductName", u"Ä€"}}}, "app.toml"};
    // clang-format on
    ResourceTree tree = stubTree();
    tree[key(24, 1, 3082)] = {'>'}; // a second manifest, in another language, goes as well
    applyResources(tree, settings);
    // Image 2 stays for the other group, 5 goes; the new images take the free numbers 1, 3 and 4.
    EXPECT_EQ(tree.at(key(3, 2)), Bytes{2});
    EXPECT_TRUE(tree.contains(key(14, 7)) && !tree.contains(key(24, 1, 3082)));
    for (std::uint16_t image : {1, 3, 4})
        EXPECT_EQ(tree.at(key(3, image)), kPng) << image;
    // The group: its header, then each image's entry from the file with the image's number.
    // clang-format off
    EXPECT_EQ(tree.at(key(14, 1001)), (Bytes{0, 0, 1, 0, 3, 0, 16, 16, 0, 0, 1, 0, 32, 0, 16, 0, 0, 0, 1, 0,
        32, 16, 0, 0, 1, 0, 32, 0, 16, 0, 0, 0, 3, 0, 48, 16, 0, 0, 1, 0, 32, 0, 16, 0, 0, 0, 4, 0}));
    // clang-format on
    EXPECT_EQ(tree.at(key(2, 10000)), Bytes(bitmap.begin() + 14, bitmap.end()));
    EXPECT_EQ(tree.at(key(10, 10000)), (Bytes{'G', 'I', 'F', '8', '9', 'a', ';'}));
    std::string manifest(tree.at(key(24, 1)).begin(), tree.at(key(24, 1)).end());
    EXPECT_TRUE(manifest.find("level=\"requireAdministrator\"") != std::string::npos &&
                manifest.find("dpiAware") == std::string::npos);
    VersionInfo version = decodeVersionInfo(tree.at(key(16, 1)));
    EXPECT_EQ(version.fileVersion, (VersionNumber{1, 2, 3, 4}));
    EXPECT_EQ(version.productVersion, (VersionNumber{5, 6, 0, 0}));
    EXPECT_EQ(version.strings, settings.version->strings);
    EXPECT_EQ(tree.size(), 10u); // three icons, two groups, bitmap, image, manifest, version
}

TEST(ApplicationResources, BrokenFilesAreRefused) {
    Bytes bitmap = bmpFile();
    auto bitmapWith = [&](std::uint64_t offset, std::uint32_t value, std::size_t width) {
        Bytes changed = bitmap;
        putLittleEndian(changed, offset, value, width);
        return changed;
    };
    Bytes twoPlanes = bitmapWith(26, 2, 2);
    Bytes shortIcon = icoFile({kPng});
    shortIcon.pop_back();
    const auto icon = [](const Bytes& file) { iconImages(file, "x"); };
    const auto bmp = [](const Bytes& file) { bitmapResource(file, "x"); };
    const auto splash = [](const Bytes& file) { checkSplashImage(file, "x"); };
    // clang-format off
    const std::tuple<void (*)(const Bytes&), Bytes, const char*> cases[] = {
        {icon, {0, 0, 2, 0, 1, 0}, "not an icon file"}, {icon, icoFile({}), "holds no image"},
        {icon, Bytes{0, 0, 1, 0, 2, 0, 1}, "cut off in its directory"},
        {icon, shortIcon, "image 1: its data lies outside the file"},
        {icon, icoFile({Bytes(40, 0)}), "image 1: neither a PNG image nor a bitmap"},
        {icon, icoFile({Bytes(twoPlanes.begin() + 14, twoPlanes.end())}), "neither a PNG"},
        {bmp, Bytes(bitmap.begin(), bitmap.begin() + 53), "not a bitmap file"},
        {bmp, bitmapWith(0, 'B' | 'A' << 8, 2), "not a bitmap file"},
        {bmp, bitmapWith(14, 12, 4), "not one Windows reads"}, {bmp, twoPlanes, "plane count"},
        {bmp, bitmapWith(18, 0, 4), "impossible size"}, {bmp, bitmapWith(22, 0, 4), "impossible size"},
        {bmp, bitmapWith(28, 7, 2), "depth"}, {bmp, bitmapWith(30, 4, 4), "compression"},
        {bmp, Bytes(bitmap.begin(), bitmap.end() - 1), "pixel data is cut off"},
        {bmp, bitmapWith(10, 20, 4), "pixel data is cut off"},
        {splash, Bytes(kPng.begin(), kPng.end() - 1), "the image is cut off"},
        {splash, {'G', 'I', 'F', '8', '7', 'a'}, "the image is cut off"},
        {splash, {0xFF, 0xD8, 0xFF, 0xFF}, "the image is cut off"}, {splash, {'B', 'M'}, "not a PNG, GIF or JPEG"}};
    // clang-format on
    for (const auto& [check, bytes, message] : cases)
        EXPECT_TRUE(failsWith([&, &check = check, &bytes = bytes] { check(bytes); }, message));
    // What is accepted: both icon image forms, every image format with its end, every depth,
    // which comes back as the file it was read from with its colour masks and palette.
    EXPECT_EQ(iconImages(icoFile({kPng, Bytes(bitmap.begin() + 14, bitmap.end())}), "x").size(),
              2u);
    for (const Bytes& file :
         {kPng, Bytes{'G', 'I', 'F', '8', '7', 'a', ';'}, Bytes{0xFF, 0xD8, 0xFF, 0xD9}})
        EXPECT_EQ(errorOf([&] { splash(file); }), "(accepted)");
    const std::array<std::uint32_t, 4> depths[] = {{1, 0, 0, 62},  {4, 3, 0, 66},  {8, 0, 0, 1078},
                                                   {16, 0, 3, 66}, {24, 0, 0, 54}, {32, 2, 3, 74}};
    for (auto [bits, colours, compression, pixels] : depths) {
        Bytes file = bmpFile(2, bits, colours, compression, pixels);
        EXPECT_EQ(bitmapFile({{key(2, 10000), bitmapResource(file, "x")}}), file) << bits;
    }
}

Bytes utf16z(std::string_view text) {
    Bytes bytes;
    for (char c : text)
        bytes.insert(bytes.end(), {static_cast<unsigned char>(c), 0});
    bytes.insert(bytes.end(), {0, 0});
    return bytes;
}

// Every node: its length, its value's length, its type (1 text), its key, each part and child on
// a 4-byte boundary (the second string ends off one); the fixed part as Windows defines it.
TEST(VersionInfo, TheLayoutWindowsReads) {
    VersionInfo info{{1, 2, 3, 4}, {5, 6, 7, 8}, {{"A", u"b"}, {"C", u"de"}}};
    Bytes expected = {0, 1, 0x34, 0, 0, 0};
    auto add = [&](const Bytes& part) {
        expected.insert(expected.end(), part.begin(), part.end());
    };
    add(utf16z("VS_VERSION_INFO"));
    add({0, 0});
    for (std::uint32_t word : {0xFEEF04BDu, 0x10000u, 0x10002u, 0x30004u, 0x50006u, 0x70008u, 0x3Fu,
                               0u, 0x40004u, 1u, 0u, 0u, 0u}) {
        add(Bytes(4, 0));
        putLittleEndian(expected, expected.size() - 4, word, 4);
    }
    for (const Bytes& part :
         {Bytes{0x5E, 0, 0, 0, 1, 0}, utf16z("StringFileInfo"), Bytes{0x3A, 0, 0, 0, 1, 0},
          utf16z("040904B0"), Bytes{0x10, 0, 2, 0, 1, 0}, utf16z("A"), Bytes{0, 0}, utf16z("b"),
          Bytes{0x12, 0, 3, 0, 1, 0}, utf16z("C"), Bytes{0, 0}, utf16z("de"), Bytes{0, 0},
          Bytes{0x44, 0, 0, 0, 1, 0}, utf16z("VarFileInfo"), Bytes{0, 0},
          Bytes{0x24, 0, 4, 0, 0, 0}, utf16z("Translation"), Bytes{0, 0, 9, 4, 0xB0, 4}})
        add(part);
    EXPECT_EQ(encodeVersionInfo(info, 0x409), expected);
    EXPECT_EQ(versionText(decodeVersionInfo(expected).productVersion), "5.6.7.8");
    Bytes wrongKey = expected, wrongSignature = expected, cut = expected;
    wrongKey[6] = 'W';
    wrongSignature[40] = 0;
    putLittleEndian(cut, 0, 0x50, 2); // ends inside the fixed part
    for (const Bytes& broken : {Bytes(5, 0), wrongKey, wrongSignature, cut})
        EXPECT_TRUE(failsWith([&] { decodeVersionInfo(broken); }, "malformed"));
}

TEST(ResourceConfig, TheResourcesTable) {
    ConfigModel model = parseConfig("[resources]\nicon = 'a/b.ico'\ndpi-aware = true\n"
                                    "[resources.version]\nfile-version = '2.5'\ncompany = 'Ç'\n",
                                    "app.toml");
    model.resources.resolveAgainst("/p");
    EXPECT_EQ(model.resources.icon, std::filesystem::path("/p/a/b.ico"));
    EXPECT_EQ(model.resources.dpiAware, "true");
    ASSERT_TRUE(model.resources.version);
    EXPECT_EQ(model.resources.version->productVersion, (VersionNumber{2, 5, 0, 0}));
    EXPECT_EQ(model.resources.version->strings,
              (std::vector<std::pair<std::string, std::u16string>>{
                  {"CompanyName", u"Ç"}, {"FileVersion", u"2.5"}, {"ProductVersion", u"2.5"}}));
    EXPECT_EQ(parseConfig("[resources]\ndpi-aware = 'per-monitor'", "a").resources.dpiAware,
              "per-monitor");
    // clang-format off
    expectErrors({{"[resources]\nicon = 1", "app.toml:2: [resources] icon: expected a string"},
        {"[resources]\nsplash-image = ''", "splash-image: the path is empty"},
        {"[resources]\nexecution-level = 'admin'", "expected asInvoker, highestAvailable or"},
        {"[resources]\ndpi-aware = 'yes'", "expected true, false or \"per-monitor\""},
        {"[resources]\ncolour = 1", "[resources] colour: unknown key"},
        {"[resources.version]\ncompany = 'x'", "[resources.version]: file-version is required"},
        {"[resources.version]\nfile-version = '1.2.3.4.5'", "file-version: expected a version"},
        {"[resources.version]\nfile-version = '1'\nproduct-version = '65536'", "product-version: expected a version"},
        {"[resources.version]\nfile-version = '1.x'", "expected a version"}, {"[resources.version]\nfile-version = '1.'", "expected a version"},
        {"[resources.version]\nfile-version = '1'\nlanguage = 'x'", "language: unknown key"}},
        [](const std::string& toml) { parseConfig(toml, "app.toml"); });
    // clang-format on
}

TEST(RuntimeJar, ThePlaceAndTheClassPathFollowTheFlavour) {
    struct Case {
        std::string flavour, installDirectory, classPath, place, expectedClassPath; // "!": an error
    };
    const std::string entry = "A1.kestrowan\\kwnruntime.jar";
    // clang-format off
    const Case cases[] = {{"i", "", "A0app.jar", ".kestrowan/kwnruntime.jar", "A0app.jar"},
        {"i", ".", "", ".kestrowan/kwnruntime.jar", ""}, {"i", "up\\", "", "up/.kestrowan/kwnruntime.jar", ""},
        {"i", "app\\lib", "", "app/lib/.kestrowan/kwnruntime.jar", ""},
        {"e", "app", "A0app.jar", ".kestrowan/kwnruntime.jar", entry + ";A0app.jar"},
        {"", "", "", ".kestrowan/kwnruntime.jar", entry},
        {"e", "", "A0x;" + entry, ".kestrowan/kwnruntime.jar", "A0x;" + entry},
        {"i", "%APPDATA%", "", "!not a plain relative directory", ""},
        {"i", "C:\\x", "", "!not a plain", ""}, {"i", "\\x", "", "!not a plain", ""}};
    // clang-format on
    for (const Case& c : cases) {
        ConfigModel model;
        model.narrow = {{2001, c.flavour}, {10003, c.installDirectory}, {121, c.classPath}};
        if (c.place.starts_with('!')) {
            EXPECT_TRUE(failsWith([&] { runtimeJarPlace(model); }, c.place.substr(1)));
            continue;
        }
        EXPECT_EQ(runtimeJarPlace(model), std::filesystem::path(c.place)) << c.installDirectory;
        addRuntimeJarToClassPath(model);
        EXPECT_EQ(model.narrow[121], c.expectedClassPath) << c.flavour << " " << c.classPath;
    }
}

// The sum of 16-bit words with the carries folded in, plus the length, as the loader checks it.
std::uint32_t peChecksum(Bytes file, std::uint64_t field) {
    putLittleEndian(file, field, 0, 4);
    file.push_back(0);
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i + 1 < file.size(); i += 2) {
        sum += readLittleEndian(file, i, 2);
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    return sum + static_cast<std::uint32_t>(file.size() - 1);
}

TEST(LauncherBuild, ResourcesJarAndChecksumInTheBuiltLauncher) {
    Scratch dir;
    dir.write("project/a.ico", icoFile({kPng}));
    dir.write("project/b", std::string("content"));
    // Sources are relative to the file that names them; --set comes after the file.
    std::filesystem::path toml = dir.write(
        "project/app.toml", std::string("[settings]\n2001 = 'e'\n[resources]\nicon = "
                                        "'a.ico'\n[[file]]\nname = 'a/b'\nsource = 'b'\n"));
    std::filesystem::create_directory(dir.path / "out");
    dir.write("out/app.exe", std::string("an earlier build"));
    BuildRequest request{
        dir.write("stub.exe", peWithResourceSection()), dir.path / "out/app.exe", toml, {"2001=i"}};
    request.runtimeJar = dir.path / "missing.jar";
    EXPECT_TRUE(failsWith([&] { buildLauncher(request); }, "--no-runtime-jar"));
    request.runtimeJar = dir.write("kwnruntime.jar", std::string("PK"));
    // An odd length, so that the last byte is summed as a word of its own.
    request.includes = {"odd=" + dir.write("odd", std::string("abc")).string()};
    buildLauncher(request);
    Bytes launcher = read(dir.path / "out/app.exe");
    ConfigModel model = collectConfig(request);
    EXPECT_EQ(model.narrow.at(2001) + model.narrow.at(2002) + " " + model.narrow.at(2003),
              "i2 a\\b;odd");
    EXPECT_EQ(launcher, assembleLauncher(peWithResourceSection(), "", model));
    EXPECT_EQ(dir.names("out"), (std::set<std::string>{".kestrowan", "app.exe"}));
    EXPECT_EQ(read(dir.path / "out/.kestrowan/kwnruntime.jar"), (Bytes{'P', 'K'}));
    EXPECT_EQ(field(launcher, kOptional + 64), peChecksum(launcher, kOptional + 64));
    EXPECT_EQ(readResources(launcher).at(key(3, 1, 1033)), kPng);
    EXPECT_EQ(readResources(launcher).size(), 2u);
    // Without resources the stub's image is copied, and its checksum set all the same; a stub
    // without a checksum gets none.
    request.config = std::nullopt;
    for (std::uint32_t stubChecksum : {0x1234u, 0u}) {
        Bytes stub = peWithResourceSection();
        putLittleEndian(stub, kOptional + 64, stubChecksum, 4);
        request.stub = dir.write("stub.exe", stub);
        buildLauncher(request);
        launcher = read(dir.path / "out/app.exe");
        putLittleEndian(stub, kOptional + 64,
                        stubChecksum ? peChecksum(launcher, kOptional + 64) : 0, 4);
        EXPECT_EQ(Bytes(launcher.begin(), launcher.begin() + 0x800), stub) << stubChecksum;
    }
}

TEST(LauncherShow, ResourcesComeBackAsTheTableThatRebuildsThem) {
    Scratch dir;
    Bytes bitmap = bmpFile();
    Bytes ico = icoFile({kPng, Bytes(bitmap.begin() + 14, bitmap.end())});
    dir.write("project/a.ico", ico);
    dir.write("project/s.bmp", bmpFile(-2));
    dir.write("project/s.jpg", Bytes{0xFF, 0xD8, 0xFF, 0xD9});
    // The stub's manifest is one kwnbuild writes; its icon group names images of no size and its
    // bitmap is no picture, so neither can be given back.
    ResourceTree stubResources = stubTree();
    std::string manifest = manifestText("asInvoker", "false");
    stubResources[key(24, 1)] = Bytes(manifest.begin(), manifest.end());
    Bytes stub = withResources(peWithResourceSection(), stubResources);
    stub[0x404] = 1; // a time stamp a rebuilt section leaves out: the stub's layout is kept
    // clang-format off
    const std::pair<std::string, std::vector<std::string>> rows[] = {
        {"", {"\n[resources]\nexecution-level = \"asInvoker\"\ndpi-aware = false\n\n# Resources"}},
        {"[resources]\nicon = 'a.ico'\nsplash-bitmap = 's.bmp'\nsplash-image = 's.jpg'\n"
         "execution-level = 'highestAvailable'\ndpi-aware = 'per-monitor'\n[resources.version]\n"
         "file-version = '1.2'\ncompany = 'Ç'\nproduct-version = '3'\n",
         {"launcher-resources/icon.ico\"\n", "launcher-resources/splash-bitmap.bmp\"\n",
          "launcher-resources/splash-image.jpg\"\n", "dpi-aware = \"per-monitor\"\n",
          "\n[resources.version]\ncompany = \"Ç\"\nfile-version = \"1.2\"\nproduct-version = \"3\"\n"}}};
    // clang-format on
    Bytes launcher;
    for (const auto& [resources, lines] : rows) {
        ConfigModel model = collectConfig({"", "", dir.write("project/app.toml", resources)});
        launcher = assembleLauncher(stub, "stub", model);
        std::string shown =
            configText(decodeLauncher(launcher)) + resourcesText(launcher, dir.path / "out");
        Bytes rebuilt =
            assembleLauncher(stub, "stub", collectConfig({"", "", dir.write("shown.toml", shown)}));
        EXPECT_EQ(rebuilt, launcher) << shown;
        for (const std::string& line : lines)
            EXPECT_NE(shown.find(line), std::string::npos) << line << " in\n" << shown;
    }
    EXPECT_EQ(read(dir.path / "out/launcher-resources/icon.ico"), ico);
    EXPECT_EQ(read(dir.path / "out/launcher-resources/splash-bitmap.bmp"), bmpFile(-2));
    // Without a directory the pictures are named, not written; an included file may not take
    // their place.
    EXPECT_NE(resourcesText(launcher, std::nullopt).find("# splash-bitmap: --extract DIR"),
              std::string::npos);
    std::filesystem::path taken = dir.path / "launcher-resources/splash-bitmap.bmp";
    EXPECT_TRUE(failsWith([&] { resourcesText(launcher, dir.path, {taken}); }, "included file"));
    // What cannot be given back is not left behind; a launcher without resources has none.
    resourcesText(assembleLauncher(stub, "stub", {}), dir.path / "none");
    EXPECT_FALSE(std::filesystem::exists(dir.path / "none/launcher-resources/icon.ico"));
    EXPECT_EQ(resourcesText(assembleLauncher(peWithResourceSection(), "stub", {}), dir.path),
              "\n# Resources (type, name, language, bytes):\n");
    // A version resource no table writes (here: no FileVersion string) is shown in comments.
    stubResources[key(16, 1)] =
        encodeVersionInfo({{1, 0, 0, 0}, {2, 0, 0, 0}, {{"Comments", u"x"}}}, 0);
    launcher = assembleLauncher(withResources(peWithResourceSection(), stubResources), "stub", {});
    EXPECT_NE(resourcesText(launcher, std::nullopt)
                  .find("# Version 1.0.0.0, product 2.0.0.0\n#   Comments: x\n"),
              std::string::npos);
}

TEST(WholeFile, WhatIsNoInputIsRefusedBeforeItIsOpened) {
    Scratch dir;
    ASSERT_EQ(mkfifo((dir.path / "fifo").c_str(), 0600), 0);
    dir.write("five", std::string("12345"));
    // clang-format off
    expectErrors({{"project", "'" + (dir.path / "project").string() + "' is a directory"},
        {"fifo", "is not a regular file"}, // opening it would block
        {"five", "is larger than 0 MiB"}, {"none", "cannot open stub"}},
        [&](const std::string& name) { readWholeFile(dir.path / name, "stub", 4); });
    // clang-format on
    EXPECT_EQ(readWholeFile(dir.path / "five", "stub", 5).size(), 5u);
    auto build = [](const std::filesystem::path& stub, const std::filesystem::path& output) {
        buildLauncher({stub, output, std::nullopt});
    };
    // No stub is above 64 MiB; a sparse file costs nothing to make.
    std::filesystem::path large = dir.write("large", std::string());
    std::filesystem::resize_file(large, (64 << 20) + 1);
    EXPECT_TRUE(failsWith([&] { build(large, dir.path / "o"); }, "larger than 64 MiB"));
    // Refused before the temporary file is made, which would land in the working directory.
    EXPECT_EQ(errorOf([&] { build(dir.path / "five", ""); }), "the output name is empty");
}

TEST(OutputFileDeathTest, ASignalRemovesTheTemporaryFile) {
    Scratch dir;
    for (int signal : {SIGINT, SIGTERM}) {
        EXPECT_EXIT(
            {
                OutputFile output(dir.path / "app.exe");
                output.write(Bytes(10, 1));
                std::raise(signal);
            },
            ::testing::KilledBySignal(signal), "");
        EXPECT_EQ(dir.names(), (std::set<std::string>{"project"})) << signal;
    }
}

} // namespace
} // namespace kwn::build
