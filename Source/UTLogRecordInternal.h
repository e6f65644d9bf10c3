#pragma once
// The text of a file-mode record: the byte buffer it is built in and its composition, which
// needs no shared state (each thread composes its own before the logging lock).
#include <I18NString.h>
#include <cstddef>
#include <cstring>
#include <memory>

// Marks the functions a written record passes through. The compiler keeps them together in
// the library's hot text: after each write(2) the caller returns through their frames, and
// each page it returns to costs it a fetch from cold caches.
#define AUT_LOG_PATH __attribute__((hot))

// A growable byte buffer. Most records fit in its own bytes: composed on its caller's stack,
// a record allocates nothing and needs no thread-local buffer, and the writer finds the text
// right after the record's fields.
class RecordBuffer {
public:
    RecordBuffer() = default;
    RecordBuffer(const RecordBuffer&) = delete;
    RecordBuffer& operator=(const RecordBuffer&) = delete;

    void clear() { f_size = 0; }
    // Drops what was appended after the first `size` bytes.
    void truncate(std::size_t size) { f_size = size; }
    const char* data() const { return f_data; }
    std::size_t size() const { return f_size; }

    void append(const char* text, std::size_t length) {
        reserveMore(length);
        std::memcpy(f_data + f_size, text, length);
        f_size += length;
    }
    void append(char c, std::size_t count) {
        reserveMore(count);
        std::memset(f_data + f_size, c, count);
        f_size += count;
    }
    // The UTF-8 form of the code points, as I18NString::c_str() writes it.
    AUT_LOG_PATH void appendUtf8(const char32_t* from, const char32_t* to);

private:
    static constexpr std::size_t kOwnBytes = 256;

    void reserveMore(std::size_t length) {
        if (f_capacity - f_size < length) {
            grow(length);
        }
    }
    void grow(std::size_t length);

    char* f_data = f_own;
    std::size_t f_size = 0;
    std::size_t f_capacity = kOwnBytes;
    std::unique_ptr<char[]> f_heap; // once the text outgrows f_own
    char f_own[kOwnBytes];
};

// Appends the record's text and its newline: `message` with the parameters substituted in one
// left-to-right scan (inserted text is never scanned again, a placeholder without a parameter
// is removed), or as it stands when there are none. Needs no shared state.
AUT_LOG_PATH void ComposeRecordText(RecordBuffer& out,
                                    const I18NString& message,
                                    const I18NString* const* parameters,
                                    int parameterCount);
