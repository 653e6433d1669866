#include "tools/kwnbuild/LauncherBuild.h"

#include "tools/kwnbuild/BuildConfig.h"
#include "tools/kwnbuild/BuildError.h"
#include "tools/kwnbuild/ConfigBlockWriter.h"
#include "tools/kwnbuild/IncludedFileList.h"
#include "tools/kwnbuild/IncludedFileRecords.h"
#include "tools/kwnbuild/OutputFile.h"
#include "tools/kwnbuild/PeImage.h"
#include "tools/kwnbuild/WholeFile.h"

#include <limits>
#include <system_error>

namespace kwn::build {

namespace {
// The launcher keeps file offsets up to the end of the last record as 32-bit values.
constexpr std::uint64_t kMaxLauncherOffset = std::numeric_limits<std::int32_t>::max();

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
    return model;
}

void writeLauncher(ByteSink& out, std::span<const unsigned char> stub, const std::string& stubName,
                   const ConfigModel& model, std::ostream* progress) {
    std::uint64_t imageEnd = checkedImageEnd(stub, stubName);
    std::vector<unsigned char> block = encodeConfigBlock(model);
    std::vector<std::uint64_t> sizes = measureIncludedFiles(model.includedFiles);
    checkLauncherSize(imageEnd + block.size(), sizes);
    out.write(stub);
    out.write(block);
    std::uint64_t offset = stub.size() + block.size();
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        writeIncludedRecord(out, model.includedFiles[i], sizes[i], progress);
        offset += kRecordSizeField + sizes[i];
    }
    out.write(encodeTrailer(offset));
}

std::vector<unsigned char> assembleLauncher(std::span<const unsigned char> stub,
                                            const std::string& stubName, const ConfigModel& model) {
    MemorySink sink;
    writeLauncher(sink, stub, stubName, model);
    return std::move(sink.bytes());
}

void buildLauncher(const BuildRequest& request) {
    if (isSameFile(request.stub, request.output))
        throw BuildError("the output '" + request.output.string() +
                         "' is the stub itself; choose another output path");
    ConfigModel model = collectConfig(request);
    std::vector<unsigned char> stub = readWholeFile(request.stub, "stub");
    // A failure before commit removes the temporary file, so no output is left behind.
    OutputFile output(request.output);
    writeLauncher(output, stub, request.stub.string(), model, request.progress);
    output.commit();
}

} // namespace kwn::build
