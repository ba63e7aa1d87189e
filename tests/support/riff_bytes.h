// Builders of RIFF file bytes for tests, and a temporary drive root.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace riffTest {

using Bytes = std::vector<uint8_t>;

inline void appendLe16(Bytes& out, uint32_t value) {
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

inline void appendLe32(Bytes& out, uint32_t value) {
    appendLe16(out, value & 0xFFFFu);
    appendLe16(out, value >> 16);
}

inline void appendText(Bytes& out, const std::string& text) { out.insert(out.end(), text.begin(), text.end()); }

inline Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}

// id, little-endian size of `payload`, payload and a pad byte after an odd size.
inline Bytes chunk(const std::string& id, const Bytes& payload) {
    Bytes out;
    appendText(out, id);
    appendLe32(out, static_cast<uint32_t>(payload.size()));
    out.insert(out.end(), payload.begin(), payload.end());
    if (payload.size() % 2 != 0) out.push_back(0);
    return out;
}

// A chunk whose size field says `size` whatever follows.
inline Bytes chunkHeader(const std::string& id, uint32_t size) {
    Bytes out;
    appendText(out, id);
    appendLe32(out, size);
    return out;
}

// "RIFF"/"LIST" form: id, size (type + contents), type, contents.
inline Bytes form(const std::string& id, const std::string& type, const Bytes& contents) {
    Bytes body;
    appendText(body, type);
    body.insert(body.end(), contents.begin(), contents.end());
    return chunk(id, body);
}

// The 16-byte wave format record.
inline Bytes formatRecord(uint32_t tag, uint32_t channels, uint32_t rate, uint32_t align, uint32_t bits) {
    Bytes out;
    appendLe16(out, tag);
    appendLe16(out, channels);
    appendLe32(out, rate);
    appendLe32(out, rate * align);
    appendLe16(out, align);
    appendLe16(out, bits);
    return out;
}

// 16-bit little-endian samples.
inline Bytes samples16(std::initializer_list<int16_t> values) {
    Bytes out;
    for (int16_t v : values) appendLe16(out, static_cast<uint16_t>(v));
    return out;
}

inline void writeBytes(const std::filesystem::path& path, const Bytes& bytes) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline Bytes readBytes(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// A fresh folder set as $KESTREL9_ROOT for each test; the old value is restored afterwards.
class TempRoot : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/k9riffXXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root = pattern;
        const char* old = std::getenv("KESTREL9_ROOT");
        hadRoot = old != nullptr;
        if (hadRoot) oldRoot = old;
        setenv("KESTREL9_ROOT", root.c_str(), 1);
    }
    void TearDown() override {
        if (hadRoot) {
            setenv("KESTREL9_ROOT", oldRoot.c_str(), 1);
        } else {
            unsetenv("KESTREL9_ROOT");
        }
        std::filesystem::remove_all(root);
    }

    std::filesystem::path root;
    bool hadRoot = false;
    std::string oldRoot;
};

}  // namespace riffTest
