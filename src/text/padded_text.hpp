#pragma once

#include <algorithm>
#include <cassert>
#include <cstddef>
#include <string_view>
#include <vector>

// Texts that may be read a little past their end, so that they can be
// worked on a word at a time without checking where they end. Only a
// PaddedBuffer, which holds the bytes after its texts, makes one.
namespace cardtab {

// The bytes after the end of a padded text that may be read. They mean
// nothing.
inline constexpr std::size_t kReadablePast = 32;

class PaddedText {
public:
    PaddedText() = default;
    const char* data() const { return data_; }
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    char operator[](std::size_t at) const { return data_[at]; }
    std::string_view view() const { return {data_, size_}; }

    // The text from `from` on, at most `count` bytes of it: the bytes after
    // any part of a padded text may be read as well.
    PaddedText substr(std::size_t from, std::size_t count = std::string_view::npos) const
    {
        assert(from <= size_);
        return {data_ + from, std::min(count, size_ - from)};
    }

private:
    friend class PaddedBuffer;
    PaddedText(const char* data, std::size_t size) : data_(data), size_(size) {}

    static constexpr char kNothing[kReadablePast] = {};
    const char* data_ = kNothing;
    std::size_t size_ = 0;
};

// Room for `capacity` bytes of text and the padding after them.
class PaddedBuffer {
public:
    explicit PaddedBuffer(std::size_t capacity = 0) : bytes_(capacity + kReadablePast) {}

    // Makes room for `capacity` bytes; what the buffer held is gone.
    void assign(std::size_t capacity) { bytes_.assign(capacity + kReadablePast, '\0'); }
    std::size_t capacity() const { return bytes_.size() - kReadablePast; }
    char* data() { return bytes_.data(); }
    const char* data() const { return bytes_.data(); }
    char& operator[](std::size_t at) { return bytes_[at]; }
    char operator[](std::size_t at) const { return bytes_[at]; }

    // The `size` bytes at `from`, which lie within the capacity.
    PaddedText text(std::size_t from, std::size_t size) const
    {
        assert(from + size <= capacity());
        return {bytes_.data() + from, size};
    }

private:
    std::vector<char> bytes_;
};

} // namespace cardtab
