#include "tools/kwnbuild/LauncherBuild.h"

#include "tools/kwnbuild/BuildConfig.h"
#include "tools/kwnbuild/BuildError.h"
#include "tools/kwnbuild/ConfigBlockWriter.h"
#include "tools/kwnbuild/IncludedFileList.h"
#include "tools/kwnbuild/IncludedFileRecords.h"
#include "tools/kwnbuild/OutputFile.h"
#include "tools/kwnbuild/PeImage.h"
#include "tools/kwnbuild/PeResources.h"
#include "tools/kwnbuild/RuntimeJar.h"
#include "tools/kwnbuild/WholeFile.h"

#include <limits>
#include <system_error>

namespace kwn::build {

namespace {
// The launcher keeps file offsets up to the end of the last record as 32-bit values.
constexpr std::uint64_t kMaxLauncherOffset = std::numeric_limits<std::int32_t>::max();
// Far more than any stub; a larger file is no stub (or a device that never ends).
constexpr std::uintmax_t kMaxStubSize = 64 * 1024 * 1024;

// The PE checksum over everything written: 16-bit words added with their carries folded back,
// plus the file's length. Its own field must be zero while it is summed.
class ChecksumSink : public ByteSink {
public:
    explicit ChecksumSink(ByteSink& out) : out_(out) {}
    void write(std::span<const unsigned char> bytes) override {
        out_.write(bytes);
        for (unsigned char byte : bytes)
            sum_ += (length_++ % 2 == 0) ? byte : std::uint64_t{byte} << 8;
    }
    void patch(std::uint64_t offset, std::span<const unsigned char> bytes) override {
        out_.patch(offset, bytes);
    }
    std::uint32_t checksum() const {
        std::uint64_t sum = sum_;
        while (sum >> 16)
            sum = (sum & 0xFFFF) + (sum >> 16);
        return static_cast<std::uint32_t>(sum + length_);
    }

private:
    ByteSink& out_;
    std::uint64_t sum_ = 0, length_ = 0;
};

bool isSameFile(const std::filesystem::path& a, const std::filesystem::path& b) {
    std::error_code error;
    if (std::filesystem::equivalent(a, b, error))
        return true;
    std::filesystem::path canonicalA = std::filesystem::weakly_canonical(a, error);
    std::filesystem::path canonicalB = std::filesystem::weakly_canonical(b, error);
    return !error && canonicalA == canonicalB;
}

std::uint64_t checkedImageEnd(std::span<const unsigned char> stub, const std::string& stubName) {
    try {
        return validateStub(stub);
    } catch (const BuildError& error) {
        throw BuildError("stub '" + stubName + "': " + error.what());
    }
}

// Where the last record ends, which the launcher must still be able to address.
void checkLauncherSize(std::uint64_t blockEnd, const std::vector<std::uint64_t>& sizes) {
    std::uint64_t end = blockEnd;
    for (std::uint64_t size : sizes)
        end += kRecordSizeField + std::min<std::uint64_t>(size, kMaxLauncherOffset);
    if (end > kMaxLauncherOffset)
        throw BuildError("the launcher would exceed 2 GiB, more than the launcher can address");
}
} // namespace

ConfigModel collectConfig(const BuildRequest& request) {
    ConfigModel model = request.config ? loadConfigFile(*request.config) : ConfigModel{};
    for (const std::string& setting : request.settings)
        applySetting(model, setting);
    for (const std::string& include : request.includes)
        addIncludedFile(model.includedFiles, parseIncludeOption(include));
    addDefaultMessages(model);
    setIncludedFileKeys(model);
    if (request.config)
        model.resources.resolveAgainst(request.config->parent_path());
    if (request.runtimeJar)
        addRuntimeJarToClassPath(model);
    return model;
}

void writeLauncher(ByteSink& out, std::span<const unsigned char> stub, const std::string& stubName,
                   const ConfigModel& model, std::ostream* progress) {
    checkedImageEnd(stub, stubName);
    std::vector<unsigned char> image(stub.begin(), stub.end());
    if (!model.resources.empty()) {
        ResourceTree stubResources = readResources(stub);
        ResourceTree tree = stubResources;
        applyResources(tree, model.resources);
        // Settings that give the stub's own resources keep its image as the linker laid it out,
        // so that what `show` reads back from any launcher rebuilds it byte for byte.
        if (tree != stubResources)
            image = withResources(stub, tree);
    }
    // Summed over the whole file below, so a checksum the stub has stays true.
    std::uint64_t checksumField = checksumFieldOffset(stub);
    if (checksumField != 0 && readLittleEndian(stub, checksumField, 4) == 0)
        checksumField = 0;
    if (checksumField != 0)
        putLittleEndian(image, checksumField, 0, 4);
    std::vector<unsigned char> block = encodeConfigBlock(model);
    std::vector<std::uint64_t> sizes = measureIncludedFiles(model.includedFiles);
    checkLauncherSize(image.size() + block.size(), sizes);
    ChecksumSink sink(out);
    sink.write(image);
    sink.write(block);
    std::uint64_t offset = image.size() + block.size();
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        writeIncludedRecord(sink, model.includedFiles[i], sizes[i], progress);
        offset += kRecordSizeField + sizes[i];
    }
    sink.write(encodeTrailer(offset));
    if (checksumField != 0) {
        std::vector<unsigned char> checksum(4);
        putLittleEndian(checksum, 0, sink.checksum(), 4);
        out.patch(checksumField, checksum);
    }
}

std::vector<unsigned char> assembleLauncher(std::span<const unsigned char> stub,
                                            const std::string& stubName, const ConfigModel& model) {
    MemorySink sink;
    writeLauncher(sink, stub, stubName, model);
    return std::move(sink.bytes());
}

void buildLauncher(const BuildRequest& request) {
    // Checked first: an empty name would put the temporary file into the working directory.
    if (request.output.empty())
        throw BuildError("the output name is empty");
    if (isSameFile(request.stub, request.output))
        throw BuildError("the output '" + request.output.string() +
                         "' is the stub itself; choose another output path");
    ConfigModel model = collectConfig(request);
    std::vector<unsigned char> stub = readWholeFile(request.stub, "stub", kMaxStubSize);
    std::vector<unsigned char> jar;
    if (request.runtimeJar) {
        jar = readRuntimeJar(*request.runtimeJar);
        runtimeJarPlace(model); // a place it cannot have fails the build before anything is written
    }
    // A failure before commit removes the temporary file, so no output is left behind.
    OutputFile output(request.output);
    writeLauncher(output, stub, request.stub.string(), model, request.progress);
    output.commit();
    if (request.runtimeJar)
        placeRuntimeJar(jar, request.output, model);
}

} // namespace kwn::build
