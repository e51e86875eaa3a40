#pragma once

#include <algorithm>
#include <cstddef>
#include <memory>
#include <string_view>

#include "ansi_codepage.h"

namespace portauth::cli {

// A growable text for passwords. Unlike std::basic_string it wipes every
// block it lets go of, the ones left behind by growing included.
template <class Char>
class SecretText {
public:
    SecretText() = default;
    SecretText(const SecretText&) = delete;
    SecretText& operator=(const SecretText&) = delete;
    SecretText(SecretText&& other) noexcept
        : data_(std::move(other.data_)), size_(other.size_), capacity_(other.capacity_)
    {
        other.size_ = other.capacity_ = 0;
    }
    SecretText& operator=(SecretText&& other) noexcept
    {
        if (this != &other) {
            wipe();
            data_ = std::move(other.data_);
            size_ = other.size_;
            capacity_ = other.capacity_;
            other.size_ = other.capacity_ = 0;
        }
        return *this;
    }
    ~SecretText() { wipe(); }

    void push_back(Char c)
    {
        if (size_ == capacity_)
            grow();
        data_[size_++] = c;
    }
    void pop_back() noexcept
    {
        if (size_ > 0)
            data_[--size_] = Char{};
    }
    Char back() const noexcept { return data_[size_ - 1]; }
    bool empty() const noexcept { return size_ == 0; }
    std::size_t size() const noexcept { return size_; }
    std::basic_string_view<Char> view() const noexcept { return {data_.get(), size_}; }

private:
    void grow()
    {
        const std::size_t capacity = std::max<std::size_t>(64, capacity_ * 2);
        auto data = std::make_unique<Char[]>(capacity);
        std::copy_n(data_.get(), size_, data.get());
        wipe();
        data_ = std::move(data);
        capacity_ = capacity;
    }
    void wipe() noexcept
    {
        if (data_)
            WipeBytes(data_.get(), capacity_ * sizeof(Char));
    }

    std::unique_ptr<Char[]> data_;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

} // namespace portauth::cli
