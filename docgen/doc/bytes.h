#pragma once

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <utility>
#include <vector>

namespace doc
{

// Overflow-checked size arithmetic for offsets and counts taken from a file.
inline std::optional<std::size_t> checkedAdd(std::size_t a, std::size_t b)
{
    if (a > std::numeric_limits<std::size_t>::max() - b)
        return std::nullopt;
    return a + b;
}

inline std::optional<std::size_t> checkedMul(std::size_t a, std::size_t b)
{
    if (a != 0 && b > std::numeric_limits<std::size_t>::max() / a)
        return std::nullopt;
    return a * b;
}

// True when [offset, offset + length) lies inside a buffer of `size` bytes.
inline bool rangeFits(std::size_t size, std::uint64_t offset, std::uint64_t length)
{
    return offset <= size && length <= size - offset;
}

// Reads little-endian values from a byte buffer. A read past the end yields zero and
// leaves the cursor failed for good, so a parser may read a whole structure and check
// ok() once before trusting any of it.
class ByteCursor
{
public:
    explicit ByteCursor(std::span<const std::uint8_t> data, std::size_t offset = 0) : mData(data)
    {
        seek(offset);
    }

    bool ok() const noexcept { return mOk; }
    std::size_t offset() const noexcept { return mOffset; }
    std::size_t size() const noexcept { return mData.size(); }
    std::size_t remaining() const noexcept { return mOk ? mData.size() - mOffset : 0; }

    void seek(std::size_t offset) noexcept
    {
        if (offset > mData.size())
            mOk = false;
        else
            mOffset = offset;
    }

    void skip(std::size_t count) noexcept { take(count); }

    std::uint8_t u8() noexcept
    {
        const std::uint8_t* p = take(1);
        return p ? p[0] : 0;
    }

    std::uint16_t u16() noexcept
    {
        const std::uint8_t* p = take(2);
        return p ? static_cast<std::uint16_t>(p[0] | (p[1] << 8)) : 0;
    }

    std::uint32_t u32() noexcept
    {
        const std::uint8_t* p = take(4);
        if (!p)
            return 0;
        return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
               (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
    }

    std::uint64_t u64() noexcept
    {
        const std::uint8_t* p = take(8);
        if (!p)
            return 0;
        std::uint64_t v = 0;
        for (int i = 7; i >= 0; --i)
            v = (v << 8) | p[i];
        return v;
    }

    std::int16_t i16() noexcept { return static_cast<std::int16_t>(u16()); }
    std::int32_t i32() noexcept { return static_cast<std::int32_t>(u32()); }

    // A view of the next `count` bytes, empty (and the cursor failed) when they are not there.
    std::span<const std::uint8_t> bytes(std::size_t count) noexcept
    {
        const std::uint8_t* p = take(count);
        return p ? std::span<const std::uint8_t>(p, count) : std::span<const std::uint8_t>();
    }

private:
    const std::uint8_t* take(std::size_t count) noexcept
    {
        if (!mOk || count > mData.size() - mOffset) {
            mOk = false;
            return nullptr;
        }
        const std::uint8_t* p = mData.data() + mOffset;
        mOffset += count;
        return p;
    }

    std::span<const std::uint8_t> mData;
    std::size_t mOffset = 0;
    bool mOk = true;
};

// Appends little-endian values to a growing buffer.
class ByteWriter
{
public:
    void u8(std::uint8_t v) { mData.push_back(v); }
    void u16(std::uint16_t v)
    {
        u8(static_cast<std::uint8_t>(v));
        u8(static_cast<std::uint8_t>(v >> 8));
    }
    void u32(std::uint32_t v)
    {
        u16(static_cast<std::uint16_t>(v));
        u16(static_cast<std::uint16_t>(v >> 16));
    }
    void u64(std::uint64_t v)
    {
        u32(static_cast<std::uint32_t>(v));
        u32(static_cast<std::uint32_t>(v >> 32));
    }
    void i16(std::int16_t v) { u16(static_cast<std::uint16_t>(v)); }
    void i32(std::int32_t v) { u32(static_cast<std::uint32_t>(v)); }
    void bytes(std::span<const std::uint8_t> data) { mData.insert(mData.end(), data.begin(), data.end()); }
    void fill(std::size_t count, std::uint8_t value) { mData.insert(mData.end(), count, value); }

    std::size_t size() const noexcept { return mData.size(); }
    const std::vector<std::uint8_t>& data() const& noexcept { return mData; }
    std::vector<std::uint8_t> take() && noexcept { return std::move(mData); }

private:
    std::vector<std::uint8_t> mData;
};

// Overwrite little-endian values in place; the caller has sized the buffer.
inline void storeU16(std::span<std::uint8_t> data, std::size_t offset, std::uint16_t v) noexcept
{
    assert(rangeFits(data.size(), offset, 2));
    data[offset] = static_cast<std::uint8_t>(v);
    data[offset + 1] = static_cast<std::uint8_t>(v >> 8);
}

inline void storeU32(std::span<std::uint8_t> data, std::size_t offset, std::uint32_t v) noexcept
{
    assert(rangeFits(data.size(), offset, 4));
    storeU16(data, offset, static_cast<std::uint16_t>(v));
    storeU16(data, offset + 2, static_cast<std::uint16_t>(v >> 16));
}

inline void storeU64(std::span<std::uint8_t> data, std::size_t offset, std::uint64_t v) noexcept
{
    assert(rangeFits(data.size(), offset, 8));
    storeU32(data, offset, static_cast<std::uint32_t>(v));
    storeU32(data, offset + 4, static_cast<std::uint32_t>(v >> 32));
}

} // namespace doc
