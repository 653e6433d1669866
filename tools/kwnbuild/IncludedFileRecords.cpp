#include "tools/kwnbuild/IncludedFileRecords.h"

#include "tools/kwnbuild/BuildError.h"
#include "tools/kwnbuild/ProgressLine.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <system_error>

namespace kwn::build {

namespace {
struct CloseFile {
    void operator()(std::FILE* stream) const { std::fclose(stream); }
};
using FileHandle = std::unique_ptr<std::FILE, CloseFile>;

std::string describe(const IncludedFile& file) {
    return "included file '" + file.source.string() + "' (" + file.origin + ")";
}

FileHandle openSource(const IncludedFile& file) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(file.source, error))
        throw BuildError("cannot read " + describe(file) + ": " +
                         (error ? error.message() : "not a regular file"));
    FileHandle stream(std::fopen(file.source.string().c_str(), "rb"));
    if (!stream)
        throw BuildError("cannot open " + describe(file) + ": " + std::strerror(errno));
    return stream;
}

std::array<unsigned char, kRecordSizeField> sizeField(std::uint64_t size) {
    std::array<unsigned char, kRecordSizeField> bytes{};
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<unsigned char>(size >> (8 * i));
    return bytes;
}

[[noreturn]] void changedWhileReading(const IncludedFile& file, std::uint64_t size) {
    throw BuildError(describe(file) + " changed while the launcher was built: it no longer has " +
                     std::to_string(size) + " bytes");
}
} // namespace

std::vector<std::uint64_t> measureIncludedFiles(const std::vector<IncludedFile>& files) {
    std::vector<std::uint64_t> sizes;
    for (const IncludedFile& file : files) {
        openSource(file);
        std::error_code error;
        std::uintmax_t size = std::filesystem::file_size(file.source, error);
        if (error)
            throw BuildError("cannot read " + describe(file) + ": " + error.message());
        sizes.push_back(size);
    }
    return sizes;
}

void writeIncludedRecord(ByteSink& out, const IncludedFile& file, std::uint64_t size,
                         std::ostream* progress) {
    FileHandle in = openSource(file);
    out.write(sizeField(size));
    std::vector<unsigned char> chunk(kRecordChunk);
    ProgressLine line(progress, file.source.string(), size);
    std::uint64_t done = 0;
    while (done < size) {
        std::size_t wanted =
            static_cast<std::size_t>(std::min<std::uint64_t>(kRecordChunk, size - done));
        std::size_t got = std::fread(chunk.data(), 1, wanted, in.get());
        if (got == 0) {
            if (std::ferror(in.get()))
                throw BuildError("cannot read " + describe(file) + ": " + std::strerror(errno));
            changedWhileReading(file, size);
        }
        for (std::size_t i = 0; i < got; ++i)
            chunk[i] ^= kContentKey;
        out.write(std::span(chunk.data(), got));
        done += got;
        line.update(done);
    }
    if (std::fgetc(in.get()) != EOF)
        changedWhileReading(file, size);
}

} // namespace kwn::build
