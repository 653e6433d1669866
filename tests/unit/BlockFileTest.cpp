#include "config/BlockFile.h"

#include "fake/FakePlatform.h"

#include <gtest/gtest.h>

namespace kwn::config {
namespace {

using Bytes = std::vector<unsigned char>;

Bytes numbered(std::size_t size) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<unsigned char>(i % 251);
    return bytes;
}

struct Reader {
    explicit Reader(const Bytes& bytes) : file(bytes, std::nullopt), block(file, log) {}
    // Reads up to count bytes and says which offsets they came from, as their values tell.
    Bytes upTo(std::uint32_t count) {
        Bytes out(count);
        platform::ReadableFile::ReadResult result = block.readUpTo(out.data(), count);
        EXPECT_TRUE(result.ok);
        out.resize(result.bytesRead);
        return out;
    }

    test::FakePlatform fake;
    diag::NativeLog log{fake.platform()};
    test::FakeReadableFile file;
    BlockFile block;
};

Bytes slice(const Bytes& bytes, std::size_t from, std::size_t count) {
    return Bytes(bytes.begin() + from, bytes.begin() + from + count);
}

TEST(BlockFileReadUpTo, TakesTheBufferedBytesFirstAndThenReadsTheFile) {
    const Bytes content = numbered(200000);
    Reader reader(content);
    reader.block.readInt(); // fills the buffer from offset 0
    Bytes all;
    while (all.size() < content.size() - 4) {
        Bytes piece = reader.upTo(6000);
        ASSERT_FALSE(piece.empty());
        all.insert(all.end(), piece.begin(), piece.end());
    }
    EXPECT_EQ(all, slice(content, 4, content.size() - 4));
    EXPECT_EQ(reader.block.position(), static_cast<std::int64_t>(content.size()));
    EXPECT_TRUE(reader.upTo(10).empty()); // the end of the file: ok, nothing delivered
}

TEST(BlockFileReadUpTo, ReadsFromWhereverTheBlockFileWasPositioned) {
    const Bytes content = numbered(300000);
    for (std::int64_t at : {10, 65536 + 10, 250000}) {
        SCOPED_TRACE(at);
        Reader reader(content);
        reader.block.readInt(); // the buffer now holds the start of the file
        reader.block.seek(at);
        Bytes piece = reader.upTo(100);
        ASSERT_EQ(piece.size(), 100u);
        EXPECT_EQ(piece, slice(content, static_cast<std::size_t>(at), 100));
        // The field reads carry on behind what was taken.
        EXPECT_EQ(static_cast<std::uint32_t>(reader.block.readInt()) & 0xFF,
                  content[static_cast<std::size_t>(at) + 100]);
    }
}

} // namespace
} // namespace kwn::config
