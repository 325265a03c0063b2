// Reads a fuzz input front to back; past its end every read gives zeros, so
// any byte string is a valid input.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>

class InputReader {
  public:
    InputReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    bool empty() const { return pos_ >= size_; }
    size_t left() const { return size_ - pos_; }

    uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    uint16_t u16() {
        uint16_t low = byte();
        return static_cast<uint16_t>(low | (byte() << 8));
    }
    // Up to n bytes as they come.
    std::string bytes(size_t n) {
        if (n > left()) n = left();
        std::string out(reinterpret_cast<const char*>(data_ + pos_), n);
        pos_ += n;
        return out;
    }
    std::string rest() { return bytes(left()); }

  private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};
