#include "tools/kwnbuild/WholeFile.h"

#include "tools/kwnbuild/BuildError.h"
#include "tools/kwnbuild/OutputFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

namespace kwn::build {

namespace {
std::string quoted(const std::filesystem::path& path) {
    return "'" + path.string() + "'";
}
} // namespace

std::vector<unsigned char> readWholeFile(const std::filesystem::path& path, const char* what,
                                         std::uintmax_t maxSize) {
    std::error_code error;
    std::filesystem::file_status status = std::filesystem::status(path, error);
    if (std::filesystem::is_directory(status))
        throw BuildError(std::string(what) + " " + quoted(path) + " is a directory, not a file");
    if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status))
        throw BuildError(std::string(what) + " " + quoted(path) + " is not a regular file");
    if (std::filesystem::exists(status) && std::filesystem::file_size(path, error) > maxSize)
        throw BuildError(std::string(what) + " " + quoted(path) + " is larger than " +
                         std::to_string(maxSize >> 20) + " MiB; no such input is that large");
    std::FILE* stream = std::fopen(path.string().c_str(), "rb");
    if (!stream)
        throw BuildError(std::string("cannot open ") + what + " " + quoted(path) + ": " +
                         std::strerror(errno));
    std::vector<unsigned char> bytes;
    unsigned char chunk[64 * 1024];
    std::size_t count = 0;
    while ((count = std::fread(chunk, 1, sizeof chunk, stream)) > 0)
        bytes.insert(bytes.end(), chunk, chunk + count);
    bool failed = std::ferror(stream) != 0;
    std::fclose(stream);
    if (failed)
        throw BuildError(std::string("cannot read ") + what + " " + quoted(path));
    return bytes;
}

void replaceWholeFile(const std::filesystem::path& target, std::span<const unsigned char> bytes) {
    OutputFile output(target);
    output.write(bytes);
    output.commit();
}

} // namespace kwn::build
